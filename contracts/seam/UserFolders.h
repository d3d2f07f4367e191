// Where a program keeps the user's data by default, and paths written the
// way the platform writes them, one kind of separator throughout.
#pragma once
#include <string>

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The user's application data folder: the known folder RoamingAppData on
// Windows (%APPDATA%), ${XDG_DATA_HOME:-~/.local/share} elsewhere.
std::string UserDataDir();

// `path` with the platform's separator alone (Windows takes both).
std::string NativePath(std::string path);

// `dir` and `name` joined by one separator.
std::string JoinPath(const std::string& dir, const std::string& name);

} // namespace platform
