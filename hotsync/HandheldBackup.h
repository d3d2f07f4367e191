// The copies of a handheld's databases that a HotSync user keeps: before each
// synchronization that finds the handheld changed, and before each restore, a
// new generation in "<user dir>/Backup/<handheld>/<date>", the last few kept,
// put back by `hotsync restore`.
#pragma once
#include <cstddef>
#include <ctime>
#include <optional>
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
        bool beforeRestore = false; // taken by a restore ("20240501T143045Z-before-restore")
        bool changed = false;       // a run or a restore that started from it changed the handheld
    };
    // Why a generation is made: a synchronization adds none when the handheld
    // is as the newest one holds it, and removes the oldest beyond the number
    // kept; a restore always adds one and removes none.
    enum class Purpose { Sync, Restore };
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

    // Puts every database file of the handheld into a new generation, which
    // appears only once it is whole; a file the newest generation already
    // holds byte for byte is linked to it, not copied again. A damaged
    // database is replaced by the sound copy of the previous generation if it
    // has one. For a synchronization, a handheld that is as the newest
    // generation holds it adds none. The number of databases, or -1; `made`
    // is the generation the handheld is now as. The caller holds the
    // handheld's lock.
    int Make(const CHandheldStore& store, std::vector<Note>* notes, std::string* error,
             Purpose purpose = Purpose::Sync, Generation* made = nullptr) const;
    // After a run: removes the oldest generations beyond `keep`, but never the
    // newest nor the one the last run that changed the handheld started from
    // (Protected), which another makes room for. A restore removes none.
    void Prune(const CHandheldStore& store, int keep, std::vector<Note>* notes) const;

    // A run or a restore starts from `g`: marked as changed until EndChange
    // finds the handheld still as `g` holds it, so that a run cut off counts
    // as one that changed it. True when the mark is this call's.
    static bool BeginChange(const Generation& g);
    static void EndChange(const Generation& g, const CHandheldStore& store, bool markedByBegin);
    // Of generations newest first: the newest a run or a restore changed the
    // handheld from, which pruning keeps; none when no run changed it.
    static std::optional<std::size_t> Protected(const std::vector<Generation>& gens);

    // What Restore does, database by database.
    static std::vector<Item> Plan(const Generation& g, const CHandheldStore& store);
    // Backs the handheld up as it is into a generation taken before a restore
    // (`saved`), then writes the databases of `g` back onto it, each replacing
    // its namesake, except a damaged copy over a sound one; databases made
    // since stay. The number written, or -1 with nothing written when the
    // backup failed. The caller holds the handheld's lock.
    int Restore(const Generation& g, const CHandheldStore& store, Generation* saved, std::vector<Note>* notes,
                std::string* error) const;

private:
    void MigrateEarlierLayout(const std::string& key, std::vector<Note>* notes) const;
    std::string m_UserDir;
};
