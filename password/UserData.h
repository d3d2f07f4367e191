// The HotSync users of this desktop, read from the HotSync Manager's own
// users.dat in its data directory (the registry value Path of its key).
#pragma once
#include <string>
#include <vector>

class TUserData {
public:
    struct User {
        std::string name;
        std::string dir;
    };
    static constexpr std::size_t kFirstRecord = 13;

    // Reads the file the HotSync Manager's keys point at; no keys, no
    // directory or no file give no users.
    TUserData();
    // Reads a given users.dat (tests).
    explicit TUserData(const std::string& usersFile);

    const std::vector<User>& Users() const { return m_Users; }
    std::vector<std::string> Names() const;

    // The HotSync data directory, empty when the keys are missing.
    static std::string DataDirectory();
    // The users of a users.dat image: a damaged file gives the users read
    // before the damage; an entry whose directory is not a plain folder name
    // is skipped, as hotsync skips it; names and directories are cut to 31
    // characters first.
    static std::vector<User> Parse(const std::string& bytes);

private:
    void Load(const std::string& usersFile);
    std::vector<User> m_Users;
};
