// hotsync: the HotSync Manager. HotSync users, and one synchronization of a
// handheld directory through a conduit library.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>

#include <nlohmann/json.hpp>

#include "hotsync/ConduitLibrary.h"
#include "hotsync/HandheldBackup.h"
#include "hotsync/HotSyncHome.h"
#include "hotsync/HotSyncLogFile.h"
#include "hotsync/RestoreCommand.h"
#include "hotsync/SyncRun.h"
#include "hotsync/TerminalUiHost.h"
#include "hotsync/DesktopCommands.h"
#include "lexmo/Lexmo.h"
#include "palmkit/Condapi.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "palmkit/HsLog.h"
#include "platform/CommandLine.h"
#include "seam/UserFolders.h"
#include "seam/Display.h"
#ifdef _WIN32
#include "hotsync/win32/HotSyncWindow.h"
#endif
#include "seam/StopSignals.h"
#include "seam/TextWidth.h"
#include "hotsync/RunText.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitConduitFailed = 1;
constexpr int kExitUsage = platform::kExitUsage;

// The Qt host, beside the conduit, loaded only when a display is there.

void CopyText(char* dst, std::size_t size, const std::string& src)
{
    std::memset(dst, 0, size);
    std::memcpy(dst, src.data(), std::min(src.size(), size - 1));
}

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "hotsync: %s\n", message.c_str());
    return code;
}

struct Options {
    std::string home;
};

void WarnSkipped(const CHotSyncHome& home, const CHotSyncHome::Skipped& skipped)
{
    for (const std::string& why : skipped)
        std::fprintf(stderr, "hotsync: warning: %s: skipped %s\n", home.UsersPath().c_str(), why.c_str());
}

// Lines about the folders made private, once each.
void PrintNotes(const CHotSyncHome::Notes& notes)
{
    for (const std::string& note : notes) std::fprintf(stderr, "hotsync: %s\n", note.c_str());
}

int CmdUserAdd(const Options& o, const std::string& name, const std::string& dir)
{
    CHotSyncHome home(CHotSyncHome::Resolve(o.home));
    std::string error;
    CHotSyncHome::Notes notes;
    const bool made = home.MakePrivate(nullptr, notes, &error);
    PrintNotes(notes);
    if (!made) return Fail(kExitUsage, error);
    CUsersFile::User user;
    CHotSyncHome::Skipped skipped;
    notes.clear();
    const bool added = home.AddUser(name, dir, user, &error, &skipped, &notes);
    WarnSkipped(home, skipped);
    PrintNotes(notes);
    if (!added) return Fail(kExitUsage, "cannot add the user: " + error);
    if (!home.WriteRegistry(&error)) std::fprintf(stderr, "hotsync: warning: %s\n", error.c_str());
    ApplyShippedDefaults();
    std::printf("Added HotSync user \"%s\" (directory %s)\n", user.name.c_str(), home.UserDir(user).c_str());
    return 0;
}

int CmdUserList(const Options& o, bool json)
{
    CHotSyncHome home(CHotSyncHome::Resolve(o.home));
    std::vector<CUsersFile::User> users;
    std::string error;
    CHotSyncHome::Skipped skipped;
    if (!home.LoadUsers(users, &error, &skipped)) return Fail(kExitUsage, error);
    WarnSkipped(home, skipped);
    if (json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& u : users)
            out.push_back({{"name", u.name}, {"id", u.id}, {"directory", home.UserDir(u)}});
        std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return 0;
    }
    if (users.empty()) {
        std::printf("No HotSync users in %s\n", home.Dir().c_str());
        return 0;
    }
    // Names are UTF-8: columns are counted in what the terminal shows.
    for (const auto& u : users)
        std::printf("%s  %s\n", platform::PadToWidth(u.name, CUsersFile::kMaxText).c_str(), home.UserDir(u).c_str());
    return 0;
}

struct SyncArgs {
    std::string user, handheld, conduit, syncType;
    bool yes = false, no = false, quiet = false, noBackup = false, notify = false;
};

