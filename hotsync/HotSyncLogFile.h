// The HotSync log as people and other tools read it: printed at the end of a
// run, and appended to "<user dir>/HotSync.log", one entry a line:
// "YYYY-MM-DD HH:MM:SS" TAB activity SPACE its name TAB text (\\, \n, \t escaped).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "palmkit/HsLog.h"

class CHotSyncLogFile {
public:
    static std::string EscapeText(const std::string& text);
    static std::string FormatLine(const palmkit::LogEntry& entry);
    // Each run's entries follow a line "-1 info<TAB>=== HotSync run: <run>"
    // (none when `run` is empty). A file grown past kRotateBytes is first
    // renamed "<path>.1", replacing the one before.
    static bool Append(const std::string& path, const std::vector<palmkit::LogEntry>& entries,
                       const std::string& run, std::string* error = nullptr);
    static constexpr const char* kRunMark = "=== HotSync run: ";
    static constexpr long kRotateBytes = 1 << 20;
    // The activity's name in the log file ("warning" for 22).
    static std::string ActivityName(int activity);
    // A short label for an activity code, in the user's language.
    static std::string ActivityLabel(int activity);
    // Columns of text as a terminal shows them.
    static std::size_t DisplayWidth(const std::string& text);
    // The log for a person: one entry a block, its label in front.
    static std::string FormatForPerson(const std::vector<palmkit::LogEntry>& entries, const std::string& user);
};
