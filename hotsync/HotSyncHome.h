// A HotSync home: users.dat, one directory per user, each user's HotSync log
// and sync settings, and the HotSync Manager's registry values. The home and
// the users' directories are private to the account that uses them.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "hotsync/UsersFile.h"
#include "palmkit/HandheldLock.h"

class CHotSyncHome {
public:
    // --home, else $HOTSYNC_HOME, else the user's data folder's hotsync
    // (${XDG_DATA_HOME:-~/.local/share}/hotsync; %APPDATA%\Norvelia\HotSync
    // on Windows), written with the platform's separator.
    static std::string Resolve(const std::string& option);
    // The default home as --help names it.
    static const char* DefaultText();

    explicit CHotSyncHome(std::string dir);
    const std::string& Dir() const { return m_Dir; }
    std::string UsersPath() const;
    std::string UserDir(const CUsersFile::User& user) const;

    // `skipped`: why each unusable entry of users.dat was left out.
    using Skipped = std::vector<std::string>;
    // Lines for the person: folders made private, and those that could not be.
    using Notes = std::vector<std::string>;
    bool LoadUsers(std::vector<CUsersFile::User>& users, std::string* error, Skipped* skipped = nullptr) const;
    // By name, without regard to case, accented letters included (not to accents).
    std::optional<CUsersFile::User> FindUser(const std::string& name, std::string* error,
                                             Skipped* skipped = nullptr) const;
    // Adds a user and creates its directory; `dir` empty derives one from the name.
    // Unusable entries are not written back. Holds the home's lock, and so
    // removes what an interrupted write of users.dat left.
    bool AddUser(const std::string& name, const std::string& dir, CUsersFile::User& added, std::string* error,
                 Skipped* skipped = nullptr, Notes* notes = nullptr) const;

    // Takes a user out of users.dat, by name without regard to case. With
    // `deleteFolder` its directory goes too, unless another entry names it
    // (`sharedWith` then names that user); `folderError` says why it could
    // not be deleted. Under the home's lock.
    bool RemoveUser(const std::string& name, bool deleteFolder, CUsersFile::User& removed, std::string* error,
                    std::string* sharedWith = nullptr, std::string* folderError = nullptr) const;
    // Gives a user another name; its directory stays as it is.
    bool RenameUser(const std::string& name, const std::string& newName, CUsersFile::User& renamed,
                    std::string* error) const;

    // The home, and the user's directory when given, exist and are closed to
    // other accounts (seam/PrivateFiles.h): everything written in them
    // is then private. False when one cannot be created.
    bool MakePrivate(const CUsersFile::User* user, Notes& notes, std::string* error) const;

    // HKCU\Software\U.S. Robotics\Pilot Desktop\Core: HotSyncPath and Path.
    bool WriteRegistry(std::string* error) const;

    // The sync type in force for a user's next run, and the default one;
    // how many backups to keep of each handheld ("backups=" in HotSync.ini).
    struct SyncSettings {
        int permanent = 0;
        std::optional<int> temporary;
        int backups = kDefaultBackups;
    };
    static constexpr int kDefaultBackups = 3;
    static constexpr int kMaxBackups = 99;
    SyncSettings LoadSyncSettings(const CUsersFile::User& user) const;
    // Under the home's lock, like every write of the home's files.
    bool SaveSyncSettings(const CUsersFile::User& user, const SyncSettings& settings) const;

private:
    // Creates `dir` private, or narrows it with a note.
    static bool MakeDir(const std::string& dir, Notes& notes, std::string* error);
    // Waits a little for another writer of the home; false when it stays busy.
    bool LockHome(CHandheldLock& lock, std::string* error) const;

    std::string m_Dir;
};
