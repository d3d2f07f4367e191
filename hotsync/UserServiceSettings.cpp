#include "hotsync/UserServiceSettings.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "hotsync/RunText.h"
#include "nvservices/NvServices.h"
#include "settings/RegKey.h"
#ifndef _WIN32
#include "settings/ShippedDefaults.h"
#endif

namespace {

std::string Product()
{
    return CUserServiceSettings::kProductKey;
}

// A text value as the conduit reads it: at most 255 bytes, else nothing.
std::string ReadText(const std::string& path, const std::string& name)
{
    RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE);
    if (!key) return {};
    char buf[256] = {};
    DWORD size = sizeof buf;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.get(), name.c_str(), &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
    return std::string(buf, strnlen(buf, std::min<std::size_t>(size, sizeof buf)));
}

LSTATUS WriteText(HKEY key, const char* name, const std::string& text)
{
    return RegSetValueExA(key, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1));
}

// A page of NvPassword by its tab's text.
std::string Page(int number, const char* english)
{
    return RunLabel(number, english);
}

std::string NorvregSet(const std::string& key, const std::string& name, const std::string& value)
{
    return "norvreg set " + ShellWord("HKLM\\" + key) + " " + ShellWord(name) + " " + ShellWord(value);
}

// Copies the key `from` below `root` to `to`, values and subkeys.
LSTATUS CopyTree(const std::string& from, const std::string& to)
{
    RegKey source = OpenRegKey(HKEY_LOCAL_MACHINE, from, KEY_READ);
    if (!source) return ERROR_FILE_NOT_FOUND;
    HKEY raw = nullptr;
    if (LSTATUS r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, to.c_str(), 0, KEY_ALL_ACCESS, &raw, nullptr);
        r != ERROR_SUCCESS)
        return r;
    RegKey target(raw);
    for (DWORD i = 0;; ++i) {
        std::string name(16384, '\0');
        DWORD nameSize = DWORD(name.size());
        DWORD type = 0, size = 0;
        LSTATUS r = RegEnumValueA(source.get(), i, name.data(), &nameSize, &type, nullptr, &size);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return r;
        std::string data(size, '\0');
        nameSize = DWORD(name.size());
        r = RegEnumValueA(source.get(), i, name.data(), &nameSize, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (r != ERROR_SUCCESS) return r;
        name.resize(nameSize);
        r = RegSetValueExA(target.get(), name.c_str(), type, reinterpret_cast<const BYTE*>(data.data()), size);
        if (r != ERROR_SUCCESS) return r;
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        LSTATUS r = RegEnumKeyExA(source.get(), i, name, &size);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return r;
        const std::string sub(name, size);
        if (LSTATUS c = CopyTree(from + "\\" + sub, to + "\\" + sub); c != ERROR_SUCCESS) return c;
    }
    return ERROR_SUCCESS;
}

// A name that is one key of a path: a backslash would reach into another
// user's keys (a user "Anne\\Norvelia" is Anne's login on Norvelia).
bool KeyName(const std::string& name)
{
    return !name.empty() && name.find('\\') == std::string::npos;
}

} // namespace

CUserServiceSettings::CUserServiceSettings(std::string user) : m_User(std::move(user)) {}

std::string CUserServiceSettings::UserKey() const
{
    return Product() + "\\Users\\" + m_User;
}

std::string CUserServiceSettings::CurrentServer() const
{
    if (!KeyName(m_User)) return {};
    return ReadText(UserKey(), "CurrentServer");
}

std::string CUserServiceSettings::ServerUrl() const
{
    const std::string server = CurrentServer();
    return server.empty() ? std::string() : UrlOf(server);
}

std::string CUserServiceSettings::Login(const std::string& server) const
{
    const std::string s = server.empty() ? CurrentServer() : server;
    return KeyName(m_User) && KeyName(s) ? ReadText(UserKey() + "\\" + s, "UID") : std::string();
}

bool CUserServiceSettings::HasPassword(const std::string& server) const
{
    const std::string s = server.empty() ? CurrentServer() : server;
    return KeyName(m_User) && KeyName(s) && !ReadText(UserKey() + "\\" + s, "PWD").empty();
}

std::vector<std::string> CUserServiceSettings::Servers()
{
    std::vector<std::string> out;
    RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, Product() + "\\Servers", KEY_READ);
    if (!key) return out;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        LSTATUS r = RegEnumValueA(key.get(), i, name, &size, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) continue;
        if (size > 0) out.emplace_back(name, size);
    }
    return out;
}

std::string CUserServiceSettings::UrlOf(const std::string& server)
{
    return server.empty() ? std::string() : ReadText(Product() + "\\Servers", server);
}

