#include "hotsync/HandheldBackup.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>

#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    for (const fs::path& path : files) {
        // Copies, not links: a writer that changes a file in place would
        // change the backup too.
        std::vector<BYTE> bytes;
        std::string why;
        if (!ReadFile(path.string(), bytes, &why)) return fail(why);
        const std::string target = fresh + "/" + path.filename().string();
        if (!CHandheldStore::WriteFileAtomically(target, bytes, &why)) return fail(why);
        ++count;
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
