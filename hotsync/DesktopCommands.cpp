#include "hotsync/DesktopCommands.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "hotsync/HotSyncGuiInstance.h"
#include "hotsync/HotSyncHome.h"
#include "hotsync/RunNotification.h"
#include "hotsync/RunText.h"
#include "hotsync/SyncSchedule.h"
#include "hotsync/UserAccounts.h"
#include "hotsync/UserServiceSettings.h"
#include "seam/ProgramPath.h"
#include "settings/RegKey.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// A failure's notification waits this long for a click: a scheduled run's
// service ends once it is over.
constexpr auto kClickWait = std::chrono::minutes(10);

int Say(int status, const std::string& text)
{
    std::fprintf(status == 0 ? stdout : stderr, "%s%s\n", status == 0 ? "" : "hotsync: ", text.c_str());
    return status;
}

std::string Absolute(const std::string& path)
{
    std::error_code ec;
    const fs::path p = fs::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

std::string Trimmed(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string Beside(const std::string& program)
{
    const std::string self = platform::ProgramPath();
    return self.empty() ? program : (fs::path(self).parent_path() / program).string();
}

} // namespace

void LoadRunLanguage()
{
    std::string catalog;
    if (RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, CUserServiceSettings::kProductKey, KEY_QUERY_VALUE)) {
        char buf[256] = {};
        DWORD size = sizeof buf - 1;
        DWORD type = REG_NONE;
        if (RegQueryValueExA(key.get(), "MsgDll", &type, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS &&
            type == REG_SZ)
            catalog = buf;
    }
    KESA_LoadMessages(catalog.empty() ? "Lexmo.dll" : catalog.c_str());
}

void ApplyShippedDefaults()
{
    if (const std::string note = CUserServiceSettings::ApplyShippedDefaults(); !note.empty())
        std::fprintf(stderr, "hotsync: %s\n", note.c_str());
}

int CmdUserRemove(const std::string& home, const std::string& name, bool deleteFolder)
{
    LoadRunLanguage();
    const CUserAccounts::Result r = CUserAccounts(CHotSyncHome::Resolve(home)).Remove(name, deleteFolder);
    return Say(r.ok ? 0 : kExitFailed, r.text);
}

int CmdUserRename(const std::string& home, const std::string& name, const std::string& newName)
{
    LoadRunLanguage();
    const CUserAccounts::Result r = CUserAccounts(CHotSyncHome::Resolve(home)).Rename(name, newName);
    return Say(r.ok ? 0 : kExitFailed, r.text);
}

int CmdSchedule(const std::string& homeOption, const ScheduleArgs& a)
{
    LoadRunLanguage();
    const CHotSyncHome home(Absolute(CHotSyncHome::Resolve(homeOption)));
    std::string error;
    const std::optional<CUsersFile::User> user = home.FindUser(a.user, &error);
    if (a.off) {
        // A user removed by hand from users.dat may still have its timer.
        const CSyncSchedule::Result r = CSyncSchedule::Remove(user ? user->name : a.user);
        return Say(r.status, r.text);
    }
    if (!user)
        return Say(kExitUsage, error.empty() ? "no HotSync user named \"" + a.user + "\" in " + home.Dir() +
                                                   " (add one with: hotsync user add NAME)"
                                             : error);
    if (a.every.empty() && a.daily.empty()) {
        const auto current = CSyncSchedule::Read(user->name);
        if (!current) return Say(0, RunText(4324, "%s has no scheduled synchronization.", user->name));
        return Say(0, RunText(4337, "%s's handheld %s is synchronized %s (timer %s).", user->name, current->handheld,
                              CSyncSchedule::WhenText(current->when), CSyncSchedule::UnitName(user->name) + ".timer"));
    }
    const auto when = a.every.empty() ? CSyncSchedule::ParseDaily(a.daily, &error)
                                      : CSyncSchedule::ParseEvery(a.every, &error);
    if (!when) return Say(kExitUsage, error);
    if (a.handheld.empty()) return Say(kExitUsage, "name the handheld to synchronize with --handheld DIR");
    const std::string handheld = Trimmed(Absolute(a.handheld));
    if (!CSyncRun::CheckHandheldDir(handheld, error)) return Say(kExitUsage, error);
    CSyncSchedule::Entry entry{user->name, handheld, home.Dir(), *when, {}};
    const CSyncSchedule::Result r = CSyncSchedule::Install(entry, Beside("hotsync"));
    return Say(r.status, r.text);
}

void NotifyUnwatchedRun(const CSyncRun::Outcome& outcome, const std::string& user, const std::string& handheld)
{
    // The notification's signals need an event loop.
    int argc = 1;
    char name[] = "hotsync";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const std::string who = outcome.userName.empty() ? user : outcome.userName;
    const CRunNotification::Text text = CRunNotification::For(outcome, who);
    CRunNotification notification;
    std::string error;
    if (!notification.Send(text, &error)) {
        std::fprintf(stderr, "hotsync: %s\n", RunText(4336, "no desktop notification: %s", error).c_str());
        return;
    }
    if (!text.failed || !notification.WaitForClick(kClickWait)) return;
    const std::string dir = Trimmed(Absolute(handheld));
    if (CHotSyncGuiInstance::ShowInRunning(who, dir)) return;
    if (!CHotSyncGuiInstance::StartWindow(Beside("hotsync-gui"), who, dir, &error))
        std::fprintf(stderr, "hotsync: %s\n", error.c_str());
}
