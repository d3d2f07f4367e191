#include "hotsync/HotSyncLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "hotsync/RunVerdict.h"
#include "lexmo/Lexmo.h"
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
    case CRunVerdict::kSynchronized: return "synchronized";
    case CRunVerdict::kWithProblems: return "problems";
    case CRunVerdict::kFailed: return "not-synchronized";
    case CRunVerdict::kAbandoned: return "abandoned";
    case CRunVerdict::kOrderPlaced: return "order-placed";
    case CRunVerdict::kOrderPlacedEarlier: return "order-placed-before";
    case CRunVerdict::kOrderWaiting: return "order-waiting";
    case CRunVerdict::kOrderRefused: return "order-refused";
    default: return "other";
    }
}

std::string CHotSyncLogFile::ActivityLabel(int activity)
{
    switch (activity) {
    case slText: return KESA_FormatMessage(4186);
    // The conduit's closing entry only marks the end: the verdict says how it went.
    case slSyncDone: return KESA_FormatMessage(4185);
    case slSyncFailed: return KESA_FormatMessage(4182);
    case slWarning: return KESA_FormatMessage(4187);
    case slReadError:
    case slWriteError:
    case slUpdateError:
    case slDeleteError: return KESA_FormatMessage(4188);
    case CRunVerdict::kSynchronized: return KESA_FormatMessage(4180);
    case CRunVerdict::kWithProblems: return KESA_FormatMessage(4181);
    case CRunVerdict::kFailed: return KESA_FormatMessage(4182);
    case CRunVerdict::kAbandoned: return KESA_FormatMessage(4183);
    case CRunVerdict::kOrderPlaced:
    case CRunVerdict::kOrderPlacedEarlier:
    case CRunVerdict::kOrderWaiting:
    case CRunVerdict::kOrderRefused: return KESA_FormatMessage(4184);
    default: return "#" + std::to_string(activity);
    }
}

std::size_t CHotSyncLogFile::DisplayWidth(const std::string& text)
{
    // Characters, not bytes: every byte but a UTF-8 continuation starts one.
    std::size_t width = 0;
    for (unsigned char c : text) width += (c & 0xC0) != 0x80;
    return width;
}

std::string CHotSyncLogFile::FormatForPerson(const std::vector<palmkit::LogEntry>& entries, const std::string& user)
{
    std::string out = entries.empty() ? KESA_FormatMessage(4189, user)
                                      : KESA_FormatMessage(4190, user, LocalTime(entries.front().time, "%Y-%m-%d %H:%M"));
    out += "\n";
    if (entries.empty()) out += "  " + KESA_FormatMessage(4191) + "\n";
    std::size_t labelWidth = 0;
    for (const auto& e : entries) labelWidth = std::max(labelWidth, DisplayWidth(ActivityLabel(e.activity)));
    for (const auto& e : entries) {
        std::string label = ActivityLabel(e.activity);
        label.append(labelWidth - DisplayWidth(label), ' ');
        std::string text = e.text;
        if (e.timestamp) text = LocalTime(e.time, "%H:%M:%S") + " " + text;
        std::string line = "  " + label + " ";
        const std::string indent(labelWidth + 3, ' ');
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
