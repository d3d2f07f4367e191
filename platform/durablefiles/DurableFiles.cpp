#include "seam/DurableFiles.h"

#include <fcntl.h>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

namespace {

std::int64_t Nanoseconds(const struct timespec& t)
{
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

bool ExamineFile(const std::string& path, FileFacts& out, bool followLinks)
{
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return false;
    out.regular = S_ISREG(st.st_mode);
    out.id = std::uint64_t(st.st_ino);
    out.size = std::uint64_t(st.st_size);
    out.modifiedNs = Nanoseconds(st.st_mtim);
    out.changedNs = Nanoseconds(st.st_ctim);
    return true;
}

bool ListFolder(const std::string& dir, std::vector<FolderName>& out)
{
    out.clear();
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return false;
    while (dirent* de = ::readdir(d)) {
        const std::string name = de->d_name;
        if (name == "." || name == "..") continue;
        out.push_back(FolderName{name, std::uint64_t(de->d_ino)});
    }
    ::closedir(d);
    return true;
}

int OpenForReading(const std::string& path)
{
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

int CreateNewFile(const std::string& path, unsigned mode)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode_t(mode));
}

bool MakeFolder(const std::string& path, unsigned mode)
{
    return ::mkdir(path.c_str(), mode_t(mode)) == 0;
}

bool MakeUniqueFolder(std::string& pathTemplate)
{
    return ::mkdtemp(pathTemplate.data()) != nullptr;
}

bool MoveIfFree(const std::string& from, const std::string& to)
{
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

std::int64_t CopyInSystem(int in, int out, std::size_t size)
{
    return ::copy_file_range(in, nullptr, out, nullptr, size, 0);
}

bool FlushFileSystem(int fd)
{
    return ::syncfs(fd) == 0;
}

} // namespace platform
