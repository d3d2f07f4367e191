#include "hotsync/HandheldBackup.h"

#include <fcntl.h>
#include <unistd.h>
#include <stdio.h>
#include <stdlib.h>

#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "palmkit/HandheldStore.h"

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
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        if (error) *error = "cannot read " + from + ": " + std::strerror(errno);
        return false;
    }
    out = Fd(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) {
        if (error) *error = "cannot create " + to + ": " + std::strerror(errno);
        return false;
    }
    bool kernelCopy = true;
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = -1;
        if (kernelCopy) {
            n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, 1 << 30, 0);
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

} // namespace

CHandheldBackup::CHandheldBackup(std::string userDir) : m_UserDir(std::move(userDir)) {}

std::string CHandheldBackup::Dir() const
{
    return m_UserDir + "/" + kDirName;
}

int CHandheldBackup::Make(const CHandheldStore& store, std::string* error) const
{
    // What a killed run left; a recent one may be another handheld's run of this user.
    std::error_code ec;
    const std::string leftover = std::string(".") + kDirName + ".new.";
    const auto now = fs::file_time_type::clock::now();
    for (const auto& e : fs::directory_iterator(m_UserDir, ec)) {
        if (e.path().filename().string().rfind(leftover, 0) != 0) continue;
        std::error_code age;
        const auto changed = e.last_write_time(age);
        if (!age && now - changed > std::chrono::seconds(CHandheldStore::kStaleSeconds)) fs::remove_all(e.path(), age);
    }
    std::string tmpl = m_UserDir + "/." + kDirName + ".new.XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) {
        if (error) *error = "cannot create a folder in " + m_UserDir + ": " + std::strerror(errno);
        return -1;
    }
    const std::string fresh = tmpl;
    auto fail = [&](const std::string& why) {
        std::error_code ignored;
        fs::remove_all(fresh, ignored);
        if (error) *error = why;
        return -1;
    };
    int count = 0;
    // Every file, also those the store's listing passes over.
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(store.Dir(), ec))
        if (IsDatabaseFile(e.path())) files.push_back(e.path());
    if (ec) return fail("cannot list " + store.Dir() + ": " + ec.message());
    // Copies, not links: a writer that changes a file in place would change
    // the backup too. Every copy is written first and flushed after, so the
    // disk sees one batch rather than a wait per file.
    std::vector<std::pair<Fd, std::string>> written;
    auto flushWritten = [&](std::string* why) {
        for (auto& [fd, target] : written) {
            if (::fsync(fd.get()) != 0 || !fd.Close()) {
                *why = "cannot write " + target + ": " + std::strerror(errno);
                return false;
            }
        }
        written.clear();
        return true;
    };
    constexpr std::size_t kOpenAtOnce = 64;
    for (const fs::path& path : files) {
        std::string why;
        const std::string target = fresh + "/" + path.filename().string();
        Fd out;
        if (!CopyInto(path.string(), target, out, &why)) return fail(why);
        written.emplace_back(std::move(out), target);
        if (written.size() == kOpenAtOnce && !flushWritten(&why)) return fail(why);
        ++count;
    }
    {
        std::string why;
        if (!flushWritten(&why)) return fail(why);
        Fd folder(::open(fresh.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.get() < 0 || ::fsync(folder.get()) != 0)
            return fail("cannot write " + fresh + ": " + std::strerror(errno));
    }
    const std::string dir = Dir();
    if (fs::is_directory(dir, ec)) {
        // Both stay whole until the exchange, which is atomic.
        if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, dir.c_str(), RENAME_EXCHANGE) != 0)
            return fail("cannot replace " + dir + ": " + std::strerror(errno));
    } else if (::rename(fresh.c_str(), dir.c_str()) != 0) {
        return fail("cannot create " + dir + ": " + std::strerror(errno));
    }
    fs::remove_all(fresh, ec); // now the previous backup
    Fd parent(::open(m_UserDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() >= 0) ::fsync(parent.get()); // the swap itself
    return count;
}

int CHandheldBackup::Restore(const CHandheldStore& store, std::string* error) const
{
    const std::string dir = Dir();
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        if (error) *error = "no backup in " + dir + ": " + (ec ? ec.message() : std::strerror(ENOENT));
        return -1;
    }
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (IsDatabaseFile(e.path())) files.push_back(e.path());
    if (ec) {
        if (error) *error = "cannot list " + dir + ": " + ec.message();
        return -1;
    }
    int count = 0;
    for (const fs::path& f : files) {
        std::vector<BYTE> bytes;
        if (!ReadFile(f.string(), bytes, error)) return -1;
        if (!CHandheldStore::WriteFileAtomically(store.Dir() + "/" + f.filename().string(), bytes, error)) return -1;
        ++count;
    }
    return count;
}
