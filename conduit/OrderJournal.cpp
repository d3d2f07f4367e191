// The journal of accepted orders: a text file, one order a line, replaced
// whole and flushed at each change so that a crash keeps either version.
#include "conduit/OrderJournal.h"

#include <strings.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"

namespace {

constexpr const char* kHeader = "# Orders the service accepted; the handheld does not record them yet.";

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

std::string COrderJournal::FormatLine(const Entry& entry)
{
    return Escape(entry.channelId) + '\t' + Escape(entry.listName) + '\t' + std::to_string(entry.created) + '\t' +
           Escape(entry.processDate);
}

bool COrderJournal::ParseLine(const std::string& line, Entry& entry)
{
    const std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() != 4) return false;
    const std::string& created = fields[2];
    if (created.empty() || created.size() > 10 || created.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long value = std::strtoull(created.c_str(), nullptr, 10);
    if (value == 0 || value > 0xFFFFFFFFull) return false;
    entry.created = DWORD(value);
    return Unescape(fields[0], entry.channelId) && Unescape(fields[1], entry.listName) &&
           Unescape(fields[3], entry.processDate) && !entry.channelId.empty() && !entry.listName.empty();
}

bool COrderJournal::Load(std::string* error)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    m_Entries.clear();
    m_Readable = false;
    const JournalTurn turn(m_Path);
    std::ifstream in(m_Path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) {
            m_Readable = true;
            return true;
        }
        if (error) *error = m_Path + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        Entry entry;
        if (!ParseLine(line, entry)) {
            m_Entries.clear();
            if (error) *error = m_Path + ": line " + std::to_string(number) + " cannot be read";
            return false;
        }
        m_Entries.push_back(std::move(entry));
    }
    if (in.bad()) {
        m_Entries.clear();
        if (error) *error = m_Path + ": " + std::strerror(errno);
        return false;
    }
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
    std::lock_guard<std::mutex> guard(m_Mutex);
    if (!m_Readable) {
        // Writing now would lose what the unreadable file holds.
        if (error) *error = m_Path + ": cannot be read, so it is not written";
        return false;
    }
    m_Entries.push_back(entry);
    return WriteLocked(error);
}

bool COrderJournal::Remove(const std::string& listName, const std::string& channelId, DWORD created,
                           std::string* error)
{
    return RemoveUnless(
        [&](const Entry& e) {
            return !(e.listName == listName && SameChannel(e.channelId, channelId) && e.created == created);
        },
        error);
}

std::vector<COrderJournal::Entry> COrderJournal::Entries() const
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    return m_Entries;
}

bool COrderJournal::WriteLocked(std::string* error)
{
    if (!m_Readable) {
        if (error) *error = m_Path + ": cannot be read, so it is not written";
        return false;
    }
    const JournalTurn turn(m_Path);
    if (m_Entries.empty()) {
        if (std::remove(m_Path.c_str()) != 0 && errno != ENOENT) {
            if (error) *error = m_Path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    std::string text = std::string(kHeader) + "\n";
    for (const Entry& e : m_Entries) text += FormatLine(e) + "\n";
    std::string why;
    if (!CHandheldStore::WriteFileAtomically(m_Path, std::vector<BYTE>(text.begin(), text.end()), &why)) {
        if (error) *error = m_Path + ": " + why;
        return false;
    }
    return true;
}
