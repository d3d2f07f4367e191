// The conduit's trace file "NorvTrace.log" and its error reporter, which also
// feeds the HotSync log. One process-wide writer, used from the HotSync
// thread and the worker; every line is written whole and flushed at once.
#pragma once
#include <mutex>
#include <string>

#include "lexmo/Lexmo.h"
#include "quillio/NorvFile.h"

class CNorvTrace {
public:
    // Opens (appends to) `directory` + "NorvTrace.log".
    bool Open(const std::string& directory);
    void Close();
    bool IsOpen() const;
    // One line; a line starting with "\n" gets an empty line before it.
    // Dropped while the file is not open.
    void WriteLine(const std::string& line);

    // The process-wide writer.
    static CNorvTrace& Instance();

private:
    mutable std::mutex m_Mutex;
    CNorvFile m_File;
    bool m_Open = false;
};

// Writes a trace line made from a message-library style format and values;
// values are inserted, never read as a format.
template <typename... A>
void NorvLog(std::string_view format, const A&... args)
{
    CNorvTrace::Instance().WriteLine(KESA_FormatText(format, args...));
}

// Name of a Sync Manager error ("SYNCERR_NOT_FOUND"), or empty when unknown.
std::string SyncErrorName(long error);

// Writes `message` and `context` to the trace (with the Sync Manager error's
// name when `syncError` is not 0) and, when `toHotSyncLog`, the message alone
// to the HotSync log with `activity`.
void ReportError(bool toHotSyncLog, long syncError, int activity, const std::string& context,
                 const std::string& message);

// Masks a password for the trace: never written in clear.
std::string MaskPassword(const std::string& password);
