// The record of accepted orders: a text file, one order a line, replaced
// whole and flushed at each change so that a crash keeps either version.
#include "conduit/OrderJournal.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "palmkit/HotSyncIni.h"

namespace {

constexpr const char* kHeader =
    "# Orders the service accepted: channel, list, creation date (seconds since 1904), the service's date, and "
    "when the handheld recorded it (UTC).";
constexpr std::int64_t kDay = 86400;

std::string Escape(const std::string& field)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : field) {
        if (c < 0x20 || c == 0x7F || c == '%' || c == '\t') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Unescape(const std::string& field, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size()) return false;
        const int hi = HexDigit(field[i + 1]);
        const int lo = HexDigit(field[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += char(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool SameChannel(const std::string& a, const std::string& b)
{
    return ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool SameOrder(const COrderJournal::Entry& a, const COrderJournal::Entry& b)
{
    return a.listName == b.listName && SameChannel(a.channelId, b.channelId) && a.created == b.created;
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and
// back (Howard Hinnant's algorithms): no time zone is involved.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = std::int64_t(yoe) + era * 400 + (m <= 2);
}

std::int64_t Now()
{
    return std::int64_t(std::time(nullptr));
}

// Runs of one user on two handhelds write the same journal: they take turns
// on its folder. The holder of the turn may remove what a write cut short (a
// killed run) left there, as no other write is under way.
class JournalTurn {
public:
    explicit JournalTurn(const std::string& path)
    {
        const std::filesystem::path p(path);
        const std::string dir = p.has_parent_path() ? p.parent_path().string() : ".";
        // A write takes milliseconds: two seconds is plenty.
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (m_Lock.Acquire(dir) == CHandheldLock::Result::Locked) {
                CHandheldStore::RemoveTemporaries(dir, p.filename().string(), 0);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

private:
    CHandheldLock m_Lock;
};

} // namespace

void COrderJournal::SetPath(std::string path)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    m_Path = std::move(path);
    m_Entries.clear();
    m_Readable = true;
}

void COrderJournal::SetRetention(int days)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    m_Days = days >= kMinDays && days <= kMaxDays ? days : kDefaultDays;
}

int COrderJournal::RetentionIn(const std::string& userDir)
{
    const auto values = palmkit::ReadHotSyncIni(userDir);
    const auto it = values.find(kDaysKey);
    return it != values.end() && it->second >= kMinDays && it->second <= kMaxDays ? int(it->second) : kDefaultDays;
}

std::string COrderJournal::DateText(std::int64_t utc)
{
    const std::int64_t days = utc >= 0 ? utc / kDay : (utc - kDay + 1) / kDay;
    const std::int64_t seconds = utc - days * kDay;
    std::int64_t y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(y), m, d,
                  int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    return text;
}

bool COrderJournal::ParseDate(const std::string& text, std::int64_t& utc)
{
    static const char pattern[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof pattern - 1) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return false;
    }
    auto number = [&](std::size_t at, std::size_t length) {
        return unsigned(std::strtoul(text.substr(at, length).c_str(), nullptr, 10));
    };
    const unsigned y = number(0, 4), m = number(5, 2), d = number(8, 2);
    const unsigned hh = number(11, 2), mm = number(14, 2), ss = number(17, 2);
    if (m < 1 || m > 12 || d < 1 || hh > 23 || mm > 59 || ss > 59) return false;
    const std::int64_t days = DaysFromCivil(y, m, d);
    std::int64_t back = 0;
    unsigned bm = 0, bd = 0;
    CivilFromDays(days, back, bm, bd);
    // 2024-02-30 is no date; before 1970-01-02, recorded would read as never.
    if (bm != m || bd != d || days < 1) return false;
    utc = days * kDay + hh * 3600 + mm * 60 + ss;
    return true;
}

std::string COrderJournal::FormatLine(const Entry& entry)
{
    std::string line = Escape(entry.channelId) + '\t' + Escape(entry.listName) + '\t' + std::to_string(entry.created) +
                       '\t' + Escape(entry.processDate);
    // Not yet recorded: four fields, as an earlier version wrote them.
    if (entry.recorded > 0) line += '\t' + DateText(entry.recorded);
    return line;
}

bool COrderJournal::ParseLine(const std::string& line, Entry& entry)
{
    const std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() != 4 && fields.size() != 5) return false;
    const std::string& created = fields[2];
    if (created.empty() || created.size() > 10 || created.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long value = std::strtoull(created.c_str(), nullptr, 10);
    if (value == 0 || value > 0xFFFFFFFFull) return false;
    entry.created = DWORD(value);
    entry.recorded = 0;
    if (fields.size() == 5 && !ParseDate(fields[4], entry.recorded)) return false;
    return Unescape(fields[0], entry.channelId) && Unescape(fields[1], entry.listName) &&
           Unescape(fields[3], entry.processDate) && !entry.channelId.empty() && !entry.listName.empty();
}

bool COrderJournal::ReadFile(std::vector<Entry>& entries, std::string* error) const
{
    entries.clear();
    std::ifstream in(m_Path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return true;
        if (error) *error = m_Path + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        Entry entry;
        if (!ParseLine(line, entry)) {
            entries.clear();
            if (error) *error = m_Path + ": line " + std::to_string(number) + " cannot be read";
            return false;
        }
        entries.push_back(std::move(entry));
    }
    if (in.bad()) {
        entries.clear();
        if (error) *error = m_Path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool COrderJournal::Load(std::string* error)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    m_Entries.clear();
    m_Readable = false;
    const JournalTurn turn(m_Path);
    if (!ReadFile(m_Entries, error)) return false;
    Expire(m_Entries, Now());
    m_Readable = true;
    return true;
}

bool COrderJournal::IsReadable() const
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    return m_Readable;
}

bool COrderJournal::Find(const std::string& listName, const std::string& channelId, DWORD created,
                         Entry* found) const
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    for (const Entry& e : m_Entries) {
        if (e.listName == listName && SameChannel(e.channelId, channelId) && e.created == created) {
            if (found) *found = e;
            return true;
        }
    }
    return false;
}

bool COrderJournal::Add(const Entry& entry, std::string* error)
{
    return Change(
        [&](std::vector<Entry>& entries, std::int64_t) {
            entries.erase(std::remove_if(entries.begin(), entries.end(),
                                         [&](const Entry& e) { return SameOrder(e, entry); }),
                          entries.end());
            entries.push_back(entry);
            return true;
        },
        error);
}

bool COrderJournal::MarkRecorded(const std::vector<Entry>& orders, std::string* error)
{
    return Change(
        [&](std::vector<Entry>& entries, std::int64_t now) {
            bool changed = false;
            for (Entry& e : entries)
                for (const Entry& o : orders)
                    if (SameOrder(e, o)) {
                        e.recorded = now;
                        changed = true;
                    }
            return changed;
        },
        error);
}

bool COrderJournal::Remove(const std::string& listName, const std::string& channelId, DWORD created,
                           std::string* error)
{
    const Entry order{channelId, listName, created, std::string(), 0};
    return Change(
        [&](std::vector<Entry>& entries, std::int64_t) {
            const auto end =
                std::remove_if(entries.begin(), entries.end(), [&](const Entry& e) { return SameOrder(e, order); });
            const bool changed = end != entries.end();
            entries.erase(end, entries.end());
            return changed;
        },
        error);
}

std::vector<COrderJournal::Entry> COrderJournal::Entries() const
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    return m_Entries;
}

bool COrderJournal::Expire(std::vector<Entry>& entries, std::int64_t now) const
{
    const std::size_t before = entries.size();
    const std::int64_t oldest = now - std::int64_t(m_Days) * kDay;
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return e.recorded != 0 && e.recorded < oldest; }),
                  entries.end());
    std::vector<std::int64_t> times;
    for (const Entry& e : entries)
        if (e.recorded != 0) times.push_back(e.recorded);
    if (times.size() > kMostKept) {
        // Ties at the limit all stay: the count is a bound on the file, not an exact number.
        std::nth_element(times.begin(), times.begin() + std::ptrdiff_t(times.size() - kMostKept), times.end());
        const std::int64_t keepFrom = times[times.size() - kMostKept];
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const Entry& e) { return e.recorded != 0 && e.recorded < keepFrom; }),
                      entries.end());
    }
    return entries.size() != before;
}

