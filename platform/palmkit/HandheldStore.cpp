#include "palmkit/HandheldStore.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>
#include <utility>
#include <filesystem>
#include <functional>

#include "seam/DurableFiles.h"
#include "seam/PrivateFiles.h"
#include "quillio/PdbFile.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kNameSize = 32;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool EndsWithNoCase(const std::string& s, const char* suffix)
{
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    }
    return true;
}

// Reads up to `size` bytes at `offset`; false on a read error.
bool ReadAt(int fd, BYTE* out, std::size_t size, std::int64_t offset, std::size_t& got)
{
    got = 0;
    while (got < size) {
        const std::int64_t n = platform::ReadAt(fd, out + got, size - got, offset + std::int64_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += std::size_t(n);
    }
    return true;
}

// The header and the record table of a database file, not its data.
bool ReadHead(const std::string& path, std::vector<BYTE>& out)
{
    const int fd = platform::OpenForReading(path);
    if (fd < 0) return false;
    std::size_t got = 0;
    out.assign(CPdbFile::kHeaderSize, 0);
    bool ok = ReadAt(fd, out.data(), out.size(), 0, got);
    out.resize(got);
    if (ok && got == CPdbFile::kHeaderSize) {
        const bool resource = (CPdbFile::PeekWord(out.data() + 32) & CPdbFile::kAttrResource) != 0;
        const std::size_t table = std::size_t(CPdbFile::PeekWord(out.data() + 76)) * (resource ? 10 : 8);
        out.resize(CPdbFile::kHeaderSize + table);
        ok = ReadAt(fd, out.data() + CPdbFile::kHeaderSize, table, std::int64_t(CPdbFile::kHeaderSize), got);
        out.resize(CPdbFile::kHeaderSize + got);
    }
    ::close(fd);
    return ok;
}

bool IsDatabaseFileName(const std::string& fileName)
{
    return !fileName.empty() && fileName[0] != '.' &&
           (EndsWithNoCase(fileName, ".pdb") || EndsWithNoCase(fileName, ".prc"));
}

DWORD Peek32(const BYTE* p)
{
    return CPdbFile::PeekDWord(p);
}

// Fills an entry from the head of a file (header and record table) and the
// file's size; marks what cannot be read whole as damaged.
void Describe(const std::vector<BYTE>& bytes, std::uint64_t fileSize, CHandheldStore::Entry& e)
{
    e.fileSize = fileSize;
    if (bytes.size() < CPdbFile::kHeaderSize) {
        e.damaged = true;
        return;
    }
    const BYTE* h = bytes.data();
    std::size_t len = 0;
    while (len < kNameSize && h[len] != 0) ++len;
    if (len > 0 && len < kNameSize) e.name.assign(reinterpret_cast<const char*>(h), len);
    if (len == kNameSize) e.damaged = true;
    e.attributes = CPdbFile::PeekWord(h + 32);
    e.version = CPdbFile::PeekWord(h + 34);
    e.createDate = Peek32(h + 36);
    e.modDate = Peek32(h + 40);
    e.backupDate = Peek32(h + 44);
    e.modNumber = Peek32(h + 48);
    const DWORD appInfo = Peek32(h + 52);
    const DWORD sortInfo = Peek32(h + 56);
    e.type = Peek32(h + 60);
    e.creator = Peek32(h + 64);
    const std::size_t declared = CPdbFile::PeekWord(h + 76);
    const bool resource = (e.attributes & CPdbFile::kAttrResource) != 0;
    const std::size_t entrySize = resource ? 10 : 8;
    const std::size_t fit = (bytes.size() - CPdbFile::kHeaderSize) / entrySize; // bytes holds the whole table
    const std::size_t count = std::min(declared, fit);
    e.recordCount = WORD(count);
    if (count < declared) e.damaged = true;
    const std::size_t tableEnd = CPdbFile::kHeaderSize + count * entrySize;
    auto outside = [&](DWORD offset) { return offset != 0 && (offset < tableEnd || offset > fileSize); };
    if (outside(appInfo) || outside(sortInfo)) e.damaged = true;
    for (std::size_t i = 0; i < count && !e.damaged; ++i) {
        const BYTE* p = h + CPdbFile::kHeaderSize + i * entrySize;
        const DWORD offset = resource ? Peek32(p + 6) : Peek32(p);
        if (offset < tableEnd || offset > fileSize) e.damaged = true;
    }
}

std::string Lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool FsyncDir(const std::string& dir)
{
    return platform::FlushFolder(dir);
}

} // namespace