// The terminal's side of a run: its lines on stderr, Ctrl-C, the log printed.
class TerminalFront final : public CSyncRun::IFront {
public:
    TerminalFront(CTerminalUiHost& host, bool quiet) : m_Host(host), m_Quiet(quiet) {}
    platform::IUiHost& Host() override { return m_Host; }
    void Note(const std::string& line) override { std::fprintf(stderr, "hotsync: %s\n", line.c_str()); }
    void Progress(const std::string& text) override { m_Host.Note(text); }
    void Yield() override { m_Host.Tick(); }
    void Started() override { CTerminalUiHost::InstallInterruptHandler(); }
    void Stopped() override { CTerminalUiHost::RestoreInterruptHandler(); }
    bool Interrupted() override { return CTerminalUiHost::Interrupted(); }
    std::string StopText() const override
    {
        const int signal = CTerminalUiHost::TerminationSignal();
        if (signal == 0) return KESA_FormatMessage(4150);
        return KESA_FormatMessage(signal == platform::HangUpSignal() ? 4152 : 4151);
    }
    int TerminationSignal() const override { return CTerminalUiHost::TerminationSignal(); }
    void Log(const std::vector<palmkit::LogEntry>& entries, const std::string& userName) override
    {
        if (!m_Quiet) std::printf("%s", CHotSyncLogFile::FormatForPerson(entries, userName).c_str());
    }

private:
    CTerminalUiHost& m_Host;
    bool m_Quiet;
};

int CmdSync(const Options& o, const SyncArgs& a)
{
    CTerminalUiHost host(CTerminalUiHost::DetectMode(a.quiet), ::isatty(STDIN_FILENO) != 0);
    if (a.yes) host.SetAnswer(true);
    if (a.no) host.SetAnswer(false);
    TerminalFront front(host, a.quiet);
    CSyncRun::Setup setup;
    setup.home = o.home;
    setup.user = a.user;
    setup.handheld = a.handheld;
    setup.conduit = a.conduit;
    setup.syncType = a.syncType;
    setup.noBackup = a.noBackup;
    const CSyncRun::Outcome outcome = CSyncRun(setup, front).Run();
    if (a.notify) NotifyUnwatchedRun(outcome, a.user, a.handheld);
    if (!outcome.conduitRan) {
        if (outcome.code != CSyncRun::kExitDone) return Fail(outcome.code, outcome.message);
        return 0;
    }
    // Without the log on the terminal, the verdict of a run that did not go
    // through still reaches the person, on standard error.
    if (a.quiet && outcome.code != CSyncRun::kExitDone)
        std::fprintf(stderr, "hotsync: %s\n", outcome.verdict.Headline().c_str());
    return outcome.code;
}

struct ConfigureArgs {
    std::string user, conduit;
    int action = -1;
    int backups = 0; // 0: not given
    bool makeDefault = false, yes = false, no = false;
};

