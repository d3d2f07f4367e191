// A HotSync home: users.dat, one directory per user, each user's HotSync log
// and sync settings, and the HotSync Manager's registry values.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "hotsync/UsersFile.h"

class CHotSyncHome {
public:
    // --home, else $HOTSYNC_HOME, else ${XDG_DATA_HOME:-~/.local/share}/hotsync.
    static std::string Resolve(const std::string& option);

    explicit CHotSyncHome(std::string dir);
    const std::string& Dir() const { return m_Dir; }
    std::string UsersPath() const { return m_Dir + "/users.dat"; }
    std::string UserDir(const CUsersFile::User& user) const { return m_Dir + "/" + user.dir; }

    bool LoadUsers(std::vector<CUsersFile::User>& users, std::string* error) const;
    // By name, without regard to case.
    std::optional<CUsersFile::User> FindUser(const std::string& name, std::string* error) const;
    // Adds a user and creates its directory; `dir` empty derives one from the name.
    bool AddUser(const std::string& name, const std::string& dir, CUsersFile::User& added, std::string* error) const;

    // HKCU\Software\U.S. Robotics\Pilot Desktop\Core: HotSyncPath and Path.
    bool WriteRegistry(std::string* error) const;

    // The sync type in force for a user's next run, and the default one.
    struct SyncSettings {
        int permanent = 0;
        std::optional<int> temporary;
    };
    SyncSettings LoadSyncSettings(const CUsersFile::User& user) const;
    bool SaveSyncSettings(const CUsersFile::User& user, const SyncSettings& settings) const;

private:
    std::string m_Dir;
};
