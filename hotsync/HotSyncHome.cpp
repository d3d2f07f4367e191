#include "hotsync/HotSyncHome.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <random>
#include <thread>

#include "palmkit/UserEntry.h"
#include "palmkit/HandheldStore.h"
#include "seam/PrivateFiles.h"
#include "seam/UserFolders.h"
#include "winreg/WinReg.h"

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr const char* kHomeInDataDir = "Norvelia\\HotSync";
#else
constexpr const char* kHomeInDataDir = "hotsync";
#endif

} // namespace

std::string CHotSyncHome::Resolve(const std::string& option)
{
    if (!option.empty()) return platform::NativePath(option);
    if (const char* env = std::getenv("HOTSYNC_HOME"); env && *env) return platform::NativePath(env);
    return platform::JoinPath(platform::UserDataDir(), kHomeInDataDir);
}

const char* CHotSyncHome::DefaultText()
{
#ifdef _WIN32
    return "%APPDATA%\\Norvelia\\HotSync";
#else
    return "~/.local/share/hotsync";
#endif
}

CHotSyncHome::CHotSyncHome(std::string dir) : m_Dir(platform::NativePath(std::move(dir)))
{
    // A root ("/", "C:\\") keeps its separator.
    while (m_Dir.size() > 1 && m_Dir.back() == platform::kPathSeparator && m_Dir[m_Dir.size() - 2] != ':')
        m_Dir.pop_back();
}

std::string CHotSyncHome::UsersPath() const
{
    return platform::JoinPath(m_Dir, "users.dat");
}

std::string CHotSyncHome::UserDir(const CUsersFile::User& user) const
{
    return platform::JoinPath(m_Dir, user.dir);
}

bool CHotSyncHome::LoadUsers(std::vector<CUsersFile::User>& users, std::string* error, Skipped* skipped) const
{
    return CUsersFile::Read(UsersPath(), users, error, skipped);
}

std::optional<CUsersFile::User> CHotSyncHome::FindUser(const std::string& name, std::string* error,
                                                       Skipped* skipped) const
{
    std::vector<CUsersFile::User> users;
    if (!LoadUsers(users, error, skipped)) return std::nullopt;
    for (auto& u : users) {
        if (usersdat::SameName(u.name, name)) return u;
    }
    return std::nullopt;
}

bool CHotSyncHome::AddUser(const std::string& name, const std::string& dirOption, CUsersFile::User& added,
                           std::string* error, Skipped* skipped, Notes* notes) const
{
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (std::string why = usersdat::CheckUserName(name); !why.empty()) return fail(why);
    CHandheldLock lock;
    if (!LockHome(lock, error)) return false;
    CHandheldStore::RemoveTemporaries(m_Dir, "users.dat", 0);
    std::vector<CUsersFile::User> users;
    if (!LoadUsers(users, error, skipped)) return false;
    if (users.size() >= CUsersFile::kMaxUsers) return fail("users.dat holds the most users it can");
    for (const auto& u : users) {
        if (usersdat::SameName(u.name, name)) return fail("the user \"" + u.name + "\" exists");
    }
    auto taken = [&](const std::string& d) {
        for (const auto& u : users)
            if (usersdat::SameName(u.dir, d)) return true;
        return false;
    };
    std::string dir = dirOption;
    if (dir.empty()) {
        // Room is left for a number when another user has the folder.
        dir = usersdat::FolderNameFor(name, CUsersFile::kMaxText - 3);
        const std::string base = dir;
        for (int n = 2; taken(dir) && n < 1000; ++n) dir = base + std::to_string(n);
    } else {
        if (std::string why = usersdat::CheckUserDir(dir); !why.empty()) return fail(why);
        if (taken(dir)) return fail("the directory \"" + dir + "\" belongs to another user");
    }
    CUsersFile::User user;
    user.name = name;
    user.dir = dir;
    std::random_device rd;
    do {
        user.id = DWORD(rd());
    } while (user.id == 0);
    Notes ignored;
    if (!MakeDir(platform::JoinPath(m_Dir, dir), notes ? *notes : ignored, error)) return false;
    users.push_back(user);
    if (!CUsersFile::Write(UsersPath(), users, error)) return false;
    added = user;
    return true;
}

bool CHotSyncHome::RemoveUser(const std::string& name, bool deleteFolder, CUsersFile::User& removed,
                              std::string* error, std::string* sharedWith, std::string* folderError) const
{
    CHandheldLock lock;
    if (!LockHome(lock, error)) return false;
    CHandheldStore::RemoveTemporaries(m_Dir, "users.dat", 0);
    std::vector<CUsersFile::User> users;
    if (!LoadUsers(users, error)) return false;
    const auto it = std::find_if(users.begin(), users.end(),
                                 [&](const auto& u) { return ::strcasecmp(u.name.c_str(), name.c_str()) == 0; });
    if (it == users.end()) {
        if (error) *error = "no HotSync user named \"" + name + "\" in " + m_Dir;
        return false;
    }
    removed = *it;
    users.erase(it);
    if (!CUsersFile::Write(UsersPath(), users, error)) return false;
    if (!deleteFolder) return true;
    // A folder that another entry names is that user's too.
    for (const auto& u : users)
        if (::strcasecmp(u.dir.c_str(), removed.dir.c_str()) == 0) {
            if (sharedWith) *sharedWith = u.name;
            return true;
        }
    std::error_code ec;
    fs::remove_all(UserDir(removed), ec);
    if (ec && folderError) *folderError = ec.message();
    return true;
}