int CmdConfigure(const Options& o, const ConfigureArgs& a)
{
    CHotSyncHome home(CHotSyncHome::Resolve(o.home));
    std::string error;
    CHotSyncHome::Skipped skipped;
    std::optional<CUsersFile::User> user = home.FindUser(a.user, &error, &skipped);
    WarnSkipped(home, skipped);
    if (!user) return Fail(kExitUsage, error.empty() ? "no HotSync user named \"" + a.user + "\"" : error);
    if (a.backups > 0) {
        CHotSyncHome::SyncSettings settings = home.LoadSyncSettings(*user);
        settings.backups = a.backups;
        if (!home.SaveSyncSettings(*user, settings))
            return Fail(kExitUsage, "cannot save the settings in " + platform::JoinPath(home.UserDir(*user), "HotSync.ini"));
        std::printf("%s: keeping %s of each handheld\n", user->name.c_str(), CRestoreCommand::KeptText(a.backups).c_str());
        // Only the backups asked for: no conduit dialog.
        if (a.action < 0 && !a.makeDefault) return 0;
    }
    const std::string conduitPath = CSyncRun::ConduitPath(a.conduit);
    CConduitLibrary lib;
    if (!lib.Load(conduitPath, &error)) return Fail(kExitUsage, CSyncRun::ConduitLoadFailure(conduitPath, error));
    auto cfg = lib.Get<CfgConduitFn>(kCfgConduitName);
    if (!cfg) return Fail(kExitUsage, "the conduit " + conduitPath + " lacks the entry point " + kCfgConduitName);

    CTerminalUiHost host(CTerminalUiHost::DetectMode(false), ::isatty(STDIN_FILENO) != 0);
    if (a.action >= 0) host.SetSyncAction(a.action, a.makeDefault);
    if (a.yes) host.SetAnswer(true);
    if (a.no) host.SetAnswer(false);
    platform::SetUiHost(&host);
    // With a display and nothing chosen on the command line, the dialog; the
    // terminal's question when the window host cannot be loaded.
    CConduitLibrary windowHost;
    void* windowSession = nullptr;
    if (a.action < 0 && platform::DisplayAvailable() && windowHost.Load(CConduitLibrary::UiHostPath(), nullptr)) {
        if (auto open = windowHost.Get<void* (*)()>("NorvUiHostOpen")) windowSession = open();
        // Qt stays loaded until the process ends: it does not support being unloaded.
        windowHost.Keep();
    }

    CHotSyncHome::SyncSettings settings = home.LoadSyncSettings(*user);
    CfgConduitInfo block{};
    block.m_dwVersion = kCfgConduitVersion;
    block.m_dwSize = sizeof block;
    block.m_dwUserId = user->id;
    CopyText(block.m_szUser, sizeof block.m_szUser, user->name);
    CopyText(block.m_szUserPath, sizeof block.m_szUserPath, home.UserDir(*user) + platform::kPathSeparator);
    block.m_syncPermanent = DWORD(settings.permanent);
    block.m_syncTemporary = DWORD(settings.temporary.value_or(settings.permanent));
    block.m_syncNew = block.m_syncTemporary;
    block.m_syncPref = eNoPreference;
    DWORD size = sizeof block;
    long rc = -1;
    try {
        rc = cfg(eCfgStandard, &block, &size);
    } catch (...) {
    }
    if (windowSession) {
        if (auto close = windowHost.Get<void (*)(void*)>("NorvUiHostClose")) close(windowSession);
    }
    platform::SetUiHost(nullptr);
    if (rc == -1) return Fail(kExitConduitFailed, "configuration cancelled");
    if (rc != 0) return Fail(kExitConduitFailed, "the conduit's configuration failed with " + std::to_string(rc));
    const int newType = block.m_syncNew <= 7 ? int(block.m_syncNew) : 0;
    if (block.m_syncPref == ePermanentPreference) {
        settings.permanent = newType;
        settings.temporary.reset();
    } else {
        settings.temporary = newType;
    }
    CHotSyncHome::Notes notes;
    const bool made = home.MakePrivate(&*user, notes, &error);
    PrintNotes(notes);
    if (!made) return Fail(kExitUsage, error);
    if (!home.SaveSyncSettings(*user, settings)) return Fail(kExitUsage, "cannot save the sync settings");
    std::printf("%s: %s (%s)\n", user->name.c_str(), CSyncRun::SyncTypeName(newType),
                block.m_syncPref == ePermanentPreference ? "default" : "next HotSync only");
    return 0;
}

