// The user's data folder from the shell's known folders; paths with
// backslashes, as Windows writes them.
#include "seam/UserFolders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace platform {

std::string UserDataDir()
{
    PWSTR path = nullptr;
    std::string dir;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &path)) && path)
        dir = std::filesystem::path(path).string();
    ::CoTaskMemFree(path); // also when the call failed
    if (dir.empty()) {
        if (const char* appData = std::getenv("APPDATA"); appData && *appData) dir = appData;
    }
    return NativePath(dir.empty() ? "." : dir);
}

std::string NativePath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string JoinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == '\\' || dir.back() == '/') return dir + name;
    return dir + kPathSeparator + name;
}

} // namespace platform
