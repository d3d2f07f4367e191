// hotsync's schedule and the notification of an unwatched run: a systemd
// user timer, and the freedesktop notification service on the session bus.
#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "hotsync/DesktopCommands.h"
#include "hotsync/HotSyncGuiInstance.h"
#include "hotsync/HotSyncHome.h"
#include "hotsync/RunNotification.h"
#include "hotsync/RunText.h"
#include "hotsync/SyncSchedule.h"
#include "seam/ProgramPath.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitUsage = 2;
// A failure's notification waits this long for a click: a scheduled run's
// service ends once it is over.
constexpr auto kClickWait = std::chrono::minutes(10);

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

int CmdSchedule(const std::string& homeOption, const ScheduleArgs& a)
{
    const CHotSyncHome home(Absolute(CHotSyncHome::Resolve(homeOption)));
    std::string error;
    const std::optional<CUsersFile::User> user = home.FindUser(a.user, &error);
    if (a.off) {
        // A user removed by hand from users.dat may still have its timer.
        const CSyncSchedule::Result r = CSyncSchedule::Remove(user ? user->name : a.user);
        return SayResult(r.status, r.text);
    }
    if (!user)
        return SayResult(kExitUsage, error.empty() ? "no HotSync user named \"" + a.user + "\" in " + home.Dir() +
                                                   " (add one with: hotsync user add NAME)"
                                             : error);
    if (a.every.empty() && a.daily.empty()) {
        const auto current = CSyncSchedule::Read(user->name);
        if (!current) return SayResult(0, RunText(4324, "%s has no scheduled synchronization.", user->name));
        return SayResult(0, RunText(4337, "%s's handheld %s is synchronized %s (timer %s).", user->name, current->handheld,
                              CSyncSchedule::WhenText(current->when), CSyncSchedule::UnitName(user->name) + ".timer"));
    }
    const auto when = a.every.empty() ? CSyncSchedule::ParseDaily(a.daily, &error)
                                      : CSyncSchedule::ParseEvery(a.every, &error);
    if (!when) return SayResult(kExitUsage, error);
    if (a.handheld.empty()) return SayResult(kExitUsage, "name the handheld to synchronize with --handheld DIR");
    const std::string handheld = Trimmed(Absolute(a.handheld));
    if (!CSyncRun::CheckHandheldDir(handheld, error)) return SayResult(kExitUsage, error);
    CSyncSchedule::Entry entry{user->name, handheld, home.Dir(), *when, {}};
    const CSyncSchedule::Result r = CSyncSchedule::Install(entry, Beside("hotsync"));
    return SayResult(r.status, r.text);
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
