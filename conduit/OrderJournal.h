// The orders the service has accepted that the handheld does not record yet.
// A run that ends between the service's answer and the write-back of the
// list's order information (a crash, a full or read-only handheld, a "No")
// leaves the order active on the handheld; the next run finds it here and
// completes it instead of placing it a second time.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "seam/Types.h"

class COrderJournal {
public:
    struct Entry {
        std::string channelId;
        std::string listName;
        DWORD created = 0;       // the order's creation date, which tells one order from the next
        std::string processDate; // as the service returned it
    };

    // The file "Orders.journal" in the user's HotSync folder.
    static constexpr const char* kFileName = "Orders.journal";

    void SetPath(std::string path);
    const std::string& Path() const { return m_Path; }

    // Reads the file; an absent file is an empty journal. False, with the
    // reason, when it cannot be read or holds a line it cannot parse: then
    // nobody can tell which orders were placed.
    bool Load(std::string* error);
    bool IsReadable() const;

    // The entry of that order, if the service accepted it.
    bool Find(const std::string& listName, const std::string& channelId, DWORD created, Entry* found) const;
    // Adds an entry and puts the file on the disk before returning.
    bool Add(const Entry& entry, std::string* error);
    // Drops the entry of that order; writes the file when something went.
    bool Remove(const std::string& listName, const std::string& channelId, DWORD created, std::string* error);
    // Drops the entries of lists that `keep` does not vouch for.
    template <class Keep>
    bool RemoveUnless(Keep keep, std::string* error)
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        std::vector<Entry> kept;
        for (const Entry& e : m_Entries)
            if (keep(e)) kept.push_back(e);
        if (kept.size() == m_Entries.size()) return true;
        m_Entries.swap(kept);
        return WriteLocked(error);
    }
    std::vector<Entry> Entries() const;

    // One line of the file, and back; the fields are %XX-escaped.
    static std::string FormatLine(const Entry& entry);
    static bool ParseLine(const std::string& line, Entry& entry);

private:
    bool WriteLocked(std::string* error);

    mutable std::mutex m_Mutex; // entries come from the worker, lookups from the HotSync thread
    std::string m_Path;
    std::vector<Entry> m_Entries;
    bool m_Readable = true;
};
