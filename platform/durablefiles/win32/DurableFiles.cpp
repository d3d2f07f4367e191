#include "seam/DurableFiles.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <sys/stat.h>

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
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
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
    DWORD error = ::GetLastError();
    // A folder takes the place of an empty one, as rename(2) does.
    const DWORD target = ::GetFileAttributesW(Wide(to).c_str());
    if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY) &&
        ::RemoveDirectoryW(Wide(to).c_str())) {
        if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
        error = ::GetLastError();
    }
    errno = ErrnoOf(error);
    return false;
}

// -1 with errno set, as the POSIX calls fail.
static std::int64_t Refused(int error)
{
    errno = error;
    return -1;
}

// Positioned I/O through an OVERLAPPED offset on a synchronous handle: it
// moves the file pointer, unlike pread, which nothing here relies on.
std::int64_t ReadAt(int fd, void* out, std::size_t size, std::int64_t offset)
{
    const HANDLE h = HANDLE(::_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE) return Refused(EBADF);
    OVERLAPPED o = At(offset);
    DWORD got = 0;
    const DWORD want = size > 0x40000000u ? 0x40000000u : DWORD(size);
    if (::ReadFile(h, out, want, &got, &o)) return got;
    const DWORD error = ::GetLastError();
    if (error == ERROR_HANDLE_EOF) return 0;
    return Refused(ErrnoOf(error));
}

std::int64_t WriteAt(int fd, const void* data, std::size_t size, std::int64_t offset)
{
    const HANDLE h = HANDLE(::_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE) return Refused(EBADF);
    OVERLAPPED o = At(offset);
    DWORD done = 0;
    const DWORD want = size > 0x40000000u ? 0x40000000u : DWORD(size);
    if (::WriteFile(h, data, want, &done, &o)) return done;
    return Refused(ErrnoOf(::GetLastError()));
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
    // The folder open for adding files, which it does not share, is the
    // lock: a second locker gets a sharing violation, while readers of the
    // folder, who share writing, still list it. The system drops it when the
    // process dies.
    const HANDLE h = ::CreateFileW(Wide(dir).c_str(), FILE_ADD_FILE | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
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

namespace {

// 100 ns ticks since 1601 to nanoseconds since 1970.
std::int64_t Nanoseconds(std::int64_t ticks)
{
    return (ticks - 116444736000000000LL) * 100;
}

} // namespace

bool ExamineFile(const std::string& path, FileFacts& out, bool followLinks)
{
    // No access asked: attributes can be read whoever holds the file open.
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE h = ::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = ErrnoOf(::GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    const bool ok = ::GetFileInformationByHandle(h, &info) &&
                    ::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic);
    if (!ok) errno = ErrnoOf(::GetLastError());
    ::CloseHandle(h);
    if (!ok) return false;
    out.regular = !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                             FILE_ATTRIBUTE_DEVICE));
    out.id = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    out.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    out.modifiedNs = Nanoseconds(basic.LastWriteTime.QuadPart);
    out.changedNs = Nanoseconds(basic.ChangeTime.QuadPart);
    return true;
}

bool ListFolder(const std::string& dir, std::vector<FolderName>& out)
{
    out.clear();
    WIN32_FIND_DATAW found{};
    const HANDLE h = ::FindFirstFileW((Wide(dir) + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return true; // nothing in it, not even "."
        errno = ErrnoOf(error);
        return false;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        FolderName entry{std::filesystem::path(name).string(), 0};
        // The listing carries no file index: each file is asked for it.
        FileFacts facts;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && ExamineFile(dir + "/" + entry.name, facts))
            entry.id = facts.id;
        out.push_back(std::move(entry));
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return true;
}

int OpenForReading(const std::string& path)
{
    return ::_wopen(Wide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int CreateNewFile(const std::string& path, unsigned)
{
    // No mode bits here: the folder's access list decides.
    return ::_wopen(Wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

bool MakeFolder(const std::string& path, unsigned)
{
    if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) return true;
    errno = ErrnoOf(::GetLastError());
    return false;
}

bool MakeUniqueFolder(std::string& pathTemplate)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static constexpr std::size_t kRandom = 6;
    if (pathTemplate.size() < kRandom || pathTemplate.compare(pathTemplate.size() - kRandom, kRandom, "XXXXXX") != 0) {
        errno = EINVAL;
        return false;
    }
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        for (std::size_t i = pathTemplate.size() - kRandom; i < pathTemplate.size(); ++i)
            pathTemplate[i] = kLetters[random() % (sizeof kLetters - 1)];
        if (MakeFolder(pathTemplate, 0700)) return true;
        if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
}

bool MoveIfFree(const std::string& from, const std::string& to)
{
    if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
    errno = ErrnoOf(::GetLastError());
    return false;
}

std::int64_t CopyInSystem(int, int, std::size_t)
{
    errno = ENOSYS;
    return -1;
}

bool FlushFileSystem(int)
{
    return false;
}

} // namespace platform
