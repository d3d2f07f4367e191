#include "password/PasswordRegistry.h"

#include <strings.h>

#include <charconv>
#include <cstring>

#include "password/UserData.h"
#include "settings/RegKey.h"

namespace {

std::string UsersKey() { return std::string(kProductKey) + "\\Users"; }
std::string ServersKey() { return std::string(kProductKey) + "\\Servers"; }
std::string UserKey(const std::string& user) { return UsersKey() + "\\" + user; }

bool SameName(const std::string& a, const std::string& b) { return ::strcasecmp(a.c_str(), b.c_str()) == 0; }

RegKey Open(const std::string& path, REGSAM access) { return OpenRegKey(HKEY_LOCAL_MACHINE, path, access); }

bool HasValues(HKEY key)
{
    DWORD values = 0;
    return RegQueryInfoKeyA(key, nullptr, &values) == ERROR_SUCCESS && values > 0;
}

// A string value of any length, up to its first zero; empty when missing or not a string.
std::string ReadText(HKEY key, const std::string& name)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), &type, nullptr, &size) != ERROR_SUCCESS) return {};
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) return {};
    std::string data(size, '\0');
    if (RegQueryValueExA(key, name.c_str(), &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return {};
    data.resize(std::min<std::size_t>(size, data.size()));
    return data.substr(0, data.find('\0'));
}

bool WriteText(HKEY key, const std::string& name, const std::string& text)
{
    return RegSetValueExA(key, name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD(text.size() + 1)) == ERROR_SUCCESS;
}

// The value read into a 256-byte buffer; `fallback` when it cannot be read whole.
std::string ReadFixed(HKEY key, const char* name, const std::string& fallback)
{
    char buffer[kConnectionValueSize + 1] = {};
    DWORD size = kConnectionValueSize;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, name, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) return fallback;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return fallback;
    return std::string(buffer);
}

bool WriteFixed(HKEY key, const char* name, const std::string& text)
{
    if (!FitsConnectionValue(text)) return false;
    BYTE data[kConnectionValueSize] = {};
    std::memcpy(data, text.data(), text.size());
    return RegSetValueExA(key, name, REG_SZ, data, DWORD(sizeof data)) == ERROR_SUCCESS;
}

int ParseMode(const std::string& text)
{
    const char* blanks = " \t";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return 0;
    const std::size_t last = text.find_last_not_of(blanks);
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+') ++begin;
    int value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end ? value : 0;
}

} // namespace

std::vector<std::string> HotSyncUsers() { return TUserData().Names(); }

int UserIndex(const std::string& name)
{
    const std::vector<std::string> users = HotSyncUsers();
    for (std::size_t i = 0; i < users.size(); ++i) {
        if (SameName(users[i], name)) return int(i);
    }
    return 0;
}

std::string ReadCurrentServer(const std::string& user)
{
    if (user.empty()) return {}; // the path would name Users itself
    RegKey key = Open(UserKey(user), KEY_READ);
    if (!key || !HasValues(key.get())) return {};
    return ReadText(key.get(), "CurrentServer");
}

std::string ReadUID(const std::string& server, const std::string& user)
{
    if (server.empty() || user.empty()) return {}; // the path would name a parent key
    RegKey key = Open(UserKey(user) + "\\" + server, KEY_READ);
    if (!key || !HasValues(key.get())) return {};
    return ReadText(key.get(), "UID");
}

void WriteCredentials(const std::string& server, const std::string& user, const std::string& cyphered,
                      const std::string& login)
{
    // An empty name would make the path name a parent key: create nothing then.
    if (server.empty() || user.empty() || cyphered.empty() || login.empty()) return;
    HKEY raw = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (UserKey(user) + "\\" + server).c_str(), 0, KEY_ALL_ACCESS, &raw,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegKey key(raw);
    WriteText(key.get(), "UID", login);
    WriteText(key.get(), "PWD", cyphered);
}

int ReadLastActiveTab()
{
    RegKey key = Open(UsersKey(), KEY_READ);
    if (!key) return 0;
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.get(), "LastActiveTab", &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return 0;
    const auto tab = static_cast<std::int32_t>(value);
    return tab >= 0 && tab <= 2 ? tab : 0;
}

std::string ReadLastUser()
{
    RegKey key = Open(UsersKey(), KEY_READ);
    return key ? ReadText(key.get(), "LastUser") : std::string();
}

