// The .reg text that norvreg imports.
#include <string>
#include <vector>

#include "platform/winreg/norvreg/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<RegFileKey> keys;
    std::string error;
    (void)ParseRegFile(std::string(reinterpret_cast<const char*>(data), size), &keys, &error);
    return 0;
}
