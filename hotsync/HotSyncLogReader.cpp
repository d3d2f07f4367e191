#include "hotsync/HotSyncLogReader.h"

#include <cstdlib>
#include <fstream>

#include "hotsync/HotSyncLogFile.h"

namespace {

bool Digits(const std::string& s, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < from + count; ++i)
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
    return true;
}

int Number(const std::string& s, std::size_t from, std::size_t count)
{
    return std::atoi(s.substr(from, count).c_str());
}

std::string Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char e = text[++i];
            out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::optional<palmkit::LogEntry> CHotSyncLogReader::ParseLine(const std::string& line)
{
    // "YYYY-MM-DD HH:MM:SS" TAB activity SPACE name TAB text
    if (line.size() < 20 || !Digits(line, 0, 4) || line[4] != '-' || !Digits(line, 5, 2) || line[7] != '-' ||
        !Digits(line, 8, 2) || line[10] != ' ' || !Digits(line, 11, 2) || line[13] != ':' || !Digits(line, 14, 2) ||
        line[16] != ':' || !Digits(line, 17, 2) || line[19] != '\t')
        return std::nullopt;
    const std::size_t tab = line.find('\t', 20);
    if (tab == std::string::npos) return std::nullopt;
    const std::string activity = line.substr(20, tab - 20);
    char* end = nullptr;
    const long code = std::strtol(activity.c_str(), &end, 10);
    if (end == activity.c_str() || (*end != ' ' && *end != '\0') || code < -1000 || code > 1000) return std::nullopt;
    std::tm tm{};
    tm.tm_year = Number(line, 0, 4) - 1900;
    tm.tm_mon = Number(line, 5, 2) - 1;
    tm.tm_mday = Number(line, 8, 2);
    tm.tm_hour = Number(line, 11, 2);
    tm.tm_min = Number(line, 14, 2);
    tm.tm_sec = Number(line, 17, 2);
    tm.tm_isdst = -1;
    palmkit::LogEntry e;
    e.time = std::mktime(&tm);
    e.activity = int(code);
    e.text = Unescape(line.substr(tab + 1));
    return e;
}

std::optional<CHotSyncLogReader::Run> CHotSyncLogReader::LastRun(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    const std::streamoff from = size > kTailBytes ? size - kTailBytes : 0;
    in.seekg(from);
    std::string line;
    // A read from the middle of the file starts inside a line.
    if (from > 0) std::getline(in, line);
    std::optional<Run> run;
    const std::string mark = CHotSyncLogFile::kRunMark;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto e = ParseLine(line);
        if (!e) continue;
        if (e->activity == slText && e->text.rfind(mark, 0) == 0) {
            run = Run{e->text.substr(mark.size()), e->time, {}};
            continue;
        }
        if (run) run->entries.push_back(*e);
    }
    return run;
}
