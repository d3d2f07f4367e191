// The copy of a handheld's databases that a HotSync user keeps in
// "<user dir>/Backup/": made before each synchronization, put back by
// `hotsync restore`.
#pragma once
#include <string>

class CHandheldStore;

class CHandheldBackup {
public:
    static constexpr const char* kDirName = "Backup";

    explicit CHandheldBackup(std::string userDir);
    std::string Dir() const;

    // Copies every database file of the handheld into a new folder, then
    // swaps it with the previous backup: a failed or killed run leaves the
    // previous one whole. The number of databases copied, or -1.
    int Make(const CHandheldStore& store, std::string* error) const;
    // Writes the backed-up databases back onto the handheld, each replacing
    // its namesake; databases made since stay. The number restored, or -1.
    int Restore(const CHandheldStore& store, std::string* error) const;

private:
    std::string m_UserDir;
};
