// Forced into Quillio's Windows build: the POSIX file calls its sources use,
// over the C runtime's own. The descriptors are each call's own, so a
// positioned read may move the file position.
#pragma once
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <limits.h>
#include <stdio.h>
#include <sys/types.h>

// Every open here carries O_CLOEXEC: it brings binary mode along, as a PDB
// read in text mode would lose its CR bytes and stop at the first 0x1A.
#ifndef O_CLOEXEC
#define O_CLOEXEC (_O_NOINHERIT | _O_BINARY)
#endif

inline ssize_t pread(int fd, void* buffer, size_t count, long long offset)
{
    if (::_lseeki64(fd, offset, SEEK_SET) < 0) return -1;
    return ::_read(fd, buffer, unsigned(count > INT_MAX ? INT_MAX : count));
}

// No copy in the kernel here: callers fall back to reading and writing.
inline ssize_t copy_file_range(int, long*, int, long*, size_t, unsigned)
{
    errno = ENOSYS;
    return -1;
}
