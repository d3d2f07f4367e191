#include "platform/DurableFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform {

bool FlushFile(int fd)
{
    return ::fsync(fd) == 0;
}

bool FlushFolder(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool MoveIntoPlace(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::int64_t ReadAt(int fd, void* out, std::size_t size, std::int64_t offset)
{
    return ::pread(fd, out, size, off_t(offset));
}

std::int64_t WriteAt(int fd, const void* data, std::size_t size, std::int64_t offset)
{
    return ::pwrite(fd, data, size, off_t(offset));
}

int OpenAnonymousFile(const std::string& dir)
{
    return ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

FolderLockResult LockFolder(const std::string& dir, std::intptr_t& handle)
{
    handle = kNoFolderLock;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FolderLockResult::NotADirectory;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return FolderLockResult::Busy;
    }
    handle = fd;
    return FolderLockResult::Locked;
}

void UnlockFolder(std::intptr_t handle)
{
    if (handle == kNoFolderLock) return;
    ::flock(int(handle), LOCK_UN);
    ::close(int(handle));
}

} // namespace platform