void WriteLastState(int tab, const std::string& user)
{
    RegKey key = Open(UsersKey(), KEY_SET_VALUE);
    if (!key) return;
    const DWORD value = DWORD(tab);
    RegSetValueExA(key.get(), "LastActiveTab", REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    WriteText(key.get(), "LastUser", user);
}

std::vector<std::string> ReadServerNames()
{
    std::vector<std::string> names;
    RegKey key = Open(ServersKey(), KEY_READ);
    if (!key) return names;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD size = sizeof name;
        const LSTATUS rc = RegEnumValueA(key.get(), i, name, &size, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        names.emplace_back(name, size);
    }
    return names;
}

std::string ReadServerUrl(const std::string& server)
{
    if (server.empty()) return {}; // would read the key's default value
    RegKey key = Open(ServersKey(), KEY_READ);
    if (!key || !HasValues(key.get())) return {};
    return ReadText(key.get(), server);
}

bool WriteServer(const std::string& server, const std::string& url)
{
    RegKey key = Open(ServersKey(), KEY_SET_VALUE);
    return key && WriteText(key.get(), server, url);
}

bool IsCurrentServerOf(const std::string& user, const std::string& server)
{
    if (user.empty() || server.empty()) return false;
    RegKey key = Open(UserKey(user), KEY_READ);
    if (!key || !HasValues(key.get())) return false;
    return SameName(ReadText(key.get(), "CurrentServer"), server);
}

std::vector<std::string> UsersOfServer(const std::string& server)
{
    std::vector<std::string> users;
    if (!Open(UsersKey(), KEY_READ)) return users;
    for (const std::string& user : HotSyncUsers()) {
        if (IsCurrentServerOf(user, server)) users.push_back(user);
    }
    return users;
}

void WriteCurrentServer(const std::string& user, const std::string& server)
{
    if (user.empty() || server.empty()) return;
    RegKey key = Open(UserKey(user), KEY_READ | KEY_SET_VALUE);
    if (!key || !OpenRegKey(key.get(), server, KEY_READ)) return;
    WriteText(key.get(), "CurrentServer", server);
}

void DeleteUserServerKey(const std::string& user, const std::string& server)
{
    // An empty name would delete the user's key or Users itself.
    if (user.empty() || server.empty()) return;
    if (RegKey key = Open(UserKey(user), KEY_ALL_ACCESS)) RegDeleteKeyA(key.get(), server.c_str());
}

void DeleteServerValue(const std::string& server)
{
    if (server.empty()) return;
    if (RegKey key = Open(ServersKey(), KEY_SET_VALUE)) RegDeleteValueA(key.get(), server.c_str());
}

ConnectionSettings ReadConnectionSettings()
{
    ConnectionSettings s;
    RegKey key = Open(kProductKey, KEY_READ);
    if (!key) return s;
    s.keyOpened = true;
    s.mode = ParseMode(ReadFixed(key.get(), "Mode", "0"));
    s.proxyUser = ReadFixed(key.get(), "ProxyUser", "");
    s.proxyPassword = ReadFixed(key.get(), "ProxyPassword", "");
    return s;
}

std::string ReadMsgDll()
{
    RegKey key = Open(kProductKey, KEY_READ);
    return key ? ReadText(key.get(), "MsgDll") : std::string();
}

bool WriteMsgDll(const std::string& catalog)
{
    RegKey key = Open(kProductKey, KEY_SET_VALUE);
    return key && WriteText(key.get(), "MsgDll", catalog);
}

bool WriteConnectionMode(int mode, const std::string* proxyUser, const std::string* proxyPassword)
{
    if ((proxyUser && !FitsConnectionValue(*proxyUser)) || (proxyPassword && !FitsConnectionValue(*proxyPassword)))
        return false;
    RegKey key = Open(kProductKey, KEY_SET_VALUE);
    if (!key) return false;
    // The mode and its credentials change together or not at all.
    const LSTATUS rc = winreg::RunInTransaction([&]() -> LSTATUS {
        bool ok = WriteFixed(key.get(), "Mode", std::to_string(mode));
        if (ok && proxyUser) ok = WriteFixed(key.get(), "ProxyUser", *proxyUser);
        if (ok && proxyPassword) ok = WriteFixed(key.get(), "ProxyPassword", *proxyPassword);
        return ok ? ERROR_SUCCESS : ERROR_CANTWRITE;
    });
    return rc == ERROR_SUCCESS;
}
