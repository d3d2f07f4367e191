// The user's data folder as the XDG base directories define it.
#include "seam/UserFolders.h"

#include <cstdlib>

namespace platform {

std::string UserDataDir()
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share";
}

std::string NativePath(std::string path)
{
    return path;
}

std::string JoinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == kPathSeparator) return dir + name;
    return dir + kPathSeparator + name;
}

} // namespace platform
