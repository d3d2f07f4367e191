// PDB and PRC bytes: read, and what was read writes and reads back the same,
// whether built in memory or written to a file from the records' ranges.
#include <sys/mman.h>
#include <unistd.h>

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

    const int fd = ::memfd_create("pdb", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (!pdb.WriteTo(fd)) std::abort();
    std::vector<BYTE> written(bytes.size() + 1);
    if (::pread(fd, written.data(), written.size(), 0) != ssize_t(bytes.size())) std::abort();
    written.pop_back();
    if (written != bytes) std::abort();
    ::close(fd);
    return 0;
}
