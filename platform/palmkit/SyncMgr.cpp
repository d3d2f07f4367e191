#include "palmkit/SyncMgr.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "PalmKitState.h"
#include "lexmo/TextOr.h"
#include "palmkit/Handheld.h"
#include "palmkit/HandheldInfo.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "palmkit/HsLog.h"
#include "seam/DurableFiles.h"
#include "seam/LocalClock.h"
#include "quillio/PdbFile.h"

namespace {

constexpr int kMaxOpen = 32;
constexpr DWORD kMaxUniqueId = 0xFFFFFF;
constexpr std::size_t kNameSize = 32;

// The unique ids of a database's records (deleted ones too), so that a new
// id costs O(log n) rather than a pass over every record: installing a
// catalog adds tens of thousands of records one by one. A damaged file may
// hold an id twice, hence the count per id.
class UsedIds {
public:
    void Fill(const CPdbRecordSet& set)
    {
        m_Count.clear();
        m_FreeFrom = 1;
        for (const auto& r : set) Add(r->m_UniqueId & kMaxUniqueId);
    }
    void Add(DWORD id) { ++m_Count[id]; }
    void Remove(DWORD id)
    {
        auto it = m_Count.find(id);
        if (it == m_Count.end()) return;
        if (--it->second == 0) {
            m_Count.erase(it);
            m_FreeFrom = std::min(m_FreeFrom, id);
        }
    }
    // Past the highest id in use and the seed; once ids run out, the
    // smallest one free. 0 when none is.
    DWORD Next(CPdbFile& file)
    {
        const DWORD highest = m_Count.empty() ? 0 : m_Count.rbegin()->first;
        DWORD candidate = std::max(highest, file.m_UniqueIdSeed & kMaxUniqueId) + 1;
        if (candidate > kMaxUniqueId) {
            // Ids wrapped: the ids below m_FreeFrom are all in use, so the
            // search goes on from there instead of from 1 each time.
            candidate = std::max<DWORD>(m_FreeFrom, 1);
            for (auto it = m_Count.lower_bound(candidate); it != m_Count.end() && it->first == candidate; ++it)
                ++candidate;
            m_FreeFrom = candidate;
            if (candidate > kMaxUniqueId) return 0;
        }
        file.m_UniqueIdSeed = candidate;
        return candidate;
    }

private:
    std::map<DWORD, std::size_t> m_Count;
    DWORD m_FreeFrom = 1;
};

// The records of a database created by this synchronization wait in an
// unnamed file of the handheld's folder while they are only appended (a
// catalog being installed), rather than in memory: the conduit holds the
// same records already, and the database is written from this file at its
// close. Anything that reads, changes or deletes a record brings the bytes
// back into memory first.
struct Spool {
    int fd = -1;
    std::int64_t size = 0;
    std::vector<DWORD> sizes; // one a record of the database, in order
    bool tried = false;       // once only, for a database still empty
    Spool() = default;
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;
    ~Spool() { Close(); }
    void Close()
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
        size = 0;
        sizes.clear();
    }
};

struct OpenDb {
    CPdbFile file;
    UsedIds ids;
    Spool spool;
    BYTE mode = 0;
    bool created = false;
    bool dirty = false;
    bool stamped = false; // modification date set for this opening
    std::size_t cursor = 0;
};

struct State {
    std::mutex mutex;
    bool attached = false;
    std::unique_ptr<CHandheldStore> store;
    CHandheldLock lock;
    CHandheldInfo info;
    std::string userDir;
    std::string userName;
    bool registered = false;
    CONDHANDLE conduit = 0;
    CONDHANDLE nextConduit = 1;
    std::map<BYTE, std::unique_ptr<OpenDb>> open;
    // Deleted during this synchronization: gone from the Sync Manager's view
    // at once, their files removed only when it ends whole.
    std::set<std::string> deleted;
    // Deleted, then created again: the old file stays until the new database
    // replaces it, and stays for good if the new one is never closed.
    std::set<std::string> replacing;
    // Write failures taken from the store and not reported yet.
    std::vector<std::string> writeErrors;
    bool writeFailed = false; // since the synchronization began
    palmkit::YieldHook hook = nullptr;
    void* hookContext = nullptr;
};

State& S()
{
    static State state;
    return state;
}

void CopyName(char* dst, const std::string& src)
{
    std::memset(dst, 0, kNameSize);
    std::memcpy(dst, src.data(), std::min(src.size(), kNameSize - 1));
}

