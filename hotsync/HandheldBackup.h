// The copies of a handheld's databases that a HotSync user keeps: before each
// synchronization a new generation in "<user dir>/Backup/<handheld>/<date>",
// the last few kept, put back by `hotsync restore`.
#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "palmkit/HandheldStore.h"

class CHandheldBackup {
public:
    static constexpr const char* kDirName = "Backup";
    static constexpr int kMaxKeep = 99;

    // One complete backup of a handheld.
    struct Generation {
        std::string name;           // folder name, its date in UTC ("20240501T143045Z")
        std::string dir;
        std::time_t made = 0;
        bool earlierLayout = false; // files straight in Backup/, from before backups were kept per handheld
    };
    // What a restore does with one database of a generation.
    enum class Action { Add, Replace, SkipDamaged, RestoreDamaged };
    struct Item {
        std::string file;              // the same file name on the handheld
        CHandheldStore::Entry entry;   // of the backed-up copy
        Action action = Action::Add;
        bool handheldDamaged = false;  // the handheld's copy
    };
    // A line for the HotSync log.
    struct Note {
        bool warning = false;
        std::string text;
    };

    explicit CHandheldBackup(std::string userDir);
    std::string Dir() const;
    // A date as the lists show it, in local time.
    static std::string DateText(std::time_t t);

    // The folder of a handheld's backups inside Dir(): the handheld folder's
    // name and a hash of its full path.
    static std::string HandheldKey(const std::string& handheldDir);
    std::string SetDir(const std::string& key) const { return Dir() + "/" + key; }
    // The handhelds that have backups here, by key.
    std::vector<std::string> Handhelds() const;
    // The handheld folder a set was made from, as recorded; empty if unknown.
    std::string HandheldPath(const std::string& key) const;
    // Newest first; the backups of the earlier layout come last, in every list
    // until a synchronization moves them into its handheld's.
    std::vector<Generation> Generations(const std::string& key) const;
    // The database files of a generation, sorted.
    static std::vector<std::string> Files(const Generation& g);

    // Copies every database file of the handheld into a new generation, which
    // appears only once it is whole; then removes the oldest beyond `keep`. A
    // damaged database is replaced by the sound copy of the previous
    // generation if it has one. The number of databases, or -1.
    int Make(const CHandheldStore& store, int keep, std::vector<Note>* notes, std::string* error) const;

    // What Restore does, database by database.
    static std::vector<Item> Plan(const Generation& g, const CHandheldStore& store);
    // Writes the databases of a generation back onto the handheld, each
    // replacing its namesake, except a damaged copy over a sound one;
    // databases made since stay. The number written, or -1.
    static int Restore(const Generation& g, const CHandheldStore& store, std::string* error);

private:
    void MigrateEarlierLayout(const std::string& key, std::vector<Note>* notes) const;
    std::string m_UserDir;
};