bool CUserServiceSettings::StoreLogin(const std::string& server, const std::string& login,
                                      const std::string& password, std::string* error) const
{
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    // An empty name would make the path name a parent key.
    if (!KeyName(m_User) || !KeyName(server) || login.empty())
        return fail("the user, the server and the login are needed, and names without '\\'");
    if (login.size() > 255 || password.size() > 127) return fail("the login or the password is too long");
    std::string failedAt;
    const LSTATUS rc = winreg::RunInTransaction([&]() -> LSTATUS {
        HKEY raw = nullptr;
        if (LSTATUS r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, (UserKey() + "\\" + server).c_str(), 0, KEY_ALL_ACCESS,
                                        &raw, nullptr);
            r != ERROR_SUCCESS)
            return r;
        RegKey key(raw);
        if (LSTATUS r = WriteText(key.get(), "UID", login); r != ERROR_SUCCESS) return r;
        // The stored form is the settings program's: the key is "k&v" and the login.
        if (!password.empty())
            if (LSTATUS r = WriteText(key.get(), "PWD", NvCypher(password, "k&v" + login)); r != ERROR_SUCCESS)
                return r;
        RegKey user = OpenRegKey(HKEY_LOCAL_MACHINE, UserKey(), KEY_SET_VALUE);
        if (!user) return ERROR_FILE_NOT_FOUND;
        return WriteText(user.get(), "CurrentServer", server);
    });
    if (rc != ERROR_SUCCESS)
        return fail("cannot write the settings store " + winreg::StorePath() + ": " + winreg::ResultText(rc));
    return true;
}

std::string CUserServiceSettings::Missing() const
{
    const std::string servers = Page(3033, "Servers");
    const std::string server = CurrentServer();
    if (server.empty()) {
        const std::vector<std::string> known = Servers();
        return RunText(4302,
                       "%s has no Norvelia server yet: choose one and the login in hotsync-gui (Settings, Set up), on "
                       "NvPassword's \"%s\" page, or with: %s",
                       m_User, servers,
                       NorvregSet(UserKey(), "CurrentServer", known.empty() ? std::string("NAME") : known.front()));
    }
    const std::string url = UrlOf(server);
    const std::string serversKey = Product() + "\\Servers";
    if (url.empty())
        return RunText(4303, "The server \"%s\" of %s has no address in the settings: give it one on NvPassword's "
                             "\"%s\" page, or with: %s",
                       server, m_User, servers, NorvregSet(serversKey, server, "http://HOST:PORT/PATH"));
    if (::strncasecmp(url.c_str(), "http://", 7) != 0 && ::strncasecmp(url.c_str(), "https://", 8) != 0)
        return RunText(4304, "The server \"%s\" has the address \"%s\", which is not an http:// or https:// "
                             "address: correct it on NvPassword's \"%s\" page, or with: %s",
                       server, url, servers, NorvregSet(serversKey, server, "http://HOST:PORT/PATH"));
    return {};
}

std::string CUserServiceSettings::Warning() const
{
    const std::string server = CurrentServer();
    if (server.empty() || !Login(server).empty()) return {};
    return RunText(4305, "warning: %s has no login on the server \"%s\": the handheld's own is used if it holds "
                         "one; store it in hotsync-gui (Settings, Set up), on NvPassword's \"%s\" page, or with: %s",
                   m_User, server, Page(3007, "Norvelia password"),
                   NorvregSet(UserKey() + "\\" + server, "UID", "LOGIN"));
}

std::string CUserServiceSettings::ApplyShippedDefaults()
{
#ifdef _WIN32
    // The installer writes them.
    return {};
#else
    const CShippedDefaults::Result r = CShippedDefaults::ApplyIfMissing();
    if (r.applied) {
        std::string servers;
        for (const std::string& s : r.servers) servers += (servers.empty() ? "" : ", ") + s;
        return RunText(4334, "The settings of a new installation were missing: imported %s (server %s) into %s. "
                             "Change them in NvPassword.",
                       r.file, servers, winreg::StorePath());
    }
    if (!r.error.empty())
        return RunText(4335, "warning: the settings of a new installation are missing and could not be imported: %s "
                             "(import them with: norvreg import FILE)",
                       r.error);
    return {};
#endif
}

bool CUserServiceSettings::Rename(const std::string& from, const std::string& to, std::string* error)
{
    const std::string source = Product() + "\\Users\\" + from;
    const std::string target = Product() + "\\Users\\" + to;
    // Names compare without regard to case: "anne" and "Anne" share one key.
    if (!KeyName(from) || !KeyName(to) || ::strcasecmp(from.c_str(), to.c_str()) == 0) return true;
    const LSTATUS rc = winreg::RunInTransaction([&]() -> LSTATUS {
        if (!OpenRegKey(HKEY_LOCAL_MACHINE, source, KEY_READ)) return ERROR_SUCCESS;
        if (OpenRegKey(HKEY_LOCAL_MACHINE, target, KEY_READ))
            if (LSTATUS d = RegDeleteKeyA(HKEY_LOCAL_MACHINE, target.c_str()); d != ERROR_SUCCESS) return d;
        if (LSTATUS c = CopyTree(source, target); c != ERROR_SUCCESS) return c;
        return RegDeleteKeyA(HKEY_LOCAL_MACHINE, source.c_str());
    });
    if (rc != ERROR_SUCCESS) {
        if (error) *error = "cannot move the settings of " + from + " in " + winreg::StorePath() + ": " +
                            winreg::ResultText(rc);
        return false;
    }
    return true;
}

bool CUserServiceSettings::Remove(const std::string& user, std::string* error)
{
    if (!KeyName(user)) return true;
    const std::string key = Product() + "\\Users\\" + user;
    const LSTATUS rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
        if (error) *error = "cannot delete the settings of " + user + " in " + winreg::StorePath() + ": " +
                            winreg::ResultText(rc);
        return false;
    }
    return true;
}