std::string NameOf(const char* name)
{
    return std::string(name, strnlen(name, kNameSize));
}

bool Visible(const CPdbRecord& r, BYTE mode)
{
    if (r.m_Attrib & eRecDeleted) return false;
    return !(r.m_Attrib & eRecSecret) || (mode & eDbShowSecret);
}

bool IsOpenByName(const State& s, const std::string& name)
{
    for (const auto& [h, db] : s.open) {
        if (db->file.m_Name == name) return true;
    }
    return false;
}

// A change made through a handle: the date once per opening, the number each time.
void Touch(OpenDb& db)
{
    if (!db.stamped) {
        db.file.m_ModificationDate = palmkit::PalmNow();
        db.stamped = true;
    }
    ++db.file.m_ModificationNumber;
    db.dirty = true;
}

// Appends a record's bytes to the spool; false when they could not be.
bool SpoolAppend(Spool& spool, const BYTE* data, DWORD size)
{
    for (DWORD done = 0; done < size;) {
        const std::int64_t n = platform::WriteAt(spool.fd, data + done, size - done, spool.size + std::int64_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += DWORD(n);
    }
    spool.size += std::int64_t(size);
    spool.sizes.push_back(size);
    return true;
}

// Brings the spooled records' bytes back into memory; false when they
// cannot be read.
bool Unspool(OpenDb& db)
{
    Spool& spool = db.spool;
    if (spool.fd < 0) return true;
    std::int64_t at = 0;
    for (std::size_t i = 0; i < spool.sizes.size(); ++i) {
        std::vector<BYTE>& data = db.file.m_RecordSet.GetRecord(i)->m_Data;
        data.resize(spool.sizes[i]);
        for (std::size_t done = 0; done < data.size();) {
            const std::int64_t n =
                platform::ReadAt(spool.fd, data.data() + done, data.size() - done, at + std::int64_t(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += std::size_t(n);
        }
        at += std::int64_t(data.size());
    }
    spool.Close();
    return true;
}

bool Hidden(const State& s, const std::string& name)
{
    return s.deleted.count(name) != 0 || s.replacing.count(name) != 0;
}

// The store's entry of a database the Sync Manager still shows.
std::optional<CHandheldStore::Entry> Shown(const State& s, const std::string& name)
{
    if (Hidden(s, name)) return std::nullopt;
    return s.store->Find(name);
}

std::vector<CHandheldStore::Entry> ShownList(const State& s)
{
    std::vector<CHandheldStore::Entry> list = s.store->List();
    if (!s.deleted.empty() || !s.replacing.empty())
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const CHandheldStore::Entry& e) { return Hidden(s, e.name); }),
                   list.end());
    return list;
}

long WriteBack(State& s, OpenDb& db)
{
    if (!db.dirty && !db.created) return SYNCERR_NONE;
    const Spool& spool = db.spool;
    const bool saved = spool.fd < 0 ? s.store->Save(db.file)
                                    : s.store->Save(db.file, [&](int fd) { return db.file.WriteTo(fd, spool.fd, spool.sizes); });
    if (!saved) {
        s.writeFailed = true;
        return SYNCERR_REMOTE_NO_SPACE;
    }
    // The new database now takes the place of the one deleted under its name.
    if (db.created) s.replacing.erase(db.file.m_Name);
    return SYNCERR_NONE;
}

// Looks up an open handle; the error when there is none.
long Handle(State& s, BYTE handle, OpenDb*& db)
{
    if (!s.attached) return SYNCERR_COMM_NOT_INIT;
    auto it = s.open.find(handle);
    if (it == s.open.end()) return SYNCERR_FILE_NOT_OPEN;
    db = it->second.get();
    return SYNCERR_NONE;
}

long RecordHandle(State& s, BYTE handle, OpenDb*& db, bool write)
{
    if (long rc = Handle(s, handle, db)) return rc;
    if (write && !(db->mode & eDbWrite)) return SYNCERR_READ_ONLY;
    if (db->file.IsResourceDb()) return SYNCERR_BAD_OPERATION;
    return SYNCERR_NONE;
}

// Index of the visible record with that id, or -1.
long FindRecord(const OpenDb& db, DWORD id)
{
    for (std::size_t i = 0; i < db.file.m_RecordSet.GetCount(); ++i) {
        const CPdbRecord* r = db.file.m_RecordSet.GetRecord(i);
        if ((r->m_UniqueId & kMaxUniqueId) == id && Visible(*r, db.mode)) return long(i);
    }
    return -1;
}