bool COrderJournal::Change(const Edit& edit, std::string* error)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    if (!m_Readable) {
        // Writing now would lose what the unreadable file holds.
        if (error) *error = m_Path + ": cannot be read, so it is not written";
        return false;
    }
    const JournalTurn turn(m_Path);
    std::vector<Entry> entries;
    std::string why;
    if (!ReadFile(entries, &why)) {
        if (error) *error = why + ", so it is not written";
        return false;
    }
    const std::int64_t now = Now();
    const bool edited = edit(entries, now);
    const bool expired = Expire(entries, now);
    if ((edited || expired) && !WriteFile(entries, error)) return false;
    m_Entries = std::move(entries);
    return true;
}

bool COrderJournal::WriteFile(const std::vector<Entry>& entries, std::string* error) const
{
    if (entries.empty()) {
        if (std::remove(m_Path.c_str()) != 0 && errno != ENOENT) {
            if (error) *error = m_Path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    std::string text = std::string(kHeader) + "\n";
    for (const Entry& e : entries) text += FormatLine(e) + "\n";
    std::string why;
    if (!CHandheldStore::WriteFileAtomically(m_Path, std::vector<BYTE>(text.begin(), text.end()), &why)) {
        if (error) *error = m_Path + ": " + why;
        return false;
    }
    return true;
}
