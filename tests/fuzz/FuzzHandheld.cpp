// A handheld directory holding damaged database files: listing and opening
// them through the store never fails hard.
#include <filesystem>

#include "palmkit/HandheldStore.h"
#include "quillio/PdbFile.h"
#include "tests/fuzz/FuzzFiles.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string dir = FuzzDir() + "/handheld";
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    FuzzInput in(data, size);
    // Up to three files: a name, then the bytes.
    for (int i = 0; i < 3 && !in.Empty(); ++i) {
        std::string name = in.Piece();
        std::string bytes = in.Piece();
        if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") continue;
        WriteFuzzFile("handheld/" + name.substr(0, 60), bytes.data(), bytes.size());
    }
    CHandheldStore store(dir);
    for (const CHandheldStore::Entry& entry : store.List()) {
        CPdbFile pdb;
        (void)store.Load(entry.name, pdb);
    }
    return 0;
}
