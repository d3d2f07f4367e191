#include "hotsync/HandheldBackup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <ctime>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <utility>
#include <thread>
#include <vector>

#include "hotsync/RunText.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "seam/UserFolders.h"
#include "seam/DurableFiles.h"

namespace fs = std::filesystem;

namespace {

bool IsDatabaseFile(const fs::path& p)
{
    const std::string name = p.filename().string();
    std::string ext = p.extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    std::error_code ec;
    return !name.empty() && name[0] != '.' && (ext == ".pdb" || ext == ".prc") && fs::is_regular_file(p, ec);
}

bool ReadFile(const std::string& path, std::vector<BYTE>& bytes, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        if (error) *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// An open file descriptor, closed on every path.
class Fd {
public:
    explicit Fd(int fd = -1) : m_Fd(fd) {}
    Fd(Fd&& other) noexcept : m_Fd(std::exchange(other.m_Fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        std::swap(m_Fd, other.m_Fd);
        return *this;
    }
    ~Fd()
    {
        if (m_Fd >= 0) ::close(m_Fd);
    }
    int get() const { return m_Fd; }
    // Closes now; false when the close reports an error.
    bool Close() { return ::close(std::exchange(m_Fd, -1)) == 0; }

private:
    int m_Fd;
};

// Copies `from` into the new file `to`, which is left open in `out` so the
// caller can flush it later. The folder is private until it is swapped in,
// so no temporary name is needed.
bool CopyInto(const std::string& from, const std::string& to, Fd& out, std::string* error)
{
    Fd in(platform::OpenForReading(from));
    if (in.get() < 0) {
        if (error) *error = "cannot read " + from + ": " + std::strerror(errno);
        return false;
    }
    out = Fd(platform::CreateNewFile(to, 0600));
    if (out.get() < 0) {
        if (error) *error = "cannot create " + to + ": " + std::strerror(errno);
        return false;
    }
    bool kernelCopy = true;
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = -1;
        if (kernelCopy) {
            n = ssize_t(platform::CopyInSystem(in.get(), out.get(), 1 << 30));
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernelCopy = false; // not on this pair of file systems: copy by hand
                continue;
            }
        } else {
            n = ::read(in.get(), buffer, sizeof buffer);
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t w = ::write(out.get(), buffer + done, std::size_t(n - done));
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) {
                    if (error) *error = "cannot write " + to + ": " + std::strerror(w < 0 ? errno : ENOSPC);
                    return false;
                }
                done += w;
            }
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = "cannot copy " + from + " to " + to + ": " + std::strerror(errno);
            return false;
        }
        if (n == 0) return true;
    }
}


// The database files straight inside `dir`, sorted.
std::vector<std::string> DatabaseFilesIn(const std::string& dir)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (IsDatabaseFile(e.path())) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Creates a folder only its owner reads; true when it is there.
bool MakePrivateDir(const std::string& dir, std::string* error)
{
    if (platform::MakeFolder(dir, 0700)) return true;
    std::error_code ec;
    if (errno == EEXIST && fs::is_directory(dir, ec)) return true;
    if (error) *error = "cannot create " + dir + ": " + std::strerror(errno);
    return false;
}

void SyncDir(const std::string& dir)
{
    platform::FlushFolder(dir);
}

// A generation's folder is named after its date in UTC, so that names sort
// as dates do and a change of time zone reorders nothing; "-2", "-3" follow
// a name already taken within the same second.
std::string GenerationName(std::time_t t)
{
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%dT%H%M%SZ", &tm);
    return buf;
}

// A generation a restore made is named so: "20240501T143045Z-before-restore".
constexpr std::string_view kRestoreTag = "-before-restore";