void CloseAll(State& s)
{
    for (auto& [h, db] : s.open) WriteBack(s, *db);
    s.open.clear();
}

// Waits for the databases still being put in place; true when every one was.
bool WaitWrites(State& s)
{
    s.store->WaitForWrites();
    for (std::string& error : s.store->TakeWriteErrors()) s.writeErrors.push_back(std::move(error));
    if (!s.writeErrors.empty()) s.writeFailed = true;
    return !s.writeFailed;
}

// Waits for the databases still being put in place; one that could not be
// is left as it was before, and the HotSync log says so.
void ReportWrites(State& s)
{
    WaitWrites(s);
    for (const std::string& error : s.writeErrors)
        LogAddEntry(lexmo::TextOr(4630, "cannot write the database %s; it is left as it was", error).c_str(),
                    slWriteError, 0);
    s.writeErrors.clear();
}

std::string Names(const std::set<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "\"" : ", \"") + name + "\"";
    return text;
}

// The end of a synchronization: every write is in place (or reported), and
// only then do its deletions take effect. When something could not be
// written, nothing that it may have replaced is deleted.
void FinishWrites(State& s)
{
    ReportWrites(s);
    // A replacement that was dropped leaves the old database: its conduit says why.
    s.replacing.clear();
    if (!s.deleted.empty() && s.writeFailed) {
        LogAddEntry(lexmo::TextOr(4631,
                                  "kept %s on the handheld: a database of this synchronization could not be "
                                  "written, so nothing it may have replaced is deleted",
                                  Names(s.deleted))
                        .c_str(),
                    slText, 0);
    } else {
        for (const std::string& name : s.deleted)
            if (s.store->Find(name) && !s.store->Remove(name))
                LogAddEntry(lexmo::TextOr(4632, "cannot delete the database \"%s\" from the handheld", name).c_str(),
                            slDeleteError, 0);
    }
    s.deleted.clear();
    s.writeFailed = false;
}

} // namespace

namespace palmkit {

AttachResult Attach(const std::string& handheldDir, const std::string& userDir, const std::string& userName)
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (s.attached) return AttachResult::AlreadyAttached;
    auto store = std::make_unique<CHandheldStore>(handheldDir);
    if (!store->Exists()) return AttachResult::NotAHandheld;
    switch (s.lock.Acquire(store->Dir())) {
    case CHandheldLock::Result::Locked: break;
    case CHandheldLock::Result::NotADirectory: return AttachResult::NotAHandheld;
    case CHandheldLock::Result::Busy: return AttachResult::Locked;
    }
    store->RemoveStaleTemporaries();
    store->SetLockHeld(true);
    store->DeferDirectorySync(true); // flushed once, when the synchronization detaches
    store->SetWriteBehind(true);      // databases reach the disk while the conduit goes on
    s.info.Load(store->Dir());
    s.store = std::move(store);
    s.userDir = userDir;
    s.userName = userName;
    s.registered = false;
    s.deleted.clear();
    s.replacing.clear();
    s.writeErrors.clear();
    s.writeFailed = false;
    s.attached = true;
    return AttachResult::Ok;
}

bool Detach()
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.attached) return true;
    CloseAll(s);
    const bool written = WaitWrites(s);
    FinishWrites(s);
    s.registered = false;
    s.attached = false;
    s.store.reset();
    s.lock.Release();
    return written;
}

void CloseLeftOpen()
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (s.attached) {
        CloseAll(s);
        ReportWrites(s);
    }
}

bool WaitForWrites()
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    return !s.attached || WaitWrites(s);
}

bool IsAttached()
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    return s.attached;
}

void SetYieldHook(YieldHook hook, void* context)
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.hook = hook;
    s.hookContext = context;
}

DWORD PalmNow()
{
    const std::time_t now = std::time(nullptr);
    const long long seconds = (long long)now + platform::LocalOffsetSeconds(now) + 2082844800LL;
    return DWORD(seconds);
}

std::string PalmDateText(DWORD palmDate)
{
    if (palmDate == 0) return "-";
    // The value is local wall-clock time: format it as UTC to keep it unchanged.
    const std::time_t t = std::time_t((long long)palmDate - 2082844800LL);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

namespace detail {
AttachedUser CurrentUser()
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    return AttachedUser{s.attached, s.userName, s.userDir};
}
} // namespace detail

} // namespace palmkit

