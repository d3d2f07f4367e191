#include "platform/DurableFiles.h"

#include <windows.h>
#include <io.h>

#include <cerrno>
#include <filesystem>

namespace platform {

namespace {

std::wstring Wide(const std::string& path)
{
    return std::filesystem::path(path).wstring();
}

// errno for the Win32 errors these calls meet; the rest read as EIO.
int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_INVALID_HANDLE: return EBADF;
    default: return EIO;
    }
}

OVERLAPPED At(std::int64_t offset)
{
    OVERLAPPED o{};
    o.Offset = DWORD(std::uint64_t(offset) & 0xFFFFFFFFu);
    o.OffsetHigh = DWORD(std::uint64_t(offset) >> 32);
    return o;
}

} // namespace

bool FlushFile(int fd)
{
    return ::_commit(fd) == 0;
}

bool FlushFolder(const std::string&)
{
    // NTFS journals the folder entries with the move (MOVEFILE_WRITE_THROUGH).
    return true;
}

bool MoveIntoPlace(const std::string& from, const std::string& to)
{
    if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = ErrnoOf(::GetLastError());
    return false;
}

// Positioned I/O through an OVERLAPPED offset on a synchronous handle: it
// moves the file pointer, unlike pread, which nothing here relies on.
std::int64_t ReadAt(int fd, void* out, std::size_t size, std::int64_t offset)
{
    const HANDLE h = HANDLE(::_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    OVERLAPPED o = At(offset);
    DWORD got = 0;
    const DWORD want = size > 0x40000000u ? 0x40000000u : DWORD(size);
    if (::ReadFile(h, out, want, &got, &o)) return got;
    const DWORD error = ::GetLastError();
    if (error == ERROR_HANDLE_EOF) return 0;
    errno = ErrnoOf(error);
    return -1;
}

std::int64_t WriteAt(int fd, const void* data, std::size_t size, std::int64_t offset)
{
    const HANDLE h = HANDLE(::_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    OVERLAPPED o = At(offset);
    DWORD done = 0;
    const DWORD want = size > 0x40000000u ? 0x40000000u : DWORD(size);
    if (::WriteFile(h, data, want, &done, &o)) return done;
    errno = ErrnoOf(::GetLastError());
    return -1;
}

int OpenAnonymousFile(const std::string&)
{
    // A named file deleted on close could outlive a killed process; memory it is.
    errno = ENOSYS;
    return -1;
}

FolderLockResult LockFolder(const std::string& dir, std::intptr_t& handle)
{
    handle = kNoFolderLock;
    // An open folder with no sharing allowed is the lock: a second opener
    // gets a sharing violation, and the system drops it when the process dies.
    const HANDLE h = ::CreateFileW(Wide(dir).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return ::GetLastError() == ERROR_SHARING_VIOLATION ? FolderLockResult::Busy
                                                           : FolderLockResult::NotADirectory;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(h);
        return FolderLockResult::NotADirectory;
    }
    handle = std::intptr_t(h);
    return FolderLockResult::Locked;
}

void UnlockFolder(std::intptr_t handle)
{
    if (handle != kNoFolderLock) ::CloseHandle(HANDLE(handle));
}

} // namespace platform
