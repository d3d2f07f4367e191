// The install aide: queues a database file for the HotSync user's handheld.
// The HotSync Manager installs the queue at the end of the synchronization.
#pragma once
#include <string>

#include "seam/Export.h"

// Results of PltInstallFile besides 0.
constexpr long kInstallBadArgument = -1;
constexpr long kInstallUnknownUser = -2;
constexpr long kInstallUnreadable = -3;
constexpr long kInstallWriteFailed = -4;

extern "C" {
// Copies `path` into "<user dir>/Install/". The user is the one whose
// handheld is attached (its name, compared without regard to case, or empty).
// A file that is not a whole Palm database is refused (kInstallUnreadable).
NORV_EXPORT long PltInstallFile(const char* user, const char* path);
}

namespace palmkit {
// The install queue directory of a user directory.
NORV_EXPORT std::string InstallDir(const std::string& userDir);
} // namespace palmkit
