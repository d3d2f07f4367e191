#include "hotsync/HotSyncLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "seam/PrivateFiles.h"

namespace {

std::string LocalTime(std::time_t t, const char* format)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, format, &tm);
    return buf;
}

} // namespace

std::string CHotSyncLogFile::EscapeText(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out;
}

std::string CHotSyncLogFile::FormatLine(const palmkit::LogEntry& e)
{
    return LocalTime(e.time, "%Y-%m-%d %H:%M:%S") + "\t" + std::to_string(e.activity) + " " +
           ActivityName(e.activity) + "\t" + EscapeText(e.text);
}

bool CHotSyncLogFile::Append(const std::string& path, const std::vector<palmkit::LogEntry>& entries,
                             const std::string& run, std::string* error)
{
    // The older part goes to "<path>.1" (one generation), so the log stays bounded.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_size >= kRotateBytes) ::rename(path.c_str(), (path + ".1").c_str());
    std::string text;
    if (!run.empty()) {
        palmkit::LogEntry mark;
        mark.time = entries.empty() ? std::time(nullptr) : entries.front().time;
        mark.text = kRunMark + run;
        text += FormatLine(mark) + "\n";
    }
    for (const auto& e : entries) text += FormatLine(e) + "\n";
    int fd = platform::OpenFile(path, O_WRONLY | O_CREAT | O_APPEND);
    if (fd < 0) {
        if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    // One write so that a reader never sees half an entry.
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
            break;
        }
        done += std::size_t(n);
    }
    ::close(fd);
    return ok;
}

std::string CHotSyncLogFile::ActivityName(int activity)
{
    switch (activity) {
    case slText: return "info";
    case slReadError: return "read-error";
    case slWriteError: return "write-error";
    case slUpdateError: return "update-error";
    case slDeleteError: return "delete-error";
    case slSyncDone: return "done";
    case slSyncFailed: return "failed";
    case slWarning: return "warning";
    default: return "other";
    }
}

std::string CHotSyncLogFile::ActivityLabel(int activity)
{
    switch (activity) {
    case slText: return "info";
    case slSyncDone: return "OK";
    case slSyncFailed: return "FAILED";
    case slWarning: return "warning";
    case slReadError:
    case slWriteError:
    case slUpdateError:
    case slDeleteError: return "ERROR";
    default: return "#" + std::to_string(activity);
    }
}

std::string CHotSyncLogFile::FormatForPerson(const std::vector<palmkit::LogEntry>& entries, const std::string& user)
{
    std::string out = "HotSync log for " + user;
    if (!entries.empty()) out += ", " + LocalTime(entries.front().time, "%Y-%m-%d %H:%M");
    out += "\n";
    if (entries.empty()) out += "  (no entries)\n";
    for (const auto& e : entries) {
        std::string label = ActivityLabel(e.activity);
        label.resize(8, ' ');
        std::string text = e.text;
        if (e.timestamp) text = LocalTime(e.time, "%H:%M:%S") + " " + text;
        std::string line = "  " + label + " ";
        const std::string indent(line.size(), ' ');
        std::size_t start = 0;
        bool first = true;
        do {
            std::size_t nl = text.find('\n', start);
            std::string part = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
            out += (first ? line : indent) + part + "\n";
            first = false;
            start = nl == std::string::npos ? std::string::npos : nl + 1;
        } while (start != std::string::npos);
    }
    return out;
}