CHandheldStore::CHandheldStore(std::string dir) : m_Dir(std::move(dir))
{
    while (m_Dir.size() > 1 && m_Dir.back() == '/') m_Dir.pop_back();
}

CHandheldStore::~CHandheldStore()
{
    SetWriteBehind(false);
    SyncDirectory();
}

void CHandheldStore::DeferDirectorySync(bool defer)
{
    m_DeferDirSync = defer;
    if (!defer) SyncDirectory();
}

bool CHandheldStore::SyncDirectory() const
{
    std::lock_guard<std::mutex> guard(m_CacheMutex);
    if (!m_DirChanged) return true;
    m_DirChanged = false;
    return FsyncDir(m_Dir);
}

void CHandheldStore::DirectoryChanged() const
{
    std::lock_guard<std::mutex> guard(m_CacheMutex);
    if (m_DeferDirSync) m_DirChanged = true;
    else FsyncDir(m_Dir);
}

bool CHandheldStore::Exists() const
{
    std::error_code ec;
    return fs::is_directory(m_Dir, ec);
}

bool CHandheldStore::Create() const
{
    std::error_code ec;
    fs::create_directories(m_Dir, ec);
    return Exists();
}

std::string CHandheldStore::EscapeName(const std::string& name)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '/' || c == '%' || c < 0x20 || c == 0x7F || (i == 0 && c == '.')) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string CHandheldStore::UnescapeName(const std::string& stem)
{
    std::string out;
    for (std::size_t i = 0; i < stem.size(); ++i) {
        if (stem[i] == '%' && i + 2 < stem.size() && HexValue(stem[i + 1]) >= 0 && HexValue(stem[i + 2]) >= 0) {
            out += char(HexValue(stem[i + 1]) * 16 + HexValue(stem[i + 2]));
            i += 2;
        } else {
            out += stem[i];
        }
    }
    return out;
}

std::string CHandheldStore::PathFor(const std::string& name, bool resource) const
{
    return m_Dir + "/" + EscapeName(name) + (resource ? ".prc" : ".pdb");
}

bool CHandheldStore::HeadOf(const std::string& fileName, std::uint64_t inode, const platform::FileFacts* known,
                            CachedHead& out) const
{
    auto cached = m_Heads.find(fileName);
    if (cached != m_Heads.end() && cached->second.inode == inode &&
        (known == nullptr ||
         (cached->second.size == known->size && cached->second.mtimeNs == known->modifiedNs &&
          cached->second.ctimeNs == known->changedNs))) {
        out = cached->second;
        return true;
    }
    const std::string path = m_Dir + "/" + fileName;
    platform::FileFacts st;
    if (known != nullptr) st = *known;
    else if (!platform::ExamineFile(path, st)) return false;
    if (!st.regular) return false;
    out = CachedHead{};
    out.inode = st.id;
    out.size = st.size;
    out.mtimeNs = st.modifiedNs;
    out.ctimeNs = st.changedNs;
    Entry& e = out.entry;
    e.path = path;
    std::vector<BYTE> bytes;
    if (!ReadHead(path, bytes)) {
        e.damaged = true;
        e.fileSize = out.size;
    } else {
        Describe(bytes, out.size, e);
    }
    const std::string stem = fileName.substr(0, fileName.size() - 4);
    if (e.name.empty()) e.name = UnescapeName(stem).substr(0, kNameSize - 1);
    out.preferred = !e.name.empty() && EscapeName(e.name) == stem;
    return true;
}

