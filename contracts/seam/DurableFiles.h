// The file operations a store needs to survive a crash or a power cut, and
// the folder lock, one implementation per platform. Linked into each library
// that needs it (a static library, not exported).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Pushes a file's written bytes to the disk.
bool FlushFile(int fd);

// Makes a folder's new and renamed entries durable; nothing to do where the
// file system records them with the file itself.
bool FlushFolder(const std::string& dir);

// Puts `from` in the place of `to` in one step, replacing an existing `to`.
bool MoveIntoPlace(const std::string& from, const std::string& to);

// Reads or writes at `offset` without moving the file position; the byte
// count, or -1 with errno set. Short counts are possible, as with pread.
std::int64_t ReadAt(int fd, void* out, std::size_t size, std::int64_t offset);
std::int64_t WriteAt(int fd, const void* data, std::size_t size, std::int64_t offset);

// A read-write file in `dir` with no name, gone with its descriptor whatever
// happens; -1 where the system has none (the caller keeps the bytes itself).
int OpenAnonymousFile(const std::string& dir);

// An exclusive, non-blocking hold on a folder, kept until UnlockFolder.
enum class FolderLockResult { Locked, NotADirectory, Busy };
constexpr std::intptr_t kNoFolderLock = -1;
FolderLockResult LockFolder(const std::string& dir, std::intptr_t& handle);
void UnlockFolder(std::intptr_t handle);

// What a store needs to know of a file to tell whether it changed: `id` is
// new for each file a replace puts in place (the inode, or the file index).
struct FileFacts {
    bool regular = false;
    std::uint64_t id = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; // since 1970, UTC
    std::int64_t changedNs = 0;
};
// False when `path` cannot be examined; a link is followed unless
// `followLinks` is false (then a link is not a regular file).
bool ExamineFile(const std::string& path, FileFacts& out, bool followLinks = true);

// The names in a folder (without "." and ".."), each with the id ExamineFile
// gives, or 0 when it cannot be had cheaply; false when the folder cannot be read.
struct FolderName {
    std::string name;
    std::uint64_t id = 0;
};
bool ListFolder(const std::string& dir, std::vector<FolderName>& out);

// A descriptor open for reading only, not inherited by child programs; -1
// with errno set.
int OpenForReading(const std::string& path);

// A new file, created exclusively with `mode` (the umask applies), open for
// writing only; -1 with errno set.
int CreateNewFile(const std::string& path, unsigned mode);

// Creates the folder `path` with `mode` (the umask applies); false with errno set.
bool MakeFolder(const std::string& path, unsigned mode);

// mkdtemp(3): replaces the trailing "XXXXXX" of `pathTemplate` and creates
// that folder, readable by its owner only; false with errno set.
bool MakeUniqueFolder(std::string& pathTemplate);

// Renames `from` to `to` unless `to` exists (then false with errno EEXIST).
bool MoveIfFree(const std::string& from, const std::string& to);

// Copies from `in` to `out` inside the system, from and at their positions,
// up to `size` bytes; the count, or -1 with errno set (ENOSYS, EXDEV, EINVAL
// or EOPNOTSUPP: copy by hand).
std::int64_t CopyInSystem(int in, int out, std::size_t size);

// Flushes the whole file system that holds `fd`; false where that cannot be
// done at once (flush each file instead).
bool FlushFileSystem(int fd);

} // namespace platform