int CmdInfo(const Options& o, const std::string& conduit)
{
    CHotSyncHome home(CHotSyncHome::Resolve(o.home));
    std::printf("HotSync home: %s\n", home.Dir().c_str());
    std::vector<CUsersFile::User> users;
    std::string error;
    CHotSyncHome::Skipped skipped;
    home.LoadUsers(users, &error, &skipped);
    WarnSkipped(home, skipped);
    std::printf("Users: %zu\n", users.size());
    const std::string path = CSyncRun::ConduitPath(conduit);
    CConduitLibrary lib;
    if (!lib.Load(path, &error)) return Fail(kExitUsage, CSyncRun::ConduitLoadFailure(path, error));
    std::printf("Conduit: %s\n", path.c_str());
    std::printf("  name: %s\n", CSyncRun::ConduitDisplayName(lib, path).c_str());
    if (auto v = lib.Get<GetConduitVersionFn>(kGetConduitVersionName)) {
        const DWORD version = v();
        std::printf("  version: %u.%02u\n", unsigned(version >> 8), unsigned(version & 0xFF));
    }
    if (auto info = lib.Get<GetConduitInfoFn>(kGetConduitInfoName)) {
        DWORD value = 0, len = sizeof value;
        if (info(eMfcVersion, nullptr, &value, &len) == 0) std::printf("  framework version: 0x%04X\n", unsigned(value));
    }
    for (const char* entry : {kOpenConduitName, kGetConduitNameName, kGetConduitVersionName, kGetConduitInfoName,
                              kConfigureConduitName, kCfgConduitName, kSubscriptionSupportedName}) {
        std::printf("  %-22s %s\n", entry == kSubscriptionSupportedName ? "SubscriptionSupported" : entry,
                    lib.Symbol(entry) ? "exported" : "missing");
    }
    if (auto sub = lib.Get<SubscriptionSupportedFn>(kSubscriptionSupportedName))
        std::printf("  subscriptions: %s\n", sub() ? "supported" : "not supported");
    return 0;
}

} // namespace

#ifdef _WIN32
int CmdGui(const Options& o, const std::string& user, const std::string& handheld)
{
    CHotSyncWindow::LoadLanguage();
    return CHotSyncWindow(o.home).Run(user, handheld);
}
#endif

