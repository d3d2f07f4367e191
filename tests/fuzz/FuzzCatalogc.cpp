// catalogc's JSON reading: any JSON document compiles or is refused with errors.
#include <nlohmann/json.hpp>

#include "quillio/PdbFile.h"
#include "service/catalogc/CatalogCompiler.h"
#include "tests/fuzz/FuzzFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    nlohmann::json root = nlohmann::json::parse(data, data + size, nullptr, false);
    if (root.is_discarded()) return 0;
    CCatalogCompiler compiler(FuzzDir(), 3000000000UL);
    std::unique_ptr<CPdbFile> pdb = compiler.Compile(root);
    if (pdb) (void)pdb->ToBytes();
    return 0;
}
