#include "hotsync/UserAccounts.h"

#include "hotsync/HotSyncHome.h"
#include "hotsync/RunText.h"
#include "hotsync/UserServiceSettings.h"
#ifndef _WIN32
#include "hotsync/SyncSchedule.h"
#endif

CUserAccounts::CUserAccounts(std::string home) : m_Home(std::move(home)) {}

CUserAccounts::Result CUserAccounts::Add(const std::string& name) const
{
    Result r;
    CHotSyncHome home(m_Home);
    std::string error;
    CHotSyncHome::Notes notes;
    if (!home.MakePrivate(nullptr, notes, &error) || !home.AddUser(name, "", r.user, &error, nullptr, &notes)) {
        r.text = RunText(4300, "Cannot add the HotSync user \"%s\": %s", name, error);
        return r;
    }
    // The settings program finds users.dat through these.
    home.WriteRegistry(nullptr);
    r.ok = true;
    r.text = RunText(4301, "Added the HotSync user \"%s\" (folder %s).", r.user.name, home.UserDir(r.user));
    return r;
}

CUserAccounts::Result CUserAccounts::Rename(const std::string& name, const std::string& newName) const
{
    Result r;
    CHotSyncHome home(m_Home);
    std::string error;
    CUsersFile::User renamed;
    const std::optional<CUsersFile::User> before = home.FindUser(name, &error);
    if (!before || !home.RenameUser(name, newName, renamed, &error)) {
        r.text = RunText(4306, "Cannot rename the HotSync user \"%s\": %s", name,
                         error.empty() ? "no such user" : error);
        return r;
    }
    r.user = renamed;
    r.ok = true;
    std::string notes;
    if (!CUserServiceSettings::Rename(before->name, renamed.name, &error)) {
        r.ok = false;
        notes += "\n" + error;
    }
#ifndef _WIN32
    if (const auto schedule = CSyncSchedule::Read(before->name)) {
        CSyncSchedule::Entry moved = *schedule;
        moved.user = renamed.name;
        CSyncSchedule::Remove(before->name);
        const CSyncSchedule::Result installed = CSyncSchedule::Install(moved, moved.program);
        if (installed.status != 0) r.ok = false;
        notes += "\n" + installed.text;
    }
#endif
    r.text = RunText(4307, "Renamed the HotSync user \"%s\" to \"%s\".", before->name, renamed.name) + notes;
    return r;
}

CUserAccounts::Result CUserAccounts::Remove(const std::string& name, bool deleteFolder) const
{
    Result r;
    CHotSyncHome home(m_Home);
    std::string error, sharedWith, folderError;
    if (!home.RemoveUser(name, deleteFolder, r.user, &error, &sharedWith, &folderError)) {
        r.text = RunText(4308, "Cannot remove the HotSync user \"%s\": %s", name, error);
        return r;
    }
    r.ok = true;
    std::string notes;
#ifndef _WIN32
    if (CSyncSchedule::Read(r.user.name)) notes += "\n" + CSyncSchedule::Remove(r.user.name).text;
#endif
    const std::string folder = home.UserDir(r.user);
    if (!deleteFolder) {
        r.text = RunText(4309, "Removed the HotSync user \"%s\". Its folder %s is kept, with its log, backups and "
                               "orders journal, and so are its login settings.",
                         r.user.name, folder) + notes;
        return r;
    }
    if (!sharedWith.empty()) {
        r.text = RunText(4327, "Removed the HotSync user \"%s\". Its folder %s is kept: it is the folder of \"%s\" "
                               "too.", r.user.name, folder, sharedWith) + notes;
        return r;
    }
    if (!CUserServiceSettings::Remove(r.user.name, &error)) {
        r.ok = false;
        notes += "\n" + error;
    }
    if (!folderError.empty()) {
        r.ok = false;
        r.text = RunText(4329, "Removed the HotSync user \"%s\", but its folder %s could not be deleted: %s",
                         r.user.name, folder, folderError) + notes;
        return r;
    }
    r.text = RunText(4328, "Removed the HotSync user \"%s\", its folder %s and its login settings.", r.user.name,
                     folder) + notes;
    return r;
}
