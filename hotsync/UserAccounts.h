// Adding, renaming and removing a HotSync user with what follows the user:
// its folder, its service settings and its scheduled synchronization. The
// command line and the HotSync window do it the same way.
#pragma once
#include <string>

#include "hotsync/UsersFile.h"

class CUserAccounts {
public:
    struct Result {
        bool ok = false;
        std::string text; // what to tell the person, from the catalogs
        CUsersFile::User user;
    };
    explicit CUserAccounts(std::string home);

    Result Add(const std::string& name) const;
    // Its service settings and its schedule go with the new name.
    Result Rename(const std::string& name, const std::string& newName) const;
    // The schedule goes; the folder and the service settings (login and
    // password) go only with `deleteFolder`, so that a user added again under
    // the same name and folder finds them.
    Result Remove(const std::string& name, bool deleteFolder) const;

private:
    std::string m_Home;
};
