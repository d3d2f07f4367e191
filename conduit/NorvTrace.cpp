#include "conduit/NorvTrace.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "palmkit/HsLog.h"
#include "palmkit/SyncMgr.h"
#include "seam/PrivateFiles.h"

namespace {

struct ErrorName {
    long value;
    const char* name;
};

constexpr ErrorName kErrorNames[] = {
    {SYNCERR_UNKNOWN, "SYNCERR_UNKNOWN"},
    {SYNCERR_MORE, "SYNCERR_MORE"},
    {SYNCERR_NOT_FOUND, "SYNCERR_NOT_FOUND"},
    {SYNCERR_FILE_NOT_OPEN, "SYNCERR_FILE_NOT_OPEN"},
    {SYNCERR_FILE_OPEN, "SYNCERR_FILE_OPEN"},
    {SYNCERR_RECORD_BUSY, "SYNCERR_RECORD_BUSY"},
    {SYNCERR_RECORD_DELETED, "SYNCERR_RECORD_DELETED"},
    {SYNCERR_READ_ONLY, "SYNCERR_READ_ONLY"},
    {SYNCERR_COMM_NOT_INIT, "SYNCERR_COMM_NOT_INIT"},
    {SYNCERR_FILE_ALREADY_EXIST, "SYNCERR_FILE_ALREADY_EXIST"},
    {SYNCERR_FILE_ALREADY_OPEN, "SYNCERR_FILE_ALREADY_OPEN"},
    {SYNCERR_NO_FILES_OPEN, "SYNCERR_NO_FILES_OPEN"},
    {SYNCERR_BAD_OPERATION, "SYNCERR_BAD_OPERATION"},
    {SYNCERR_REMOTE_BAD_ARG, "SYNCERR_REMOTE_BAD_ARG"},
    {SYNCERR_BAD_ARG_WRAPPER, "SYNCERR_BAD_ARG_WRAPPER"},
    {SYNCERR_ARG_MISSING, "SYNCERR_ARG_MISSING"},
    {SYNCERR_LOCAL_BUFF_TOO_SMALL, "SYNCERR_LOCAL_BUFF_TOO_SMALL"},
    {SYNCERR_REMOTE_MEM, "SYNCERR_REMOTE_MEM"},
    {SYNCERR_REMOTE_NO_SPACE, "SYNCERR_REMOTE_NO_SPACE"},
    {SYNCERR_REMOTE_SYS, "SYNCERR_REMOTE_SYS"},
    {SYNCERR_LOCAL_MEM, "SYNCERR_LOCAL_MEM"},
    {SYNCERR_BAD_ARG, "SYNCERR_BAD_ARG"},
    {SYNCERR_LIMIT_EXCEEDED, "SYNCERR_LIMIT_EXCEEDED"},
    {SYNCERR_UNKNOWN_REQUEST, "SYNCERR_UNKNOWN_REQUEST"},
    {SYNCERR_TOO_MANY_OPEN_FILES, "SYNCERR_TOO_MANY_OPEN_FILES"},
    {SYNCERR_REMOTE_CANCEL_SYNC, "SYNCERR_REMOTE_CANCEL_SYNC"},
    {SYNCERR_LOCAL_CANCEL_SYNC, "SYNCERR_LOCAL_CANCEL_SYNC"},
    {SYNCERR_LOST_CONNECTION, "SYNCERR_LOST_CONNECTION"},
};

} // namespace

CNorvTrace::~CNorvTrace()
{
    Close();
}

bool CNorvTrace::Open(const std::string& path)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    if (m_Fd >= 0) ::close(m_Fd);
    m_Fd = platform::OpenFile(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND);
    return m_Fd >= 0;
}

void CNorvTrace::Close()
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    if (m_Fd >= 0) ::close(m_Fd);
    m_Fd = -1;
}

bool CNorvTrace::IsOpen() const
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    return m_Fd >= 0;
}

void CNorvTrace::WriteLine(const std::string& line)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    if (m_Fd < 0) return;
    // The line and its end in one system call, no buffer in between: the
    // file has the line as soon as this returns. A short write (a full
    // disk, a signal) goes on from where it stopped.
    static const char kEnd = '\n';
    iovec parts[2] = {{const_cast<char*>(line.data()), line.size()}, {const_cast<char*>(&kEnd), 1}};
    iovec* part = parts;
    int left = 2;
    while (left > 0) {
        const ssize_t n = ::writev(m_Fd, part, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // a trace that cannot be written does not stop the synchronization
        std::size_t done = std::size_t(n);
        while (left > 0 && done >= part->iov_len) {
            done -= part->iov_len;
            ++part;
            --left;
        }
        if (left > 0) {
            part->iov_base = static_cast<char*>(part->iov_base) + done;
            part->iov_len -= done;
        }
    }
}

void CNorvTrace::WriteSyncError(const std::string& context, long error)
{
    if (error == 0) return;
    WriteLine(KESA_FormatText("%s : %s", context, SyncErrorName(error)));
}

CNorvTrace& CNorvTrace::Instance()
{
    static CNorvTrace trace;
    return trace;
}

std::string SyncErrorName(long error)
{
    for (const ErrorName& e : kErrorNames) {
        if (e.value == error) return e.name;
    }
    return KESA_FormatText("?????? Unknown error number : %d", error);
}

void ReportError(bool toHotSyncLog, long syncError, int activity, std::string context, std::string message)
{
    CNorvTrace& trace = CNorvTrace::Instance();
    if (trace.IsOpen()) {
        trace.WriteLine(message);
        if (syncError != 0)
            trace.WriteSyncError(context, syncError);
        else
            trace.WriteLine(context);
    }
    if (toHotSyncLog) LogAddEntry(VisibleText(message).c_str(), activity, 0);
}

std::string VisibleText(const std::string& text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        // A zero byte would end the entry there; other controls are no text.
        if (c == 0 || (c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string MaskPassword(const std::string& password)
{
    // The length is not shown either.
    return password.empty() ? std::string() : std::string("********");
}
