// The HotSync log: what a synchronization reports to the user. The HotSync
// Manager shows it at the end of the run and keeps it in the user's directory.
#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "palmkit/RunReport.h"
#include "seam/Export.h"

// Activity codes.
enum HsLogActivity : int {
    slText = -1,          // plain information
    slReadError = 8,      // a database or category could not be read
    slWriteError = 9,     // a block or record could not be written
    slUpdateError = 11,   // a record could not be updated
    slDeleteError = 12,   // a record or database could not be deleted
    slSyncDone = 20,      // closing entry of a run that went through
    slSyncFailed = 21,    // closing entry of a failed run, or an error that stops it
    slWarning = 22,       // a step or channel was skipped
};

extern "C" {
// Adds an entry; with `timestamp` non-zero the text shown is preceded by the time.
NORV_EXPORT long LogAddEntry(const char* text, int activity, int timestamp);
}

namespace palmkit {

struct LogEntry {
    std::time_t time = 0;
    int activity = slText;
    bool timestamp = false;
    std::string text;
};

NORV_EXPORT std::vector<LogEntry> LogEntries();
// Clears the entries and the run's report (palmkit/RunReport.h).
NORV_EXPORT void LogClear();

} // namespace palmkit