extern "C" {

long SyncRegisterConduit(CONDHANDLE* handle)
{
    if (handle == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.attached) return SYNCERR_COMM_NOT_INIT;
    if (s.registered) return SYNCERR_BAD_OPERATION;
    s.registered = true;
    s.conduit = s.nextConduit++;
    if (s.nextConduit == 0) s.nextConduit = 1;
    *handle = s.conduit;
    return SYNCERR_NONE;
}

long SyncUnRegisterConduit(CONDHANDLE handle)
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.attached) return SYNCERR_COMM_NOT_INIT;
    if (!s.registered || handle != s.conduit) return SYNCERR_BAD_ARG;
    s.registered = false;
    return SYNCERR_NONE;
}

long SyncReadSystemInfo(CSyncSystemInfo* info)
{
    if (info == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.attached) return SYNCERR_COMM_NOT_INIT;
    std::memset(info, 0, sizeof *info);
    info->m_RomSoftVersion = s.info.m_RomVersion;
    info->m_LocaleId = 0;
    info->m_UserId = s.info.m_UserId;
    std::memcpy(info->m_UserName, s.info.m_UserName.data(),
                std::min(s.info.m_UserName.size(), sizeof info->m_UserName - 1));
    std::memcpy(info->m_ProductId, "palm", 4);
    return SYNCERR_NONE;
}

long SyncReadSingleCardInfo(CSyncCardInfo* info)
{
    if (info == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.attached) return SYNCERR_COMM_NOT_INIT;
    const BYTE card = info->m_CardNo;
    if (card != 0) return SYNCERR_NOT_FOUND;
    const auto list = ShownList(s);
    std::uint64_t used = 0;
    for (const auto& e : list) used += e.fileSize;
    std::memset(info, 0, sizeof *info);
    info->m_CardNo = card;
    info->m_CardVersion = 1;
    info->m_RomSize = 4u << 20;
    info->m_RamSize = 16u << 20;
    info->m_FreeRam = used >= info->m_RamSize ? 0 : DWORD(info->m_RamSize - used);
    const std::string& name = s.info.m_CardName;
    const std::string& manuf = s.info.m_Manufacturer;
    info->m_CardNameLen = BYTE(std::min<std::size_t>(name.size(), sizeof info->m_CardName - 1));
    info->m_ManufNameLen = BYTE(std::min<std::size_t>(manuf.size(), sizeof info->m_ManufName - 1));
    std::memcpy(info->m_CardName, name.data(), info->m_CardNameLen);
    std::memcpy(info->m_ManufName, manuf.data(), info->m_ManufNameLen);
    info->m_DbCount = WORD(std::min<std::size_t>(list.size(), 0xFFFF));
    info->m_RomDbCount = 0;
    return SYNCERR_NONE;
}

long SyncReadDBList(BYTE cardNo, WORD start, BYTE searchFlags, CSyncDbListEntry* list, WORD* count)
{
    if (count == nullptr || (list == nullptr && *count > 0)) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.attached) return SYNCERR_COMM_NOT_INIT;
    const WORD asked = *count;
    *count = 0;
    if (asked == 0) return SYNCERR_NONE;
    if (cardNo != 0 || !(searchFlags & eDbListRam)) return SYNCERR_NOT_FOUND;
    const auto entries = ShownList(s);
    if (start >= entries.size()) return SYNCERR_NOT_FOUND;
    const std::size_t n = std::min<std::size_t>(asked, entries.size() - start);
    for (std::size_t i = 0; i < n; ++i) {
        const CHandheldStore::Entry& e = entries[start + i];
        CSyncDbListEntry& out = list[i];
        std::memset(&out, 0, sizeof out);
        out.m_CardNo = 0;
        out.m_MiscFlags = e.damaged ? eDbListDamaged : 0;
        out.m_DbFlags = e.attributes;
        out.m_DbType = e.type;
        CopyName(out.m_Name, e.name);
        out.m_Creator = e.creator;
        out.m_Version = e.version;
        out.m_ModNumber = e.modNumber;
        out.m_Index = WORD(start + i);
        out.m_CreateDate = e.createDate;
        out.m_ModDate = e.modDate;
        out.m_BackupDate = e.backupDate;
        out.m_RecCount = e.recordCount;
        out.m_FileSize = DWORD(std::min<std::uint64_t>(e.fileSize, 0xFFFFFFFFu));
    }
    *count = WORD(n);
    return SYNCERR_NONE;
}

