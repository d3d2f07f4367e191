// The settings the HotSync Manager keeps for each user in HotSync.ini, in the
// user's folder: one "key=number" a line, read by hotsync and the conduit.
#pragma once
#include <map>
#include <string>

#include "seam/Export.h"

namespace palmkit {

constexpr const char* kHotSyncIni = "HotSync.ini";

// The numbers of the HotSync.ini in `userDir`, by key. A missing file gives
// none; a line without "=", or whose value does not start with a number of
// zero or more, is skipped, and what follows the number is ignored.
NORV_EXPORT std::map<std::string, long> ReadHotSyncIni(const std::string& userDir);

} // namespace palmkit