std::vector<CHandheldStore::Entry> CHandheldStore::List() const
{
    struct Candidate {
        Entry entry;
        bool preferred;
        std::string fileName;
    };
    std::vector<Candidate> found;
    WaitForWrites();
    std::lock_guard<std::mutex> guard(m_CacheMutex);
    std::vector<platform::FolderName> names;
    if (!platform::ListFolder(m_Dir, names)) return {};
    std::map<std::string, CachedHead> seen;
    for (platform::FolderName& de : names) {
        std::string fileName = std::move(de.name);
        if (!IsDatabaseFileName(fileName)) continue;
        // Sizes and times come from a fresh stat: a listing shows the files as they are now.
        platform::FileFacts st;
        if (!platform::ExamineFile(m_Dir + "/" + fileName, st)) continue;
        CachedHead head;
        if (!HeadOf(fileName, st.id, &st, head)) continue;
        if (!head.entry.name.empty()) found.push_back(Candidate{head.entry, head.preferred, fileName});
        seen.emplace(std::move(fileName), std::move(head));
    }
    m_Heads.swap(seen);
    m_HeadsRead = true;
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        const std::string la = Lower(a.entry.name), lb = Lower(b.entry.name);
        if (la != lb) return la < lb;
        if (a.entry.name != b.entry.name) return a.entry.name < b.entry.name;
        if (a.preferred != b.preferred) return a.preferred;
        return a.fileName < b.fileName;
    });
    std::vector<Entry> out;
    for (Candidate& c : found) {
        if (!out.empty() && out.back().name == c.entry.name) continue; // one database per name
        out.push_back(std::move(c.entry));
    }
    return out;
}

std::optional<CHandheldStore::Entry> CHandheldStore::Examine(const std::string& path)
{
    platform::FileFacts st;
    if (!platform::ExamineFile(path, st) || !st.regular) return std::nullopt;
    Entry e;
    e.path = path;
    std::vector<BYTE> bytes;
    if (!ReadHead(path, bytes)) {
        e.damaged = true;
        e.fileSize = st.size;
    } else {
        Describe(bytes, st.size, e);
    }
    return e;
}

std::optional<CHandheldStore::Entry> CHandheldStore::Find(const std::string& name) const
{
    if (name.empty()) return std::nullopt;
    WaitForName(name);
    // The file named after the database is the one List keeps: look there first.
    for (bool resource : {false, true}) {
        std::optional<Entry> found = Examine(PathFor(name, resource));
        if (!found) continue;
        Entry& e = *found;
        if (e.name.empty()) e.name = UnescapeName(EscapeName(name)).substr(0, kNameSize - 1);
        if (e.name == name) return found;
    }
    // Otherwise a file under another name may hold it. Creating databases
    // asks this for every new name: with the lock held the last reading of
    // the folder says which files may, else the folder is read again (the
    // heads of files seen before, same name and inode, come from the cache).
    std::lock_guard<std::mutex> guard(m_CacheMutex);
    if ((!m_LockHeld || !m_HeadsRead) && !ReadFolder()) return std::nullopt;
    std::vector<std::string> candidates;
    for (const auto& [fileName, head] : m_Heads)
        if (!head.preferred && head.entry.name == name) candidates.push_back(fileName);
    // Read such a file's head afresh: the cache only said where to look.
    for (const std::string& fileName : candidates) {
        m_Heads.erase(fileName);
        CachedHead head;
        platform::FileFacts st;
        if (!platform::ExamineFile(m_Dir + "/" + fileName, st)) continue;
        if (!HeadOf(fileName, st.id, &st, head)) continue;
        auto it = m_Heads.emplace(fileName, std::move(head)).first;
        if (it->second.entry.name == name) return it->second.entry;
    }
    return std::nullopt;
}

bool CHandheldStore::ReadFolder() const
{
    std::vector<platform::FolderName> names;
    if (!platform::ListFolder(m_Dir, names)) return false;
    std::map<std::string, CachedHead> seen;
    for (platform::FolderName& de : names) {
        std::string fileName = std::move(de.name);
        if (!IsDatabaseFileName(fileName)) continue;
        CachedHead head;
        if (!HeadOf(fileName, de.id, nullptr, head)) continue;
        seen.emplace(std::move(fileName), std::move(head));
    }
    m_Heads.swap(seen);
    m_HeadsRead = true;
    return true;
}