long SyncOpenDB(const char* name, BYTE cardNo, BYTE* handle, BYTE openMode)
{
    if (name == nullptr || handle == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.attached) return SYNCERR_COMM_NOT_INIT;
    if (!(openMode & (eDbRead | eDbWrite))) return SYNCERR_BAD_ARG;
    const std::string dbName = NameOf(name);
    if (dbName.empty() || cardNo != 0) return SYNCERR_NOT_FOUND;
    if (IsOpenByName(s, dbName)) return SYNCERR_FILE_ALREADY_OPEN;
    std::optional<CHandheldStore::Entry> entry = Shown(s, dbName);
    if (!entry) return SYNCERR_NOT_FOUND;
    if ((openMode & eDbWrite) && (entry->attributes & eDbReadOnly)) return SYNCERR_READ_ONLY;
    int free = 1;
    while (free <= kMaxOpen && s.open.count(BYTE(free))) ++free;
    if (free > kMaxOpen) return SYNCERR_TOO_MANY_OPEN_FILES;
    auto db = std::make_unique<OpenDb>();
    if (!db->file.ReadPdbFile(entry->path.c_str())) {
        // Nothing of it is sound: it reads as an empty database of that name.
        db->file.m_Attributes = entry->attributes;
    }
    db->file.m_Name = dbName;
    db->ids.Fill(db->file.m_RecordSet);
    db->mode = openMode;
    s.open[BYTE(free)] = std::move(db);
    *handle = BYTE(free);
    return SYNCERR_NONE;
}

long SyncCloseDB(BYTE handle)
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    OpenDb* db = nullptr;
    if (long rc = Handle(s, handle, db)) return rc;
    const long rc = WriteBack(s, *db);
    s.open.erase(handle);
    return rc;
}

long SyncCreateDB(CSyncCreateDb* create)
{
    if (create == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.attached) return SYNCERR_COMM_NOT_INIT;
    const std::string dbName = NameOf(create->m_Name);
    if (dbName.empty() || dbName.size() >= kNameSize || create->m_CardNo != 0) return SYNCERR_BAD_ARG;
    if (IsOpenByName(s, dbName) || Shown(s, dbName)) return SYNCERR_FILE_ALREADY_EXIST;
    int free = 1;
    while (free <= kMaxOpen && s.open.count(BYTE(free))) ++free;
    if (free > kMaxOpen) return SYNCERR_TOO_MANY_OPEN_FILES;
    auto db = std::make_unique<OpenDb>();
    CPdbFile& f = db->file;
    f.m_Name = dbName;
    f.m_Attributes = create->m_DbFlags;
    f.m_Version = create->m_Version;
    f.m_Type = create->m_Type;
    f.m_Creator = create->m_Creator;
    f.m_CreationDate = f.m_ModificationDate = palmkit::PalmNow();
    db->mode = eDbRead | eDbWrite | eDbShowSecret;
    db->created = true;
    db->stamped = true;
    s.open[BYTE(free)] = std::move(db);
    create->m_FileHandle = BYTE(free);
    if (s.deleted.erase(dbName)) s.replacing.insert(dbName);
    return SYNCERR_NONE;
}

