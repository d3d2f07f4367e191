// The service's answer parser: any bytes either parse or raise 2004.
#include <cstdlib>
#include <cstring>

#include "client/KesaResponse.h"
#include "quillio/KesaError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto* buffer = static_cast<BYTE*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(buffer, data, size);
    CKesaResponse response;
    try {
        if (response.InitializeFromBuffer(buffer, DWORD(size))) {
            for (int i = 0; i < response.GetArgCount(); ++i) (void)response.GetArg(i);
            (void)response.FindArg("function");
        }
    } catch (const CKesaError&) {
    }
    return 0;
}
