// PDB and PRC bytes: read, and what was read writes and reads back the same.
#include <cstdlib>

#include "quillio/PdbFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CPdbFile pdb;
    if (!pdb.ReadPdbBuffer(data, size)) return 0;
    std::vector<BYTE> bytes = pdb.ToBytes();
    CPdbFile again;
    if (!again.ReadPdbBuffer(bytes.data(), bytes.size())) std::abort();
    if (again.ToBytes() != bytes) std::abort();
    return 0;
}
