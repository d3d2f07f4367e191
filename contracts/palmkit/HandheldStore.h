// A handheld: a directory holding one Palm database file per RAM database of
// card 0, "<name>.pdb" for record databases and "<name>.prc" for resource
// databases, the name escaped (%XX for '/', '%', control characters and a
// leading '.'). Files are replaced whole: written to a temporary file,
// flushed, then renamed over the old one. In a private folder (a handheld
// made by `handheld init`) every file is private.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "seam/Export.h"
#include "seam/PrivateFiles.h"
#include "seam/Types.h"

class CPdbFile;
namespace platform {
struct FileFacts;
}

class NORV_EXPORT CHandheldStore {
public:
    struct Entry {
        std::string name;       // database name (from the header, else from the file name)
        std::string path;       // the file
        bool damaged = false;   // header unreadable, or records beyond the file's end
        WORD attributes = 0;
        WORD version = 0;
        DWORD type = 0;
        DWORD creator = 0;
        DWORD modNumber = 0;
        DWORD createDate = 0;
        DWORD modDate = 0;
        DWORD backupDate = 0;
        WORD recordCount = 0;
        std::uint64_t fileSize = 0;
    };

    explicit CHandheldStore(std::string dir);
    // Flushes the directory when changes to it are still waiting (see below).
    ~CHandheldStore();
    CHandheldStore(const CHandheldStore&) = delete;
    CHandheldStore& operator=(const CHandheldStore&) = delete;

    const std::string& Dir() const { return m_Dir; }
    // The directory exists.
    bool Exists() const;
    // Creates the directory (and its parents); true when it exists afterwards.
    bool Create() const;

    // While this process holds the handheld's lock (see CHandheldLock) no one
    // else changes the folder, so a name not found under its own file name
    // is looked for in the last reading of the folder instead of a new one.
    // Databases this store writes are always found. Off by default.
    void SetLockHeld(bool held);

    // Every database, ordered by name; one entry per name.
    std::vector<Entry> List() const;
    std::optional<Entry> Find(const std::string& name) const;
    // Reads a database as what is sound; false when absent or its header is unreadable.
    bool Load(const std::string& name, CPdbFile& file) const;
    // Writes a database under its header name, replacing any database of that
    // name, whole or not at all. On failure `error` says why.
    bool Save(const CPdbFile& file, std::string* error = nullptr) const;
    // The same with the file's bytes put by `write` into the open temporary
    // file (false with errno set): for a holder of the bytes elsewhere.
    bool Save(const CPdbFile& file, const std::function<bool(int fd)>& write, std::string* error = nullptr) const;
    // False when absent or the file cannot be removed.
    bool Remove(const std::string& name) const;
    // Removes every temporary file left by an interrupted write; for a holder
    // of the directory's lock.
    void RemoveStaleTemporaries() const;

    // Each database file is flushed before it replaces the old one, so either
    // version is whole after a power loss. Flushing the directory as well
    // after each replacement only decides which of the two shows; a holder of
    // many changes (a synchronization) defers it to SyncDirectory, which the
    // destructor calls when changes wait.
    void DeferDirectorySync(bool defer);
    // Flushes the directory if a change waits; false when that fails.
    bool SyncDirectory() const;

    // With write-behind on, Save writes the new file and returns; a thread of
    // the store then flushes it to the disk and puts it in place, so the
    // caller goes on meanwhile. Every lookup of that name waits for it first,
    // and a listing waits for all. A flush that fails leaves the old database
    // as it was and is told by TakeWriteErrors. Off again (and at the end)
    // waits for every write.
    void SetWriteBehind(bool on);
    // Waits until every database saved has been put in place.
    void WaitForWrites() const;
    // What could not be put in place since the last call ("<file>: <why>").
    std::vector<std::string> TakeWriteErrors() const;

    // What the head of any database file says of it; nothing when it is no
    // regular file. Damaged when it cannot be read whole.
    static std::optional<Entry> Examine(const std::string& path);

    std::string PathFor(const std::string& name, bool resource) const;
    static std::string EscapeName(const std::string& name);
    static std::string UnescapeName(const std::string& fileStem);
    // Writes bytes to `path` through a temporary file `.<name>.tmp.XXXXXX`
    // in the same directory. The file is private in a private folder, unless
    // `mode` says the umask alone decides.
    static bool WriteFileAtomically(const std::string& path, const std::vector<BYTE>& bytes,
                                    std::string* error = nullptr, bool syncDirectory = true,
                                    platform::NewFileMode mode = platform::NewFileMode::AsFolder);
    // Removes the temporary files of WriteFileAtomically in `dir` that were
    // last changed at least `minAgeSeconds` ago: those of the file `name`, or
    // of any file when `name` is empty. Returns how many it removed.
    static std::size_t RemoveTemporaries(const std::string& dir, const std::string& name, long minAgeSeconds);
    // A temporary older than this belongs to a write that no longer runs.
    static constexpr long kStaleSeconds = 3600;

private:
    // What was read of one file's head, and the identity of the file it was
    // read from.
    struct CachedHead {
        std::uint64_t inode = 0;
        std::uint64_t size = 0;
        std::int64_t mtimeNs = 0;
        std::int64_t ctimeNs = 0;
        Entry entry;
        bool preferred = false; // the file is named after its database
    };
    // Heads of the files of the directory, by file name. Every writer here
    // replaces a file by renaming a new one over it, which gives it a new
    // inode: a lookup rereads only new inodes, a listing also files whose
    // size or times changed.
    mutable std::mutex m_CacheMutex;
    mutable std::map<std::string, CachedHead> m_Heads;
    bool m_LockHeld = false;
    mutable bool m_HeadsRead = false; // m_Heads holds a whole reading of the folder
    // Rereads the folder into m_Heads; false when it cannot be read. For a
    // holder of m_CacheMutex.
    bool ReadFolder() const;

    bool m_DeferDirSync = false;
    mutable bool m_DirChanged = false;
    // After a change of the directory: flush it now, or note it for later.
    void DirectoryChanged() const;

    // A written temporary file waiting to be flushed and renamed into place.
    struct PendingWrite {
        int fd = -1;
        std::string name;      // the database
        std::string tmp;
        std::string path;
        std::string oldPath;   // another file that held the database, removed after
    };
    static constexpr std::size_t kMaxPending = 32; // open files held at most
    mutable std::mutex m_WriteMutex;
    mutable std::condition_variable m_WriteChanged;
    mutable std::deque<PendingWrite> m_Pending;
    mutable std::multiset<std::string> m_PendingNames; // queued or being put in place
    mutable std::vector<std::string> m_WriteErrors;
    bool m_StopWriter = false;
    std::thread m_Writer;
    void WriterMain();
    void WaitForName(const std::string& name) const;
    // Flushes a written temporary file and renames it into place.
    static bool Commit(PendingWrite& w, std::string* error);

    // The head of `fileName`, reread unless the cache holds it for the same
    // inode (and, when `st` is given, the same size and times). False when
    // it is not a regular file.
    bool HeadOf(const std::string& fileName, std::uint64_t inode, const platform::FileFacts* st, CachedHead& out) const;

    std::string m_Dir;
};
