// A user's HotSync log read back ("<user dir>/HotSync.log", as CHotSyncLogFile
// writes it): the entries of its last run, for the HotSync window to open on.
#pragma once
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "palmkit/HsLog.h"

class CHotSyncLogReader {
public:
    struct Run {
        std::string title; // what follows "=== HotSync run: "
        std::time_t began = 0;
        std::vector<palmkit::LogEntry> entries;
    };
    // The last run of the file; nothing when it holds none or cannot be read.
    // Only the end of a long file is read; lines that do not parse are left out.
    static std::optional<Run> LastRun(const std::string& path);
    // One line of the file; nothing when it is not one.
    static std::optional<palmkit::LogEntry> ParseLine(const std::string& line);

    static constexpr long kTailBytes = 4L << 20;
};
