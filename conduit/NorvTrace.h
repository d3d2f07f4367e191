// The conduit's trace file "NorvTrace.log" and its error reporter, which also
// feeds the HotSync log. One process-wide writer, used from the HotSync
// thread and the worker; every line is handed to the file whole in one
// write, so that it is there at once, and survives a crash of the process.
#pragma once
#include <mutex>
#include <string>
#include <string_view>

#include "lexmo/Lexmo.h"

class CNorvTrace {
public:
    static constexpr const char* kFileName = "NorvTrace.log";

    // Opens `path` for writing from scratch: each run overwrites the last trace.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const;
    // The text and a line end; dropped while the file is not open.
    void WriteLine(const std::string& line);
    // "context : SYNCERR_..." when open and `error` is not 0.
    void WriteSyncError(const std::string& context, long error);

    // The process-wide writer.
    static CNorvTrace& Instance();

    CNorvTrace() = default;
    ~CNorvTrace();
    CNorvTrace(const CNorvTrace&) = delete;
    CNorvTrace& operator=(const CNorvTrace&) = delete;

private:
    mutable std::mutex m_Mutex;
    int m_Fd = -1;
};

// Writes a trace line made from a message-library style format and values;
// values are inserted, never read as a format.
template <typename... A>
void NorvLog(std::string_view format, const A&... args)
{
    if constexpr (sizeof...(A) == 0)
        CNorvTrace::Instance().WriteLine(std::string(format));
    else
        CNorvTrace::Instance().WriteLine(KESA_FormatText(format, args...));
}

// Name of a Sync Manager error ("SYNCERR_NOT_FOUND"), or
// "?????? Unknown error number : <n>" for any other value.
std::string SyncErrorName(long error);

// Writes `message` to the trace, then the Sync Manager error's name with
// `context` (`syncError` not 0) or `context` alone; when `toHotSyncLog`, adds
// the message alone to the HotSync log with `activity`.
void ReportError(bool toHotSyncLog, long syncError, int activity, std::string context, std::string message);
// Text for the HotSync log: zero bytes and other controls (but new lines and
// tabs) written as \xNN, so that a name from the network shows whole.
std::string VisibleText(const std::string& text);

// What the trace shows of a password: never the password itself.
std::string MaskPassword(const std::string& password);