void CHandheldStore::SetLockHeld(bool held)
{
    std::lock_guard<std::mutex> guard(m_CacheMutex);
    m_LockHeld = held;
    m_HeadsRead = false;
}

bool CHandheldStore::Load(const std::string& name, CPdbFile& file) const
{
    std::optional<Entry> e = Find(name);
    if (!e) return false;
    return file.ReadPdbFile(e->path.c_str());
}

namespace {

// Windows takes both separators in a path.
#ifdef _WIN32
constexpr const char* kSeparators = "/\\";
#else
constexpr const char* kSeparators = "/";
#endif

std::string DirOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of(kSeparators);
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// Writes a new temporary file `.<name>.tmp.XXXXXX` beside `path` with
// `write`, created with the mode the file is to have; its descriptor, open,
// or -1 with `error` set.
int WriteTemporary(const std::string& path, const std::function<bool(int)>& write, std::string& tmp,
                   std::string* error, platform::NewFileMode mode = platform::NewFileMode::AsFolder)
{
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        return -1;
    };
    const std::size_t slash = path.find_last_of(kSeparators);
    const std::string dir = DirOf(path);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    tmp = dir + "/." + base + ".tmp.XXXXXX";
    int fd = platform::CreateUniqueFile(tmp, platform::CreationMode(dir, mode));
    if (fd < 0) return fail("cannot create a temporary file in " + dir);
    if (!write(fd)) {
        const int saved = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        errno = saved;
        return fail("cannot write " + tmp);
    }
    return fd;
}

bool WriteAll(int fd, const std::vector<BYTE>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

} // namespace

bool CHandheldStore::Commit(PendingWrite& w, std::string* error)
{
    auto fail = [&](const std::string& what) {
        const int saved = errno;
        ::unlink(w.tmp.c_str());
        if (error) *error = what + ": " + std::strerror(saved);
        return false;
    };
    const int fd = std::exchange(w.fd, -1);
    if (!platform::FlushFile(fd)) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return fail("cannot flush " + w.tmp);
    }
    if (::close(fd) != 0) return fail("cannot close " + w.tmp);
    if (!platform::MoveIntoPlace(w.tmp, w.path)) return fail("cannot replace " + w.path);
    return true;
}

bool CHandheldStore::WriteFileAtomically(const std::string& path, const std::vector<BYTE>& bytes,
                                         std::string* error, bool syncDirectory, platform::NewFileMode mode)
{
    PendingWrite w;
    w.path = path;
    w.fd = WriteTemporary(path, [&](int fd) { return WriteAll(fd, bytes); }, w.tmp, error, mode);
    if (w.fd < 0 || !Commit(w, error)) return false;
    if (syncDirectory) FsyncDir(DirOf(path));
    return true;
}

bool CHandheldStore::Save(const CPdbFile& file, std::string* error) const
{
    // From the records where they are: a catalog is not copied whole once more.
    return Save(file, [&](int fd) { return file.WriteTo(fd); }, error);
}

bool CHandheldStore::Save(const CPdbFile& file, const std::function<bool(int fd)>& write, std::string* error) const
{
    if (file.m_Name.empty() || file.m_Name.size() >= kNameSize) {
        if (error) *error = "invalid database name";
        return false;
    }
    std::optional<Entry> old = Find(file.m_Name); // waits for an earlier save of it
    PendingWrite w;
    w.name = file.m_Name;
    w.path = PathFor(file.m_Name, file.IsResourceDb());
    if (old && old->path != w.path) w.oldPath = old->path;
    w.fd = WriteTemporary(w.path, write, w.tmp, error);
    if (w.fd < 0) return false;
    {
        std::unique_lock<std::mutex> lock(m_WriteMutex);
        if (m_Writer.joinable()) {
            m_WriteChanged.wait(lock, [&] { return m_Pending.size() < kMaxPending; });
            m_PendingNames.insert(w.name);
            m_Pending.push_back(std::move(w));
            m_WriteChanged.notify_all();
            return true;
        }
    }
    if (!Commit(w, error)) return false;
    if (!w.oldPath.empty()) ::unlink(w.oldPath.c_str());
    DirectoryChanged();
    return true;
}