bool ParseGenerationName(std::string name, std::time_t& made, long& suffix, bool& beforeRestore)
{
    beforeRestore = name.size() > kRestoreTag.size() &&
                    name.compare(name.size() - kRestoreTag.size(), kRestoreTag.size(), kRestoreTag) == 0;
    if (beforeRestore) name.resize(name.size() - kRestoreTag.size());
    constexpr std::size_t kLength = 16; // 20240501T143045Z
    if (name.size() < kLength || name[8] != 'T' || name[15] != 'Z') return false;
    for (std::size_t i = 0; i < 15; ++i)
        if (i != 8 && !std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    suffix = 1;
    if (name.size() > kLength) {
        if (name[kLength] != '-' || name.size() > kLength + 4) return false;
        suffix = 0;
        for (std::size_t i = kLength + 1; i < name.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
            suffix = suffix * 10 + (name[i] - '0');
        }
        if (suffix < 2) return false;
    }
    auto number = [&](std::size_t at, std::size_t digits) {
        int n = 0;
        for (std::size_t i = at; i < at + digits; ++i) n = n * 10 + (name[i] - '0');
        return n;
    };
    const int month = number(4, 2), day = number(6, 2), hour = number(9, 2), minute = number(11, 2),
              second = number(13, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 61) return false;
    // A day past the month's end runs on into the next month, as timegm does.
    namespace chr = std::chrono;
    const chr::sys_days date =
        chr::sys_days(chr::year(number(0, 4)) / chr::month(unsigned(month)) / chr::day(1)) + chr::days(day - 1);
    made = std::time_t(date.time_since_epoch().count()) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

// Renames `from` to a free generation name of `t` inside `set`; the name
// taken, or empty with errno set.
std::string PlaceGeneration(const std::string& from, const std::string& set, std::time_t t,
                            std::string_view tag = {})
{
    const std::string base = GenerationName(t);
    // Above every rank of that second, also one whose generation went since,
    // so that names sort as the generations were made; one name a date and
    // rank, with or without the restore's tag.
    long rank = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(set, ec)) {
        std::time_t made = 0;
        long suffix = 0;
        bool restore = false;
        const std::string name = e.path().filename().string();
        if (name.compare(0, base.size(), base) == 0 && ParseGenerationName(name, made, suffix, restore))
            rank = std::max(rank, suffix);
    }
    for (long n = rank + 1; n < rank + 1000; ++n) {
        const std::string name = (n == 1 ? base : base + "-" + std::to_string(n)) + std::string(tag);
        if (platform::MoveIfFree(from, platform::JoinPath(set, name))) return name;
        if (errno != EEXIST) return "";
    }
    errno = EEXIST;
    return "";
}

// The newest change among a folder's database files: when a backup of the
// earlier layout was made.
std::time_t NewestChange(const std::string& dir)
{
    std::time_t newest = 0;
    for (const std::string& f : DatabaseFilesIn(dir)) {
        struct stat st {};
        if (::stat((platform::JoinPath(dir, f)).c_str(), &st) == 0) newest = std::max(newest, std::time_t(st.st_mtime));
    }
    return newest;
}

bool IsSound(const std::string& path)
{
    const auto e = CHandheldStore::Examine(path);
    return e && !e->damaged;
}

// True when both files hold the same bytes.
bool SameBytes(const std::string& a, const std::string& b)
{
    std::error_code ec1, ec2;
    const auto sizeA = fs::file_size(a, ec1), sizeB = fs::file_size(b, ec2);
    if (ec1 || ec2 || sizeA != sizeB) return false;
    Fd inA(platform::OpenForReading(a)), inB(platform::OpenForReading(b));
    if (inA.get() < 0 || inB.get() < 0) return false;
    static constexpr std::size_t kPiece = 64 * 1024;
    std::vector<char> pieceA(kPiece), pieceB(kPiece);
    for (;;) {
        const ssize_t n = ::read(inA.get(), pieceA.data(), kPiece);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        for (ssize_t got = 0; got < n;) {
            const ssize_t m = ::read(inB.get(), pieceB.data() + got, std::size_t(n - got));
            if (m < 0 && errno == EINTR) continue;
            if (m <= 0) return false;
            got += m;
        }
        if (std::memcmp(pieceA.data(), pieceB.data(), std::size_t(n)) != 0) return false;
    }
}

// The file a database of a new generation comes from, by its file name.
struct Source {
    std::string file;
    std::string path;
    bool damaged = false;    // on the handheld
    bool soundCopy = false;  // `path` is the previous generation's sound copy instead
};

// True when a generation would hold exactly what `g` holds.
bool Holds(const CHandheldBackup::Generation& g, const std::vector<Source>& sources)
{
    if (DatabaseFilesIn(g.dir).size() != sources.size()) return false;
    for (const Source& s : sources)
        if (!SameBytes(s.path, platform::JoinPath(g.dir, s.file))) return false;
    return true;
}

// Says in a generation that a run or a restore changed the handheld from it.
constexpr const char* kChangedFile = "changed.txt";

// Replaces `path` whole with `text`, readable by its owner only.
bool WritePrivateFile(const std::string& path, const std::string& text)
{
    std::string tmp = path + ".XXXXXX";
    Fd fd(::mkstemp(tmp.data()));
    if (fd.get() < 0) return false;
    const bool ok = ::write(fd.get(), text.data(), text.size()) == ssize_t(text.size()) &&
                    platform::FlushFile(fd.get()) && fd.Close() && platform::MoveIntoPlace(tmp, path);
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

// The full path of a folder, however it was written: links resolved, no
// trailing '/'.
std::string FullPath(const std::string& dir)
{
    std::error_code ec;
    fs::path full = fs::weakly_canonical(fs::absolute(dir, ec), ec);
    if (ec) full = fs::absolute(dir, ec).lexically_normal();
    std::string text = full.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

constexpr const char* kHandheldFile = "handheld.txt";
// Where the files of the earlier layout wait while they move to a handheld's set.
constexpr const char* kEarlierDir = ".earlier";

} // namespace

CHandheldBackup::CHandheldBackup(std::string userDir) : m_UserDir(std::move(userDir)) {}

std::string CHandheldBackup::Dir() const
{
    return platform::JoinPath(m_UserDir, kDirName);
}

std::string CHandheldBackup::DateText(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

// Two handhelds of one user carry the same user name and id, and
// handheld.json holds no serial number: the handheld is its folder, and the
// folder's full path names it from run to run. A copied folder is another
// handheld, never mixed with the first; a moved one starts a new set, and
// the old set stays listed for `restore --from`.
std::string CHandheldBackup::HandheldKey(const std::string& handheldDir)
{
    const std::string text = FullPath(handheldDir);
    std::uint64_t hash = 1469598103934665603ull; // FNV-1a: the same on every build
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    std::string name;
    for (unsigned char c : fs::path(text).filename().string()) {
        if (name.size() == 24) break;
        name += std::isalnum(c) || c == '-' || c == '_' ? char(c) : '_';
    }
    if (name.empty()) name = "handheld";
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%08x", unsigned(hash & 0xFFFFFFFFu));
    return name + suffix;
}

std::vector<std::string> CHandheldBackup::Handhelds() const
{
    std::vector<std::string> keys;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(Dir(), ec)) {
        const std::string name = e.path().filename().string();
        if (!name.empty() && name[0] != '.' && e.is_directory(ec)) keys.push_back(name);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::string CHandheldBackup::HandheldPath(const std::string& key) const
{
    std::ifstream in(platform::JoinPath(SetDir(key), kHandheldFile));
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<CHandheldBackup::Generation> CHandheldBackup::Generations(const std::string& key) const
{
    struct Found {
        Generation g;
        long suffix;
    };
    std::vector<Found> own;
    std::error_code ec;
    if (!key.empty() && key[0] != '.' && key.find('/') == std::string::npos) {
        for (const auto& e : fs::directory_iterator(SetDir(key), ec)) {
            Found f;
            f.g.name = e.path().filename().string();
            if (!ParseGenerationName(f.g.name, f.g.made, f.suffix, f.g.beforeRestore) || !e.is_directory(ec))
                continue;
            f.g.dir = e.path().string();
            std::error_code marked;
            f.g.changed = fs::exists(platform::JoinPath(f.g.dir, kChangedFile), marked);
            own.push_back(std::move(f));
        }
    }
    std::sort(own.begin(), own.end(), [](const Found& a, const Found& b) {
        const std::string da = a.g.name.substr(0, 16), db = b.g.name.substr(0, 16);
        return da != db ? da > db : a.suffix > b.suffix;
    });
    std::vector<Generation> out;
    for (Found& f : own) out.push_back(std::move(f.g));
    // Newest first among the earlier layout's too: a move cut short leaves
    // the files it had moved in .earlier, the others where they were.
    std::vector<Generation> earlier;
    for (const std::string& dir : {Dir(), platform::JoinPath(Dir(), kEarlierDir)}) {
        if (DatabaseFilesIn(dir).empty()) continue;
        Generation g;
        g.dir = dir;
        g.made = NewestChange(dir);
        g.earlierLayout = true;
        earlier.push_back(std::move(g));
    }
    std::sort(earlier.begin(), earlier.end(), [](const Generation& a, const Generation& b) { return a.made > b.made; });
    out.insert(out.end(), earlier.begin(), earlier.end());
    return out;
}

std::vector<std::string> CHandheldBackup::Files(const Generation& g)
{
    return DatabaseFilesIn(g.dir);
}

void CHandheldBackup::MigrateEarlierLayout(const std::string& key, std::vector<Note>* notes) const
{
    const std::string dir = Dir();
    const std::string earlier = platform::JoinPath(dir, kEarlierDir);
    std::error_code ec;
    if (DatabaseFilesIn(dir).empty() && !fs::is_directory(earlier, ec)) return;
    // Runs of this user's other handhelds may try the same move: one does it.
    CHandheldLock lock;
    for (int attempt = 0; lock.Acquire(dir) != CHandheldLock::Result::Locked; ++attempt) {
        if (attempt == 100) return; // left for a later run; restore still finds it
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    auto warn = [&](const std::string& why) {
        if (notes)
            notes->push_back({true, runtext::Text(4650,
                                                  "Backup - cannot move the earlier backup in %s (%s); it stays "
                                                  "there and can still be restored",
                                                  dir, why)});
    };
    std::string why;
    if (!MakePrivateDir(earlier, &why)) return warn(why);
    // File by file: a move cut short is finished by the next run.
    for (const std::string& f : DatabaseFilesIn(dir)) {
        if (::rename((platform::JoinPath(dir, f)).c_str(), (platform::JoinPath(earlier, f)).c_str()) != 0)
            return warn("cannot move " + f + ": " + std::strerror(errno));
    }
    SyncDir(earlier);
    SyncDir(dir);
    const std::size_t count = DatabaseFilesIn(earlier).size();
    if (count == 0) {
        ::rmdir(earlier.c_str());
        return;
    }
    const std::time_t made = NewestChange(earlier);
    const std::string set = SetDir(key);
    const std::string name = PlaceGeneration(earlier, set, made);
    if (name.empty()) return warn("cannot move " + earlier + " into " + set + ": " + std::strerror(errno));
    SyncDir(set);
    SyncDir(dir);
    if (notes)
        notes->push_back({false, count == 1 ? runtext::Text(4651,
                                                            "Backup - moved the backup of %s (1 database) to %s: "
                                                            "each handheld now has its own backups",
                                                            DateText(made), platform::JoinPath(set, name))
                                            : runtext::Text(4652,
                                                            "Backup - moved the backup of %s (%u databases) to %s: "
                                                            "each handheld now has its own backups",
                                                            DateText(made), count, platform::JoinPath(set, name))});
}

int CHandheldBackup::Make(const CHandheldStore& store, std::vector<Note>* notes, std::string* error, Purpose purpose,
                          Generation* made) const
{
    // What a killed run of the earlier layout left; a recent one may be another handheld's run of this user.
    std::error_code ec;
    const std::string leftover = std::string(".") + kDirName + ".new.";
    const auto now = fs::file_time_type::clock::now();
    for (const auto& e : fs::directory_iterator(m_UserDir, ec)) {
        if (e.path().filename().string().rfind(leftover, 0) != 0) continue;
        std::error_code age;
        const auto changed = e.last_write_time(age);
        if (!age && now - changed > std::chrono::seconds(CHandheldStore::kStaleSeconds)) fs::remove_all(e.path(), age);
    }
    if (!MakePrivateDir(Dir(), error)) return -1;
    const std::string key = HandheldKey(store.Dir());
    const std::string set = SetDir(key);
    if (!MakePrivateDir(set, error)) return -1;
    // Our caller holds the handheld's lock, so the set is ours alone: a
    // hidden folder in it is a killed run's half generation or half removal.
    for (const auto& e : fs::directory_iterator(set, ec)) {
        const std::string name = e.path().filename().string();
        std::error_code ignored;
        if (name[0] == '.' && e.is_directory(ignored)) fs::remove_all(e.path(), ignored);
    }
    if (const std::string path = FullPath(store.Dir()); HandheldPath(key) != path)
        WritePrivateFile(platform::JoinPath(set, kHandheldFile), path + "\n");
    // Not while a restore may be reading the earlier layout's files.
    if (purpose == Purpose::Sync) MigrateEarlierLayout(key, notes);
    const std::vector<Generation> before = Generations(key);
    const Generation* newest = before.empty() || before.front().earlierLayout ? nullptr : &before.front();

    // Every file, also those the store's listing passes over.
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(store.Dir(), ec))
        if (IsDatabaseFile(e.path())) files.push_back(e.path());
    if (ec) {
        if (error) *error = "cannot list " + store.Dir() + ": " + ec.message();
        return -1;
    }
    std::sort(files.begin(), files.end());
    // A damaged copy never takes the place of a sound one.
    std::vector<Source> sources;
    for (const fs::path& path : files) {
        Source source{path.filename().string(), path.string()};
        const auto onHandheld = CHandheldStore::Examine(source.path);
        source.damaged = onHandheld && onHandheld->damaged;
        const std::string previous = before.empty() ? "" : platform::JoinPath(before.front().dir, source.file);
        if (source.damaged && !previous.empty() && IsSound(previous)) {
            source.path = previous;
            source.soundCopy = true;
        }
        sources.push_back(std::move(source));
    }

    // Runs that change nothing (a service out of reach, retried) add nothing:
    // they would push the useful generations out.
    if (purpose == Purpose::Sync && newest && Holds(*newest, sources)) {
        if (notes) {
            for (const Source& source : sources)
                if (source.damaged)
                    notes->push_back(
                        {true, runtext::Text(4201, "Backup - %s on the handheld is damaged.", source.file)});
            notes->push_back({false, runtext::Text(4200,
                                                   "Backup - the handheld is as the backup of %s holds it: no new "
                                                   "backup.",
                                                   DateText(newest->made))});
        }
        if (made) *made = *newest;
        return int(sources.size());
    }
    for (const Source& source : sources) {
        if (!notes || !source.damaged) continue;
        if (source.soundCopy)
            notes->push_back({true, runtext::Text(4653,
                                                  "Backup - %s on the handheld is damaged: the new backup keeps the "
                                                  "sound copy from the backup of %s instead",
                                                  source.file, DateText(before.front().made))});
        else
            notes->push_back({true, runtext::Text(4654,
                                                  "Backup - %s on the handheld is damaged and no earlier backup "
                                                  "holds a sound copy: backed up as it is",
                                                  source.file)});
    }

    std::string tmpl = set + "/.new.XXXXXX";
    if (!platform::MakeUniqueFolder(tmpl)) {
        if (error) *error = "cannot create a folder in " + set + ": " + std::strerror(errno);
        return -1;
    }
    const std::string fresh = tmpl;
    auto fail = [&](const std::string& why) {
        std::error_code ignored;
        fs::remove_all(fresh, ignored);
        if (error) *error = why;
        return -1;
    };
    // A file the newest generation already holds is linked to it: unchanged
    // databases cost no second copy, and a generation stays a plain folder
    // of files that lives or goes on its own (the link count keeps what
    // another still holds). Backups are never written in place, so a linked
    // file never changes under an older generation. Other files are copied,
    // never linked to the handheld's: a writer that changes a file in place
    // would change the backup too. Every copy of a batch is written first,
    // then the file system is flushed once (syncfs reports a failed write of
    // any of them since Linux 5.8): one wait instead of one a file. Where
    // syncfs fails, each copy is flushed on its own.
    std::vector<std::pair<Fd, std::string>> written;
    auto flushWritten = [&](std::string* why) {
        const bool batch = !written.empty() && platform::FlushFileSystem(written.front().first.get());
        for (auto& [fd, target] : written) {
            if ((!batch && !platform::FlushFile(fd.get())) || !fd.Close()) {
                *why = "cannot write " + target + ": " + std::strerror(errno);
                return false;
            }
        }
        written.clear();
        return true;
    };
    constexpr std::size_t kOpenAtOnce = 64;
    for (const Source& source : sources) {
        std::string why;
        const std::string target = platform::JoinPath(fresh, source.file);
        std::string kept = source.soundCopy ? source.path : "";
        if (kept.empty() && newest && SameBytes(source.path, platform::JoinPath(newest->dir, source.file)))
            kept = platform::JoinPath(newest->dir, source.file);
        std::error_code linked;
        if (!kept.empty()) {
            fs::create_hard_link(kept, target, linked);
            if (!linked) continue;
        }
        // No links on this file system: a copy.
        Fd out;
        if (!CopyInto(source.path, target, out, &why)) return fail(why);
        written.emplace_back(std::move(out), target);
        if (written.size() == kOpenAtOnce && !flushWritten(&why)) return fail(why);
    }
    {
        std::string why;
        if (!flushWritten(&why)) return fail(why);
        if (!platform::FlushFolder(fresh))
            return fail("cannot write " + fresh + ": " + std::strerror(errno));
    }
    // Whole before it has a name that lists show. Never dated before the
    // newest: a clock set back would have it pruned as the oldest.
    std::time_t when = std::time(nullptr);
    for (const Generation& g : before)
        if (!g.earlierLayout) when = std::max(when, g.made);
    const std::string name =
        PlaceGeneration(fresh, set, when, purpose == Purpose::Restore ? kRestoreTag : std::string_view());
    if (name.empty()) return fail("cannot create a backup in " + set + ": " + std::strerror(errno));
    SyncDir(set);
    if (made) {
        *made = Generation{};
        made->name = name;
        made->dir = platform::JoinPath(set, name);
        made->made = when;
        made->beforeRestore = purpose == Purpose::Restore;
    }
    return int(sources.size());
}

std::optional<std::size_t> CHandheldBackup::Protected(const std::vector<Generation>& gens)
{
    for (std::size_t i = 0; i < gens.size(); ++i)
        if (gens[i].changed && !gens[i].earlierLayout) return i;
    return std::nullopt;
}

void CHandheldBackup::Prune(const CHandheldStore& store, int keep, std::vector<Note>* notes) const
{
    keep = std::clamp(keep, 1, kMaxKeep);
    const std::string key = HandheldKey(store.Dir());
    // Only once the new one is in place does the oldest go, and it goes out
    // of sight first, so a removal cut short leaves no half backup listed.
    // The newest stays, and so does the one from before the last run that
    // changed the handheld, whatever the runs since (a service out of reach
    // for days): another goes in its place, and with one kept there are two.
    const std::string set = SetDir(key);
    std::vector<Generation> all = Generations(key);
    all.erase(std::remove_if(all.begin(), all.end(), [](const Generation& g) { return g.earlierLayout; }), all.end());
    const std::optional<std::size_t> kept = Protected(all);
    std::size_t count = all.size();
    for (std::size_t i = all.size(); i-- > 1 && count > std::size_t(keep);) {
        if (kept && i == *kept) continue;
        std::string gone = set + "/.old.XXXXXX";
        if (!platform::MakeUniqueFolder(gone)) break;
        std::error_code ignored;
        if (!platform::MoveIntoPlace(all[i].dir, gone)) {
            fs::remove(gone, ignored);
            if (notes)
                notes->push_back({true, runtext::Text(4655, "Backup - cannot remove the old backup %s: %s",
                                                      all[i].dir, std::strerror(errno))});
            continue;
        }
        fs::remove_all(gone, ignored);
        --count;
    }
    SyncDir(set);
}

bool CHandheldBackup::BeginChange(const Generation& g)
{
    if (g.dir.empty() || g.earlierLayout) return false;
    const std::string marker = platform::JoinPath(g.dir, kChangedFile);
    Fd fd(platform::CreateNewFile(marker, 0600));
    if (fd.get() < 0) return false; // there already, or nowhere to write it: the generation stays as it is
    static constexpr std::string_view kText =
        "A synchronization or a restore changed the handheld from this backup (or was cut off before it could "
        "tell): it is kept until a later one changes the handheld.\n";
    const bool ok = ::write(fd.get(), kText.data(), kText.size()) == ssize_t(kText.size()) &&
                    platform::FlushFile(fd.get()) && fd.Close();
    SyncDir(g.dir);
    return ok;
}

void CHandheldBackup::EndChange(const Generation& g, const CHandheldStore& store, bool markedByBegin)
{
    if (!markedByBegin) return;
    std::vector<Source> now;
    for (const std::string& file : DatabaseFilesIn(store.Dir())) now.push_back({file, platform::JoinPath(store.Dir(), file)});
    if (!Holds(g, now)) return;
    ::unlink((platform::JoinPath(g.dir, kChangedFile)).c_str());
    SyncDir(g.dir);
}

std::vector<CHandheldBackup::Item> CHandheldBackup::Plan(const Generation& g, const CHandheldStore& store)
{
    std::vector<Item> items;
    for (const std::string& file : Files(g)) {
        auto entry = CHandheldStore::Examine(platform::JoinPath(g.dir, file));
        if (!entry) continue;
        Item item;
        item.file = file;
        item.entry = *entry;
        const auto there = CHandheldStore::Examine(platform::JoinPath(store.Dir(), file));
        item.handheldDamaged = there && there->damaged;
        if (entry->damaged) item.action = there && !there->damaged ? Action::SkipDamaged : Action::RestoreDamaged;
        else item.action = there ? Action::Replace : Action::Add;
        items.push_back(std::move(item));
    }
    return items;
}

int CHandheldBackup::Restore(const Generation& g, const CHandheldStore& store, Generation* saved,
                             std::vector<Note>* notes, std::string* error) const
{
    const std::vector<Item> plan = Plan(g, store);
    // The handheld as it is, first: a restore is undone by restoring that.
    Generation before;
    if (Make(store, notes, error, Purpose::Restore, &before) < 0) return -1;
    if (saved) *saved = before;
    const bool marked = BeginChange(before);
    int count = 0;
    for (const Item& item : plan) {
        if (item.action == Action::SkipDamaged) continue;
        std::vector<BYTE> bytes;
        if (!ReadFile(platform::JoinPath(g.dir, item.file), bytes, error) ||
            !CHandheldStore::WriteFileAtomically(platform::JoinPath(store.Dir(), item.file), bytes, error)) {
            count = -1;
            break;
        }
        ++count;
    }
    EndChange(before, store, marked);
    return count;
}
