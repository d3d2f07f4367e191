// The record of the orders the service has accepted, in the user's folder.
// A run that ends between the service's answer and the write-back of the
// list's order information (a crash, a full or read-only handheld, a "No")
// leaves the order active on the handheld, and a backup put back onto the
// handheld brings back lists whose orders were placed since: a later run
// finds the order here and completes it instead of placing it a second time.
// An entry stays while the handheld has not recorded its order, and for a
// number of days after it did (Retention()), at most kMostKept of those.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
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
        // When the handheld last recorded the order, or was found without it
        // active, in seconds since 1970 (UTC); 0 while it has not: such an
        // entry stays whatever its age.
        std::int64_t recorded = 0;
    };

    // The file "Orders.journal" in the user's HotSync folder.
    static constexpr const char* kFileName = "Orders.journal";
    // How many days an order stays once the handheld recorded it: the key of
    // the user's HotSync.ini, its default and its bounds.
    static constexpr const char* kDaysKey = "journal-days";
    static constexpr int kDefaultDays = 365;
    static constexpr int kMinDays = 1;
    static constexpr int kMaxDays = 3650;
    // Recorded orders kept at most, the oldest going first, so that the file
    // that every accepted order rewrites stays small.
    static constexpr std::size_t kMostKept = 10000;

    void SetPath(std::string path);
    const std::string& Path() const { return m_Path; }
    // Out of bounds keeps the default. Set before Load.
    void SetRetention(int days);
    int Retention() const { return m_Days; }
    // The days the HotSync.ini in `userDir` sets, else the default.
    static int RetentionIn(const std::string& userDir);

    // Reads the file; an absent file is an empty record. False, with the
    // reason, when it cannot be read or holds a line it cannot parse: then
    // nobody can tell which orders were placed. Entries past their time are
    // left out, and go from the file at its next write.
    bool Load(std::string* error);
    bool IsReadable() const;

    // The entry of that order, if the service accepted it.
    bool Find(const std::string& listName, const std::string& channelId, DWORD created, Entry* found) const;
    // Adds the entry of an order just accepted, in place of an earlier entry
    // of the same order, and puts the file on the disk before returning.
    bool Add(const Entry& entry, std::string* error);
    // The handheld has recorded these orders: their time starts now.
    bool MarkRecorded(const std::vector<Entry>& orders, std::string* error);
    // Drops the entry of that order.
    bool Remove(const std::string& listName, const std::string& channelId, DWORD created, std::string* error);
    // Starts the time of the entries not yet recorded for which `done` says
    // that the handheld no longer holds the order active.
    template <class Done>
    bool Settle(Done done, std::string* error)
    {
        return Change(
            [&](std::vector<Entry>& entries, std::int64_t now) {
                bool changed = false;
                for (Entry& e : entries)
                    if (e.recorded == 0 && done(e)) {
                        e.recorded = now;
                        changed = true;
                    }
                return changed;
            },
            error);
    }
    std::vector<Entry> Entries() const;

    // One line of the file, and back; the fields are %XX-escaped.
    static std::string FormatLine(const Entry& entry);
    static bool ParseLine(const std::string& line, Entry& entry);
    // "2024-05-01T14:30:45Z" for seconds since 1970, and back (false for
    // anything else, or a date before 1970-01-02).
    static std::string DateText(std::int64_t utc);
    static bool ParseDate(const std::string& text, std::int64_t& utc);

private:
    using Edit = std::function<bool(std::vector<Entry>&, std::int64_t now)>;
    // In turn with the user's other runs: the file as it is now (what they
    // wrote since it was read is kept), changed by `edit`, without what is
    // past its time, written back when something changed.
    bool Change(const Edit& edit, std::string* error);
    // Drops the entries past their time, then the oldest recorded beyond
    // kMostKept; true when some went.
    bool Expire(std::vector<Entry>& entries, std::int64_t now) const;
    bool ReadFile(std::vector<Entry>& entries, std::string* error) const;
    bool WriteFile(const std::vector<Entry>& entries, std::string* error) const;

    mutable std::mutex m_Mutex; // entries come from the worker, lookups from the HotSync thread
    std::string m_Path;
    std::vector<Entry> m_Entries;
    bool m_Readable = true;
    int m_Days = kDefaultDays;
};