void CHandheldStore::WriterMain()
{
    for (;;) {
        PendingWrite w;
        {
            std::unique_lock<std::mutex> lock(m_WriteMutex);
            m_WriteChanged.wait(lock, [&] { return !m_Pending.empty() || m_StopWriter; });
            if (m_Pending.empty()) return; // stopped, and nothing is left
            w = std::move(m_Pending.front());
            m_Pending.pop_front();
            m_WriteChanged.notify_all();
        }
        std::string why;
        const bool ok = Commit(w, &why);
        if (ok && !w.oldPath.empty()) ::unlink(w.oldPath.c_str());
        if (ok) DirectoryChanged();
        std::lock_guard<std::mutex> lock(m_WriteMutex);
        if (!ok) m_WriteErrors.push_back(w.name + ": " + why);
        m_PendingNames.erase(m_PendingNames.find(w.name));
        m_WriteChanged.notify_all();
    }
}

void CHandheldStore::SetWriteBehind(bool on)
{
    if (on == m_Writer.joinable()) return;
    if (on) {
        m_StopWriter = false;
        m_Writer = std::thread(&CHandheldStore::WriterMain, this);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_WriteMutex);
        m_StopWriter = true;
        m_WriteChanged.notify_all();
    }
    m_Writer.join();
}

void CHandheldStore::WaitForWrites() const
{
    std::unique_lock<std::mutex> lock(m_WriteMutex);
    m_WriteChanged.wait(lock, [&] { return m_PendingNames.empty(); });
}

void CHandheldStore::WaitForName(const std::string& name) const
{
    std::unique_lock<std::mutex> lock(m_WriteMutex);
    m_WriteChanged.wait(lock, [&] { return m_PendingNames.count(name) == 0; });
}

std::vector<std::string> CHandheldStore::TakeWriteErrors() const
{
    std::lock_guard<std::mutex> lock(m_WriteMutex);
    return std::exchange(m_WriteErrors, {});
}

bool CHandheldStore::Remove(const std::string& name) const
{
    std::optional<Entry> e = Find(name);
    if (!e) return false;
    if (::unlink(e->path.c_str()) != 0) return false;
    DirectoryChanged();
    return true;
}

void CHandheldStore::RemoveStaleTemporaries() const
{
    WaitForWrites(); // its own temporaries are not stale
    RemoveTemporaries(m_Dir, "", 0);
}

std::size_t CHandheldStore::RemoveTemporaries(const std::string& dir, const std::string& name, long minAgeSeconds)
{
    static constexpr std::string_view kTag = ".tmp.";
    static constexpr std::size_t kRandom = 6; // the XXXXXX of the template
    auto isTemporary = [&](const std::string& n) {
        if (n.size() < 1 + kTag.size() + kRandom || n[0] != '.') return false;
        const std::size_t tag = n.size() - kRandom - kTag.size();
        if (n.compare(tag, kTag.size(), kTag) != 0) return false;
        if (name.empty()) return tag > 1;
        return tag == 1 + name.size() && n.compare(1, name.size(), name) == 0;
    };
    std::vector<platform::FolderName> names;
    if (!platform::ListFolder(dir, names)) return 0;
    std::vector<std::string> stale;
    for (const platform::FolderName& de : names) {
        if (isTemporary(de.name)) stale.push_back(dir + "/" + de.name);
    }
    const std::time_t now = std::time(nullptr);
    std::size_t removed = 0;
    for (const std::string& path : stale) {
        platform::FileFacts st;
        if (!platform::ExamineFile(path, st, false) || !st.regular) continue;
        if (minAgeSeconds > 0 && now - std::time_t(st.modifiedNs / 1000000000) < minAgeSeconds) continue;
        if (::unlink(path.c_str()) == 0) ++removed;
    }
    return removed;
}