bool CHotSyncHome::RenameUser(const std::string& name, const std::string& newName, CUsersFile::User& renamed,
                              std::string* error) const
{
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (std::string why = usersdat::CheckUserName(newName); !why.empty()) return fail(why);
    CHandheldLock lock;
    if (!LockHome(lock, error)) return false;
    CHandheldStore::RemoveTemporaries(m_Dir, "users.dat", 0);
    std::vector<CUsersFile::User> users;
    if (!LoadUsers(users, error)) return false;
    CUsersFile::User* found = nullptr;
    for (auto& u : users) {
        if (::strcasecmp(u.name.c_str(), name.c_str()) == 0) found = &u;
        else if (::strcasecmp(u.name.c_str(), newName.c_str()) == 0) return fail("the user \"" + u.name + "\" exists");
    }
    if (!found) return fail("no HotSync user named \"" + name + "\" in " + m_Dir);
    found->name = newName;
    if (!CUsersFile::Write(UsersPath(), users, error)) return false;
    renamed = *found;
    return true;
}

bool CHotSyncHome::MakeDir(const std::string& dir, Notes& notes, std::string* error)
{
    const platform::PrivateDir made = platform::MakePrivateDir(dir);
    if (!made.exists) {
        if (error) *error = made.error;
        return false;
    }
    if (!made.narrowed.empty()) notes.push_back(made.narrowed);
    if (!made.error.empty()) notes.push_back("warning: " + made.error);
    return true;
}

bool CHotSyncHome::MakePrivate(const CUsersFile::User* user, Notes& notes, std::string* error) const
{
    return MakeDir(m_Dir, notes, error) && (user == nullptr || MakeDir(UserDir(*user), notes, error));
}

bool CHotSyncHome::LockHome(CHandheldLock& lock, std::string* error) const
{
    // Writes of the home take milliseconds: two seconds is plenty.
    for (int attempt = 0; attempt < 100; ++attempt) {
        switch (lock.Acquire(m_Dir)) {
        case CHandheldLock::Result::Locked: return true;
        case CHandheldLock::Result::NotADirectory:
            if (error) *error = "no HotSync home at " + m_Dir;
            return false;
        case CHandheldLock::Result::Busy: std::this_thread::sleep_for(std::chrono::milliseconds(20)); break;
        }
    }
    if (error) *error = "the HotSync home " + m_Dir + " stays busy with another change";
    return false;
}

bool CHotSyncHome::WriteRegistry(std::string* error) const
{
    HKEY key = nullptr;
    LSTATUS rc = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", 0,
                                 KEY_WRITE, &key, nullptr);
    if (rc != ERROR_SUCCESS) {
        if (error) *error = "cannot open the HotSync registry key: " + winreg::ResultText(rc);
        return false;
    }
    // Other programs read these from their own working directories: store full paths.
    std::error_code ec;
    std::string dir = platform::NativePath(fs::absolute(m_Dir, ec).lexically_normal().string());
    if (ec || dir.empty())
        dir = m_Dir;
    while (dir.size() > 1 && dir.back() == platform::kPathSeparator && dir[dir.size() - 2] != ':')
        dir.pop_back();
    const std::string hotsyncPath = platform::JoinPath(dir, "hotsync");
    rc = RegSetValueExA(key, "HotSyncPath", REG_SZ, reinterpret_cast<const BYTE*>(hotsyncPath.c_str()),
                        DWORD(hotsyncPath.size() + 1));
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExA(key, "Path", REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()), DWORD(dir.size() + 1));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        if (error) *error = "cannot write the HotSync registry values: " + winreg::ResultText(rc);
        return false;
    }
    return true;
}

CHotSyncHome::SyncSettings CHotSyncHome::LoadSyncSettings(const CUsersFile::User& user) const
{
    SyncSettings s;
    std::ifstream in(platform::JoinPath(UserDir(user), "HotSync.ini"));
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        char* end = nullptr;
        const long v = std::strtol(line.c_str() + eq + 1, &end, 10);
        if (end == line.c_str() + eq + 1 || v < 0) continue;
        if (key == "backups") {
            if (v >= 1 && v <= kMaxBackups) s.backups = int(v);
            continue;
        }
        if (v > 7) continue;
        if (key == "permanent") s.permanent = int(v);
        else if (key == "temporary") s.temporary = int(v);
    }
    return s;
}

bool CHotSyncHome::SaveSyncSettings(const CUsersFile::User& user, const SyncSettings& s) const
{
    std::string text = "permanent=" + std::to_string(s.permanent) + "\n";
    if (s.temporary) text += "temporary=" + std::to_string(*s.temporary) + "\n";
    // Left out at the default, so that the default stays the program's to choose.
    if (s.backups != kDefaultBackups) text += "backups=" + std::to_string(s.backups) + "\n";
    CHandheldLock lock;
    if (!LockHome(lock, nullptr)) return false;
    CHandheldStore::RemoveTemporaries(UserDir(user), "HotSync.ini", 0);
    return CHandheldStore::WriteFileAtomically(platform::JoinPath(UserDir(user), "HotSync.ini"),
                                               std::vector<BYTE>(text.begin(), text.end()));
}
