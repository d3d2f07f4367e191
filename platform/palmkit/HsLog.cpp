#include "palmkit/HsLog.h"

#include <mutex>

namespace {

struct Log {
    std::mutex mutex;
    std::vector<palmkit::LogEntry> entries;
};

Log& L()
{
    static Log log;
    return log;
}

} // namespace

extern "C" long LogAddEntry(const char* text, int activity, int timestamp)
{
    palmkit::LogEntry e;
    e.time = std::time(nullptr);
    e.activity = activity;
    e.timestamp = timestamp != 0;
    e.text = text ? text : "";
    try {
        Log& log = L();
        std::lock_guard<std::mutex> guard(log.mutex);
        log.entries.push_back(std::move(e));
    } catch (...) {
        return -1;
    }
    return 0;
}

namespace palmkit {

std::vector<LogEntry> LogEntries()
{
    Log& log = L();
    std::lock_guard<std::mutex> guard(log.mutex);
    return log.entries;
}

void LogClear()
{
    Log& log = L();
    std::lock_guard<std::mutex> guard(log.mutex);
    log.entries.clear();
    ClearRunReport();
}

} // namespace palmkit
