#include "hotsync/DesktopCommands.h"

#include <cstdio>

#include "hotsync/HotSyncHome.h"
#include "hotsync/RunText.h"
#include "hotsync/UserAccounts.h"
#include "hotsync/UserServiceSettings.h"
#include "settings/RegKey.h"

int SayResult(int status, const std::string& text)
{
    std::fprintf(status == 0 ? stdout : stderr, "%s%s\n", status == 0 ? "" : "hotsync: ", text.c_str());
    return status;
}

void ApplyShippedDefaults()
{
    if (const std::string note = CUserServiceSettings::ApplyShippedDefaults(); !note.empty())
        std::fprintf(stderr, "hotsync: %s\n", note.c_str());
}

int CmdUserRemove(const std::string& home, const std::string& name, bool deleteFolder)
{
    const CUserAccounts::Result r = CUserAccounts(CHotSyncHome::Resolve(home)).Remove(name, deleteFolder);
    return SayResult(r.ok ? 0 : 1, r.text);
}

int CmdUserRename(const std::string& home, const std::string& name, const std::string& newName)
{
    const CUserAccounts::Result r = CUserAccounts(CHotSyncHome::Resolve(home)).Rename(name, newName);
    return SayResult(r.ok ? 0 : 1, r.text);
}

