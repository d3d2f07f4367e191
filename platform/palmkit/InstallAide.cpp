#include "palmkit/InstallAide.h"

#include <strings.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "PalmKitState.h"
#include "palmkit/HandheldStore.h"
#include "palmkit/HsLog.h"
#include "seam/PrivateFiles.h"

namespace fs = std::filesystem;

namespace palmkit {

std::string InstallDir(const std::string& userDir)
{
    std::string dir = userDir;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir + "/Install";
}

} // namespace palmkit

extern "C" long PltInstallFile(const char* user, const char* path)
{
    try {
        if (path == nullptr || *path == '\0') return kInstallBadArgument;
        const palmkit::detail::AttachedUser current = palmkit::detail::CurrentUser();
        if (!current.attached || current.userDir.empty()) return kInstallUnknownUser;
        if (user != nullptr && *user != '\0' && ::strcasecmp(user, current.userName.c_str()) != 0)
            return kInstallUnknownUser;
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) return kInstallUnreadable;
        // Only a whole Palm database can be installed: anything else would
        // stay in the queue for ever.
        const auto head = CHandheldStore::Examine(path);
        if (!head || head->damaged || head->name.empty()) return kInstallUnreadable;
        std::ifstream in(path, std::ios::binary);
        if (!in) return kInstallUnreadable;
        std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) return kInstallUnreadable;
        const std::string name = fs::path(path).filename().string();
        if (name.empty() || name == "." || name == "..") return kInstallBadArgument;
        const std::string dir = palmkit::InstallDir(current.userDir);
        const platform::PrivateDir queue = platform::MakePrivateDir(dir);
        if (!queue.narrowed.empty()) LogAddEntry(("Install - " + queue.narrowed).c_str(), slText, 0);
        if (queue.exists && !queue.error.empty()) LogAddEntry(("Install - " + queue.error).c_str(), slWarning, 0);
        if (!queue.exists) return kInstallWriteFailed;
        if (!CHandheldStore::WriteFileAtomically(dir + "/" + name, bytes)) return kInstallWriteFailed;
        return 0;
    } catch (...) {
        return kInstallWriteFailed;
    }
}
