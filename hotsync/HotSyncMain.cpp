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
#include "hotsync/SyncRun.h"
#include "hotsync/TerminalUiHost.h"
#include "palmkit/Condapi.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "palmkit/HsLog.h"
#include "platform/CommandLine.h"
#include "seam/Display.h"
#include "seam/StopSignals.h"
#include "seam/TextWidth.h"
#include "settings/MessageLanguage.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitConduitFailed = 1;
constexpr int kExitUsage = platform::kExitUsage;
constexpr int kExitBusy = 3;

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
    bool yes = false, no = false, quiet = false, noBackup = false;
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
        if (signal == 0) return "with Ctrl-C";
        return signal == platform::HangUpSignal() ? "on SIGHUP" : "on SIGTERM";
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
    if (outcome.code != CSyncRun::kExitDone) return Fail(outcome.code, outcome.message);
    return 0;
}

struct RestoreArgs {
    std::string user, handheld, from;
    int generation = 0; // 0: not given
    bool list = false;
};

std::string Plural(std::size_t n, const std::string& word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string Padded(std::string text, std::size_t width)
{
    return platform::PadToWidth(std::move(text), width);
}

std::string KeptText(int keep)
{
    return keep == 1 ? "only the last backup" : "the last " + std::to_string(keep) + " backups";
}

// The first generation other than `skip` holding a sound copy of `file`.
std::optional<std::size_t> SoundCopyElsewhere(const std::vector<CHandheldBackup::Generation>& gens, std::size_t skip,
                                              const std::string& file)
{
    for (std::size_t i = 0; i < gens.size(); ++i) {
        if (i == skip) continue;
        const auto e = CHandheldStore::Examine(gens[i].dir + "/" + file);
        if (e && !e->damaged) return i;
    }
    return std::nullopt;
}

std::string SoundCopyHint(const std::vector<CHandheldBackup::Generation>& gens, std::size_t skip,
                          const std::string& file)
{
    const auto other = SoundCopyElsewhere(gens, skip, file);
    if (!other) return "";
    return "; generation " + std::to_string(*other + 1) + " (" + CHandheldBackup::DateText(gens[*other].made) +
           ") holds a sound copy";
}

// Every handheld backed up, for a user who does not name one.
int ListAllBackups(const CHandheldBackup& backup, const std::string& userName)
{
    const std::vector<std::string> keys = backup.Handhelds();
    const std::vector<CHandheldBackup::Generation> earlier = backup.Generations("");
    std::size_t sets = 0;
    for (const std::string& key : keys) {
        std::vector<CHandheldBackup::Generation> gens = backup.Generations(key);
        const auto own = std::count_if(gens.begin(), gens.end(), [](const auto& g) { return !g.earlierLayout; });
        if (own == 0) continue;
        if (sets++ == 0) std::printf("Backups of %s, by handheld (in %s):\n", userName.c_str(), backup.Dir().c_str());
        const std::string path = backup.HandheldPath(key);
        std::printf("  %s  %s  (%s, the newest of %s)\n", key.c_str(), path.empty() ? "(folder unknown)" : path.c_str(),
                    Plural(std::size_t(own), "generation").c_str(),
                    CHandheldBackup::DateText(gens.front().made).c_str());
    }
    for (const auto& g : earlier)
        std::printf("An earlier backup of %s (%s) in %s, from before each handheld had its own: it is the oldest "
                    "generation of every handheld's list until the next synchronization takes it.\n",
                    CHandheldBackup::DateText(g.made).c_str(),
                    Plural(CHandheldBackup::Files(g).size(), "database").c_str(),
                    g.dir.c_str());
    if (sets == 0 && earlier.empty()) {
        std::printf("No backups of %s in %s: hotsync sync makes one before each synchronization.\n", userName.c_str(),
                    backup.Dir().c_str());
        return 0;
    }
    std::printf("See the generations of one: hotsync restore --user %s --list --handheld DIR (or --from NAME)\n",
                userName.c_str());
    return 0;
}

void ListGenerations(const std::vector<CHandheldBackup::Generation>& gens, const std::string& label,
                     const std::string& setDir, const std::string& userName, int keep,
                     const std::string& restoreCommand)
{
    std::printf("Backups of %s, newest first (in %s):\n", label.c_str(), setDir.c_str());
    for (std::size_t i = 0; i < gens.size(); ++i) {
        std::size_t damaged = 0;
        const std::vector<std::string> files = CHandheldBackup::Files(gens[i]);
        for (const std::string& f : files) {
            const auto e = CHandheldStore::Examine(gens[i].dir + "/" + f);
            if (!e || e->damaged) ++damaged;
        }
        std::string line = "  " + std::to_string(i + 1) + "  " + CHandheldBackup::DateText(gens[i].made) + "  " +
                           Plural(files.size(), "database");
        if (damaged) line += ", " + std::to_string(damaged) + " damaged";
        if (gens[i].earlierLayout) line += "  (earlier backup in " + gens[i].dir + ")";
        std::printf("%s\n", line.c_str());
    }
    std::printf("Keeping %s of each handheld (change it with: hotsync configure --user %s --backups N).\n"
                "See what one holds: %s --list --generation N\n",
                KeptText(keep).c_str(), userName.c_str(), restoreCommand.c_str());
}

// What generation `index` holds, and what restoring it onto `store` would do.
void ListDatabases(const std::vector<CHandheldBackup::Generation>& gens, std::size_t index, const std::string& label,
                   const CHandheldStore* store, const std::string& restoreCommand)
{
    const CHandheldBackup::Generation& g = gens[index];
    std::vector<CHandheldBackup::Item> items;
    if (store) {
        items = CHandheldBackup::Plan(g, *store);
    } else {
        for (const std::string& f : CHandheldBackup::Files(g)) {
            const auto e = CHandheldStore::Examine(g.dir + "/" + f);
            if (!e) continue;
            items.push_back({f, *e, CHandheldBackup::Action::Add, false});
        }
    }
    std::printf("Generation %zu of %s, made %s (in %s): %s\n", index + 1, label.c_str(),
                CHandheldBackup::DateText(g.made).c_str(), g.dir.c_str(), Plural(items.size(), "database").c_str());
    std::size_t nameWidth = 4, fileWidth = 4;
    for (const auto& it : items) {
        nameWidth = std::max(nameWidth, platform::DisplayWidth(it.entry.name));
        fileWidth = std::max(fileWidth, platform::DisplayWidth(it.file));
    }
    for (const auto& it : items) {
        const std::string state = it.entry.damaged ? "DAMAGED" : Plural(it.entry.recordCount, "record");
        std::string action;
        if (store) {
            switch (it.action) {
            case CHandheldBackup::Action::Add: action = "added (not on the handheld)"; break;
            case CHandheldBackup::Action::Replace:
                action = it.handheldDamaged ? "replaces the handheld's damaged copy" : "replaces the handheld's";
                break;
            case CHandheldBackup::Action::SkipDamaged: action = "not restored: the handheld's copy is sound"; break;
            case CHandheldBackup::Action::RestoreDamaged:
                action = "restored as it is: the handheld has no sound copy";
                break;
            }
            if (it.entry.damaged) action += SoundCopyHint(gens, index, it.file);
        }
        std::string line = "  " + Padded(it.entry.name, nameWidth) + "  " + Padded(it.file, fileWidth) + "  " + state;
        if (!action.empty()) line = Padded(line, 2 + nameWidth + 2 + fileWidth + 2 + 11) + "  " + action;
        std::printf("%s\n", line.c_str());
    }
    if (store) std::printf("Restore it with: %s --generation %zu\n", restoreCommand.c_str(), index + 1);
}

int CmdRestore(const Options& o, const RestoreArgs& a)
{
    CHotSyncHome home(CHotSyncHome::Resolve(o.home));
    std::string error;
    CHotSyncHome::Skipped skipped;
    std::optional<CUsersFile::User> user = home.FindUser(a.user, &error, &skipped);
    WarnSkipped(home, skipped);
    if (!error.empty()) return Fail(kExitUsage, error);
    if (!user)
        return Fail(kExitUsage,
                    "no HotSync user named \"" + a.user + "\" in " + home.Dir() + " (see: hotsync user list)");
    CHandheldBackup backup(home.UserDir(*user));
    const std::vector<std::string> keys = backup.Handhelds();
    auto known = [&] {
        std::string text;
        for (const std::string& k : keys) {
            const std::string path = backup.HandheldPath(k);
            text += "\n  " + k + (path.empty() ? "" : "  " + path);
        }
        return text;
    };
    if (!a.from.empty() && std::find(keys.begin(), keys.end(), a.from) == keys.end())
        return Fail(kExitUsage, "no backups named \"" + a.from + "\" in " + backup.Dir() +
                                    (keys.empty() ? std::string(" (it holds none)") : "; it holds:" + known()));
    if (a.list && a.handheld.empty() && a.from.empty()) return ListAllBackups(backup, user->name);
    if (a.handheld.empty() && !a.list)
        return Fail(kExitUsage, "name the handheld to restore to with --handheld DIR (see the backups with: hotsync "
                                "restore --user " + user->name + " --list)");

    std::optional<CHandheldStore> store;
    if (!a.handheld.empty()) {
        if (!CSyncRun::CheckHandheldDir(a.handheld, error)) return Fail(kExitUsage, error);
        store.emplace(a.handheld);
    }
    const std::string key = a.from.empty() ? CHandheldBackup::HandheldKey(a.handheld) : a.from;
    const std::string recorded = backup.HandheldPath(key);
    const std::string label = "the handheld " + (recorded.empty() ? a.handheld : recorded) +
                              (a.from.empty() ? "" : " (" + a.from + ")");
    const std::vector<CHandheldBackup::Generation> gens = backup.Generations(key);
    std::string command = "hotsync restore --user " + user->name;
    if (!a.handheld.empty()) command += " --handheld " + a.handheld;
    if (!a.from.empty()) command += " --from " + a.from;
    if (gens.empty()) {
        std::string why = "no backup of " + label + " for " + user->name + " in " + backup.Dir();
        if (!keys.empty())
            why += "; backups of other handhelds (restore one here with --from NAME):" + known();
        else
            why += " (hotsync sync makes one before each synchronization, unless --no-backup)";
        if (a.list) {
            std::printf("%s\n", (char(std::toupper(static_cast<unsigned char>(why[0]))) + why.substr(1)).c_str());
            return 0;
        }
        return Fail(kExitUsage, why);
    }
    if (std::size_t(a.generation) > gens.size())
        return Fail(kExitUsage, "there is no generation " + std::to_string(a.generation) + " of the backups of " +
                                    label +
                                    ": there " + (gens.size() == 1 ? "is 1" : "are " + std::to_string(gens.size())) +
                                    " (list them with: " + command + " --list)");
    const std::size_t index = a.generation > 0 ? std::size_t(a.generation - 1) : 0;
    if (a.list) {
        if (a.generation == 0)
            ListGenerations(gens, label, backup.SetDir(key), user->name, home.LoadSyncSettings(*user).backups, command);
        else
            ListDatabases(gens, index, label, store ? &*store : nullptr, command);
        return 0;
    }

    CHandheldLock lock;
    switch (lock.Acquire(store->Dir())) {
    case CHandheldLock::Result::Locked: break;
    case CHandheldLock::Result::NotADirectory: return Fail(kExitUsage, "no handheld at " + a.handheld);
    case CHandheldLock::Result::Busy:
        return Fail(kExitBusy, "the handheld " + a.handheld + " is being synchronized by another run");
    }
    const CHandheldBackup::Generation& g = gens[index];
    std::size_t left = 0;
    for (const auto& it : CHandheldBackup::Plan(g, *store)) {
        if (!it.entry.damaged) continue;
        const std::string hint = SoundCopyHint(gens, index, it.file);
        if (it.action == CHandheldBackup::Action::SkipDamaged) {
            ++left;
            std::fprintf(stderr,
                         "hotsync: warning: %s is damaged in this backup: not restored, the handheld's copy is "
                         "sound%s\n",
                         it.file.c_str(), hint.c_str());
        } else {
            std::fprintf(stderr,
                         "hotsync: warning: %s is damaged in this backup: restored as it is, the handheld had no "
                         "sound copy%s\n",
                         it.file.c_str(), hint.c_str());
        }
    }
    const int count = CHandheldBackup::Restore(g, *store, &error);
    if (count < 0) return Fail(kExitConduitFailed, "restore stopped: " + error);
    std::printf("Restored %s of %s (generation %zu) from %s to %s\n", Plural(std::size_t(count), "database").c_str(),
                CHandheldBackup::DateText(g.made).c_str(), index + 1, g.dir.c_str(), store->Dir().c_str());
    if (left)
        std::printf("Left out %s damaged in the backup, whose sound copy is on the handheld\n",
                    Plural(left, "database").c_str());
    return 0;
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
            return Fail(kExitUsage, "cannot save the settings in " + home.UserDir(*user) + "/HotSync.ini");
        std::printf("%s: keeping %s of each handheld\n", user->name.c_str(), KeptText(a.backups).c_str());
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
    CopyText(block.m_szUserPath, sizeof block.m_szUserPath, home.UserDir(*user) + "/");
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

int main(int argc, char** argv)
{
    CLI::App app{"hotsync - the HotSync Manager: HotSync users and synchronizations of a handheld"};
    app.require_subcommand(1);
    platform::AddVersionFlag(app, "hotsync", kConduitVersionLine);
    Options o;
    app.add_option("--home", o.home, "HotSync home (default $HOTSYNC_HOME, else ~/.local/share/hotsync)");

    auto* user = app.add_subcommand("user", "Add or list HotSync users");
    user->require_subcommand(1);
    std::string addName, addDir;
    auto* add = user->add_subcommand("add", "Add a HotSync user and its directory");
    add->add_option("NAME", addName, "User name (at most 31 bytes)")->required();
    add->add_option("--dir", addDir, "Directory name inside the home (default: from the name)");
    auto* list = user->add_subcommand("list", "List the HotSync users");
    bool listJson = false;
    list->add_flag("--json", listJson, "As a JSON array of {name, id, directory}");

    SyncArgs s;
    auto* sync = app.add_subcommand("sync", "Synchronize a handheld through a conduit");
    sync->footer("Exit status:\n"
                 "  0    done: the exchange with the service took place (the log may say that a channel failed)\n"
                 "  1    the synchronization failed: the service could not be reached, refused the account or\n"
                 "       answered what cannot be read, so nothing was exchanged; or the conduit failed; or the\n"
                 "       handheld could not record all of it\n"
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
                   "Do not back the handheld up first (each run otherwise adds a backup to the user's Backup folder)");

    RestoreArgs r;
    auto* restore = app.add_subcommand("restore", "Put the databases of one of a user's backups back onto a handheld, "
                                                  "or list the backups");
    restore->footer("Each synchronization backs the handheld up first, into <user dir>/Backup/<handheld>/<date>,\n"
                    "keeping the last few of each handheld (hotsync configure --backups N). A database damaged in\n"
                    "the backup is never written over a sound copy on the handheld; databases made since stay.\n"
                    "Exit status: 0 done, 1 a database could not be written, 2 a usage error or no such backup,\n"
                    "3 the handheld is busy.");
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

    if (auto rc = platform::ParseCommandLine(app, argc, argv)) return *rc;
    // What a run shows speaks the language the conduit will load.
    LoadChosenMessages();
    try {
        if (add->parsed()) return CmdUserAdd(o, addName, addDir);
        if (list->parsed()) return CmdUserList(o, listJson);
        if (sync->parsed()) return CmdSync(o, s);
        if (restore->parsed()) return CmdRestore(o, r);
        if (configure->parsed()) return CmdConfigure(o, c);
        if (info->parsed()) return CmdInfo(o, infoConduit);
    } catch (const std::exception& e) {
        return Fail(kExitUsage, e.what());
    }
    return kExitUsage;
}
