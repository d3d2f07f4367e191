#include "connexion/ConnexionUrl.h"

#include <vector>

#include "settings/RegAccess.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

constexpr const char* kProduct = "SOFTWARE\\Norvelia\\Tidepost";

std::string ReadValue(const std::string& key, const std::string& name)
{
    CRegAccess reg;
    if (!reg.SetRootKey(HKEY_LOCAL_MACHINE) || !reg.SetKey(key, false)) return {};
    return reg.ReadString(name, "");
}

// The users that have a key of their own under Users.
std::vector<std::string> SettingsUsers()
{
    std::vector<std::string> users;
    HKEY key = nullptr;
    const std::string path = std::string(kProduct) + "\\Users";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return users;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size) != ERROR_SUCCESS) break;
        users.emplace_back(name, size);
    }
    RegCloseKey(key);
    return users;
}

} // namespace

std::string ConfiguredServerUrl()
{
    const std::string users = std::string(kProduct) + "\\Users";
    std::string user = ReadValue(users, "LastUser");
    if (user.empty()) {
        const std::vector<std::string> all = SettingsUsers();
        if (all.size() != 1) return {};
        user = all.front();
    }
    const std::string server = ReadValue(users + "\\" + user, "CurrentServer");
    if (server.empty()) return {};
    return ReadValue(std::string(kProduct) + "\\Servers", server);
}

std::string UrlFromCommandLine(std::string_view commandLine)
{
    std::size_t i = 0;
    // A quoted program path may hold blanks: its word ends after the closing quote.
    if (!commandLine.empty() && commandLine[0] == '"') {
        const std::size_t close = commandLine.find('"', 1);
        i = close == std::string_view::npos ? commandLine.size() : close + 1;
    }
    while (i < commandLine.size() && !IsBlank(commandLine[i])) ++i;
    while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
    return std::string(commandLine.substr(i));
}

std::string UrlToCheck(std::string_view commandLine)
{
    std::string url = UrlFromCommandLine(commandLine);
    return url.empty() ? ConfiguredServerUrl() : url;
}

std::string CommandLineOf(int argc, const char* const* argv)
{
    std::string line = "NvConnexion";
    for (int i = 1; i < argc; ++i) {
        line += ' ';
        line += argv[i];
    }
    return line;
}

std::string ProbeUrlOf(std::string_view serverUrl)
{
    if (serverUrl.empty()) serverUrl = kDefaultServerUrl;
    const std::size_t slash = serverUrl.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? std::string_view() : serverUrl.substr(0, slash);
    return std::string(base) + "/test.bin";
}