long SyncDeleteDB(const char* name, BYTE cardNo)
{
    if (name == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    if (!s.attached) return SYNCERR_COMM_NOT_INIT;
    const std::string dbName = NameOf(name);
    if (dbName.empty() || cardNo != 0) return SYNCERR_NOT_FOUND;
    for (auto it = s.open.begin(); it != s.open.end(); ++it) {
        if (it->second->file.m_Name != dbName) continue;
        // A database created and not yet closed has never been written:
        // deleting it drops it, and whatever it was to replace stays.
        if (!it->second->created) return SYNCERR_FILE_OPEN;
        s.open.erase(it);
        return SYNCERR_NONE;
    }
    if (!Shown(s, dbName)) return SYNCERR_NOT_FOUND;
    // The file goes when the synchronization ends whole (see FinishWrites);
    // until then a crash or a failed write leaves it in place.
    s.deleted.insert(dbName);
    return SYNCERR_NONE;
}

long SyncReadDBAppInfoBlock(BYTE handle, BYTE* buffer, DWORD bufferSize, DWORD* size)
{
    if (size == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    OpenDb* db = nullptr;
    if (long rc = Handle(s, handle, db)) return rc;
    const auto& block = db->file.m_AppInfo;
    *size = DWORD(block.size());
    if (block.empty()) return SYNCERR_NOT_FOUND;
    if (buffer == nullptr) return SYNCERR_ARG_MISSING;
    if (bufferSize < block.size()) return SYNCERR_LOCAL_BUFF_TOO_SMALL;
    std::memcpy(buffer, block.data(), block.size());
    return SYNCERR_NONE;
}

long SyncWriteDBAppInfoBlock(BYTE handle, const BYTE* data, DWORD size)
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    OpenDb* db = nullptr;
    if (long rc = Handle(s, handle, db)) return rc;
    if (!(db->mode & eDbWrite)) return SYNCERR_READ_ONLY;
    if (size > kSyncMaxBlock) return SYNCERR_LIMIT_EXCEEDED;
    if (size > 0 && data == nullptr) return SYNCERR_ARG_MISSING;
    db->file.m_AppInfo.assign(data, data + size);
    Touch(*db);
    return SYNCERR_NONE;
}

long SyncReadNextRecInCategory(CSyncRecord* record)
{
    if (record == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    OpenDb* db = nullptr;
    if (long rc = RecordHandle(s, record->m_FileHandle, db, false)) return rc;
    if (record->m_CatId < 0 || record->m_CatId > 15) return SYNCERR_BAD_ARG;
    if (!Unspool(*db)) return SYNCERR_REMOTE_SYS;
    const CPdbRecordSet& set = db->file.m_RecordSet;
    for (std::size_t i = db->cursor; i < set.GetCount(); ++i) {
        const CPdbRecord* r = set.GetRecord(i);
        if ((r->m_Attrib & 0x0F) != record->m_CatId || !Visible(*r, db->mode)) continue;
        record->m_RecId = r->m_UniqueId & kMaxUniqueId;
        record->m_RecIndex = WORD(i);
        record->m_Attribs = BYTE(r->m_Attrib & 0xF0);
        record->m_RecSize = DWORD(r->m_Data.size());
        if (r->m_Data.size() > record->m_TotalBytes) return SYNCERR_LOCAL_BUFF_TOO_SMALL;
        if (!r->m_Data.empty()) {
            if (record->m_pBytes == nullptr) return SYNCERR_ARG_MISSING;
            std::memcpy(record->m_pBytes, r->m_Data.data(), r->m_Data.size());
        }
        db->cursor = i + 1;
        return SYNCERR_NONE;
    }
    db->cursor = set.GetCount();
    return SYNCERR_NOT_FOUND;
}

long SyncResetRecordIndex(BYTE handle)
{
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    OpenDb* db = nullptr;
    if (long rc = Handle(s, handle, db)) return rc;
    db->cursor = 0;
    return SYNCERR_NONE;
}

long SyncWriteRec(CSyncRecord* record)
{
    if (record == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    OpenDb* db = nullptr;
    if (long rc = RecordHandle(s, record->m_FileHandle, db, true)) return rc;
    if (record->m_CatId < 0 || record->m_CatId > 15 || record->m_RecId > kMaxUniqueId) return SYNCERR_BAD_ARG;
    if (record->m_RecSize > kSyncMaxBlock) return SYNCERR_LIMIT_EXCEEDED;
    if (record->m_RecSize > 0 && record->m_pBytes == nullptr) return SYNCERR_ARG_MISSING;
    const BYTE attrib = BYTE((record->m_Attribs & 0xF0) | (record->m_CatId & 0x0F));
    CPdbRecordSet& set = db->file.m_RecordSet;
    if (record->m_RecId == 0) {
        if (set.GetCount() >= 0xFFFF) return SYNCERR_LIMIT_EXCEEDED;
        const DWORD id = db->ids.Next(db->file);
        if (id == 0) return SYNCERR_LIMIT_EXCEEDED;
        Spool& spool = db->spool;
        if (db->created && !spool.tried && set.GetCount() == 0) {
            spool.tried = true;
            // Unnamed, in the handheld's folder: gone with its descriptor, whatever happens.
            spool.fd = platform::OpenAnonymousFile(s.store->Dir());
        }
        std::unique_ptr<CPdbRecord> r;
        if (spool.fd >= 0 && SpoolAppend(spool, record->m_pBytes, record->m_RecSize)) {
            r = std::make_unique<CPdbRecord>();
        } else {
            // No spool, or it is full: the records go on in memory.
            if (!Unspool(*db)) return SYNCERR_REMOTE_NO_SPACE;
            r = std::make_unique<CPdbRecord>(record->m_pBytes, long(record->m_RecSize));
        }
        db->ids.Add(id);
        r->m_UniqueId = id;
        set.AddRecord(std::move(r), attrib);
        record->m_RecId = id;
        record->m_RecIndex = WORD(set.GetCount() - 1);
    } else {
        const long index = FindRecord(*db, record->m_RecId);
        if (index < 0) return SYNCERR_NOT_FOUND;
        if (!Unspool(*db)) return SYNCERR_REMOTE_SYS;
        CPdbRecord* r = set.GetRecord(std::size_t(index));
        r->SetData(record->m_pBytes, long(record->m_RecSize));
        r->m_Attrib = attrib;
        record->m_RecIndex = WORD(index);
    }
    Touch(*db);
    return SYNCERR_NONE;
}

long SyncDeleteRec(const CSyncRecord* record)
{
    if (record == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    OpenDb* db = nullptr;
    if (long rc = RecordHandle(s, record->m_FileHandle, db, true)) return rc;
    const long index = record->m_RecId == 0 ? -1 : FindRecord(*db, record->m_RecId);
    if (index < 0) return SYNCERR_NOT_FOUND;
    if (!Unspool(*db)) return SYNCERR_REMOTE_SYS;
    // Rebuild the set without that record; the cursor keeps its place.
    CPdbRecordSet& set = db->file.m_RecordSet;
    CPdbRecordSet kept;
    for (std::size_t i = 0; i < set.GetCount(); ++i) {
        if (long(i) == index) continue;
        CPdbRecord* r = set.GetRecord(i);
        auto copy = std::make_unique<CPdbRecord>(r->Data(), r->Size());
        copy->m_UniqueId = r->m_UniqueId;
        copy->m_ResType = r->m_ResType;
        copy->m_ResId = r->m_ResId;
        kept.AddRecord(std::move(copy), r->m_Attrib);
    }
    set = std::move(kept);
    db->ids.Remove(record->m_RecId);
    if (std::size_t(index) < db->cursor) --db->cursor;
    Touch(*db);
    return SYNCERR_NONE;
}

long SyncReadOpenDbInfo(CSyncOpenDbInfo* info)
{
    if (info == nullptr) return SYNCERR_ARG_MISSING;
    State& s = S();
    std::lock_guard<std::mutex> guard(s.mutex);
    OpenDb* db = nullptr;
    if (long rc = Handle(s, info->m_DbHandle, db)) return rc;
    const BYTE options = info->m_Options;
    const BYTE handle = info->m_DbHandle;
    const CPdbFile& f = db->file;
    std::memset(info, 0, sizeof *info);
    info->m_Options = options;
    info->m_DbHandle = handle;
    if (options & eOpenDbInfoCount) {
        std::size_t n = 0;
        for (const auto& r : f.m_RecordSet) {
            if (f.IsResourceDb() || Visible(*r, db->mode)) ++n;
        }
        info->m_NumRecords = WORD(std::min<std::size_t>(n, 0xFFFF));
    }
    info->m_DbFlags = f.m_Attributes;
    info->m_DbType = f.m_Type;
    CopyName(info->m_Name, f.m_Name);
    info->m_Creator = f.m_Creator;
    info->m_Version = f.m_Version;
    info->m_ModNumber = f.m_ModificationNumber;
    info->m_CreateDate = f.m_CreationDate;
    info->m_BackupDate = f.m_BackupDate;
    info->m_OpenMode = db->mode;
    info->m_ModDate = f.m_ModificationDate;
    info->m_AppInfoSize = DWORD(f.m_AppInfo.size());
    return SYNCERR_NONE;
}

long SyncYieldCycles(WORD)
{
    palmkit::YieldHook hook = nullptr;
    void* context = nullptr;
    {
        State& s = S();
        std::lock_guard<std::mutex> guard(s.mutex);
        hook = s.hook;
        context = s.hookContext;
    }
    if (hook) hook(context);
    return SYNCERR_NONE;
}

} // extern "C"
