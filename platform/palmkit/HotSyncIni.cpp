// Reading a user's HotSync.ini.
#include "palmkit/HotSyncIni.h"

#include <cstdlib>
#include <fstream>

#include "seam/UserFolders.h"

namespace palmkit {

std::map<std::string, long> ReadHotSyncIni(const std::string& userDir)
{
    std::map<std::string, long> values;
    std::ifstream in(platform::JoinPath(userDir, kHotSyncIni));
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        char* end = nullptr;
        const long v = std::strtol(line.c_str() + eq + 1, &end, 10);
        if (end == line.c_str() + eq + 1 || v < 0) continue;
        values[line.substr(0, eq)] = v;
    }
    return values;
}

} // namespace palmkit