int main(int argc, char** argv)
{
    CLI::App app{"hotsync - the HotSync Manager: HotSync users and synchronizations of a handheld"};
#ifdef _WIN32
    // Without a command, the HotSync window.
    app.require_subcommand(0, 1);
#else
    app.require_subcommand(1);
#endif
    platform::AddVersionFlag(app, "hotsync", kConduitVersionLine);
    Options o;
    app.add_option("--home", o.home,
                   std::string("HotSync home (default $HOTSYNC_HOME, else ") + CHotSyncHome::DefaultText() + ")");

    auto* user = app.add_subcommand("user", "Add, list, rename or remove HotSync users");
    user->require_subcommand(1);
    std::string addName, addDir;
    auto* add = user->add_subcommand("add", "Add a HotSync user and its directory");
    add->add_option("NAME", addName, "User name (at most 31 bytes)")->required();
    add->add_option("--dir", addDir, "Directory name inside the home (default: from the name)");
    auto* list = user->add_subcommand("list", "List the HotSync users");
    bool listJson = false;
    list->add_flag("--json", listJson, "As a JSON array of {name, id, directory}");
    std::string removeName, renameName, newName;
    bool deleteFolder = false;
    auto* remove = user->add_subcommand("remove", "Remove a HotSync user, and its scheduled synchronization");
    remove->add_option("NAME", removeName, "User name")->required();
    remove->add_flag("--delete-folder", deleteFolder,
                     "Delete the user's folder too (log, backups, orders journal) and its login settings; "
                     "without it they are kept");
    auto* rename = user->add_subcommand("rename", "Give a HotSync user another name (its folder stays)");
    rename->add_option("NAME", renameName, "User name")->required();
    rename->add_option("NEW", newName, "New name (at most 31 bytes)")->required();

    SyncArgs s;
    auto* sync = app.add_subcommand("sync", "Synchronize a handheld through a conduit");
    sync->footer("A run ends with one verdict, the last line of its log (also in the user's HotSync.log and\n"
                 "in hotsync-gui), after the fate of every order it met: placed, placed on an earlier run,\n"
                 "still waiting (why; the next run sends it) or refused by the service (its message).\n"
                 "Exit status:\n"
                 "  0    synchronized: nothing failed\n"
                 "  4    synchronized with problems: the exchange took place, but something failed (a list\n"
                 "       not sent, a catalog or game not obtained, a database the service sent refused or\n"
                 "       not written, an install refused, the handheld or the log not written); the verdict\n"
                 "       names each\n"
                 "  1    not synchronized: the service could not be reached, refused the account or answered\n"
                 "       what cannot be read, so nothing was exchanged; or the conduit failed\n"
                 "  2    a usage or setup error\n"
                 "  3    the handheld is busy with another run\n"
                 "  130  abandoned with Ctrl-C\n"
                 "  143, 129  stopped by SIGTERM or SIGHUP\n"
                 "What was closed is written whatever the outcome; nothing is half-written.");
    sync->add_option("--user", s.user, "HotSync user")->required();
    sync->add_option("--handheld", s.handheld, "Handheld directory")->required();
    sync->add_option("--conduit", s.conduit,
                     "Conduit library: a path, or a file name beside the default (libNorv30.so)");
    sync->add_option("--sync-type", s.syncType,
                     "0 fast, 1 slow, 2 hh-to-pc, 3 pc-to-hh, 4 install, 5 backup, 6 nothing, 7 profile-install");
    auto* yes = sync->add_flag("--yes", s.yes, "Answer Yes to every question");
    sync->add_flag("--no", s.no, "Answer No to every question")->excludes(yes);
    sync->add_flag("--quiet", s.quiet, "Show no progress and do not print the log");
    sync->add_flag("--no-backup", s.noBackup,
                   "Do not back the handheld up first (each run otherwise adds a backup to the user's Backup folder, "
                   "unless the handheld is as the newest one holds it)");
    sync->add_flag("--notify", s.notify,
                   "At the end, show the verdict as a desktop notification, for a run nobody watches (hotsync "
                   "schedule uses it); clicking a failure's notification opens hotsync-gui on the log");

    ScheduleArgs sch;
    auto* schedule = app.add_subcommand("schedule", "Synchronize a user's handheld on a schedule, through a systemd "
                                                    "user timer, without questions; or show or remove the schedule");
    schedule->footer("The timer and its service go to ${XDG_CONFIG_HOME:-~/.config}/systemd/user/norvelia-hotsync-"
                     "<user>.*;\nthe timer is enabled and, when a systemd user manager answers, started. Each run is "
                     "hotsync sync\n--no --notify: every question answered No, the verdict in the journal (journalctl "
                     "--user -u UNIT)\nand in a desktop notification. Without --every, --daily or --off: shows the "
                     "schedule.\nExit status: 0 done, 1 the timer could not be put in place, 2 a usage error.");
    schedule->add_option("--user", sch.user, "HotSync user")->required();
    schedule->add_option("--handheld", sch.handheld, "Handheld directory (needed with --every and --daily)");
    auto* every = schedule->add_option("--every", sch.every, "Interval: 15min to 168h, such as 30min, 90m or 2h");
    auto* daily = schedule->add_option("--daily", sch.daily, "Every day at HH:MM (24-hour clock)")->excludes(every);
    schedule->add_flag("--off", sch.off, "Remove the schedule")->excludes(every)->excludes(daily);

    CRestoreCommand::Args r;
    auto* restore = app.add_subcommand("restore", "Put the databases of one of a user's backups back onto a handheld, "
                                                  "or list the backups");
    restore->footer(
        "A synchronization first backs the handheld up into <user dir>/Backup/<handheld>/<date>, unless the\n"
        "handheld is as the newest backup holds it; the last few of each handheld are kept (hotsync configure\n"
        "--backups N), and always the one the last run that changed the handheld started from.\n"
        "A restore shows what it would replace and asks (--yes restores without asking; without a terminal it\n"
        "must be given), then backs the handheld up as it is (listed as taken before a restore: restoring\n"
        "that one undoes the restore) and writes the backup's databases over their namesakes. A database\n"
        "damaged in the backup is never written over a sound copy on the handheld; databases made since stay.\n"
        "Exit status:\n"
        "  0    done, or listed\n"
        "  1    nothing restored (answered No, or the handheld could not be backed up first), or a database\n"
        "       could not be written\n"
        "  2    a usage error, no such backup, or no terminal to ask on without --yes\n"
        "  3    the handheld is busy");
    restore->add_option("--user", r.user, "HotSync user")->required();
    restore->add_option("--handheld", r.handheld,
                        "Handheld directory to restore to, whose own backups are used (optional with --list)");
    restore->add_option("--generation", r.generation, "Which backup: 1 the newest (default), 2 the one before, ...")
        ->check(CLI::Range(1, 9999));
    restore->add_option("--from", r.from,
                        "Use the backups of another handheld, by the name --list shows (for a replacement handheld)");
    restore->add_flag("--list", r.list,
                      "Change nothing: list the backups, or with --generation N what that one holds and what a "
                      "restore would do");
    restore->add_flag("--yes", r.yes, "Restore without asking (needed without a terminal)");

    ConfigureArgs c;
    auto* configure = app.add_subcommand("configure", "Choose the HotSync action of a user's conduit, or how many "
                                                      "backups of each handheld to keep");
    configure->add_option("--user", c.user, "HotSync user")->required();
    configure->add_option("--action", c.action, "0-2 synchronize, 3 do nothing")->check(CLI::Range(0, 3));
    configure->add_flag("--make-default", c.makeDefault, "Keep the action for every HotSync");
    configure->add_option("--backups", c.backups,
                          "How many backups of each handheld to keep, 1-" + std::to_string(CHotSyncHome::kMaxBackups) +
                              " (default " + std::to_string(CHotSyncHome::kDefaultBackups) +
                              "); alone, changes only that")
        ->check(CLI::Range(1, CHotSyncHome::kMaxBackups));
    configure->add_option("--conduit", c.conduit, "Conduit library");
    auto* cfgYes = configure->add_flag("--yes", c.yes, "Answer Yes to every question");
    configure->add_flag("--no", c.no, "Answer No to every question")->excludes(cfgYes);

    std::string infoConduit;
    auto* info = app.add_subcommand("info", "Show the home and what a conduit exports");
    info->add_option("--conduit", infoConduit, "Conduit library");

#ifdef _WIN32
    std::string guiUser, guiHandheld;
    auto* gui = app.add_subcommand("gui", "Open the HotSync window (also without a command)");
    gui->footer("Exit status: 0 the window was closed, 2 a usage error, 69 no window can be shown,\n"
                "130 Ctrl-C in the console it was started from (a run going on is abandoned first).");
    gui->add_option("--user", guiUser, "HotSync user to choose");
    gui->add_option("--handheld", guiHandheld, "Handheld directory to choose");
#endif

    if (auto rc = platform::ParseCommandLine(app, argc, argv)) return *rc;
    // Every command speaks the language the conduit will load.
    runtext::LoadLanguage();
    try {
        if (add->parsed()) return CmdUserAdd(o, addName, addDir);
        if (list->parsed()) return CmdUserList(o, listJson);
        if (remove->parsed()) return CmdUserRemove(o.home, removeName, deleteFolder);
        if (rename->parsed()) return CmdUserRename(o.home, renameName, newName);
        if (schedule->parsed()) return CmdSchedule(o.home, sch);
        if (sync->parsed()) return CmdSync(o, s);
        if (restore->parsed()) {
            r.home = o.home;
            return CRestoreCommand::Run(r);
        }
        if (configure->parsed()) return CmdConfigure(o, c);
        if (info->parsed()) return CmdInfo(o, infoConduit);
#ifdef _WIN32
        return CmdGui(o, guiUser, guiHandheld);
#endif
    } catch (const std::exception& e) {
        return Fail(kExitUsage, e.what());
    }
    return kExitUsage;
}
