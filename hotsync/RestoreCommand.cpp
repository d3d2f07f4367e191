// `hotsync restore`: every handheld's backups listed, a generation's
// databases and what a restore would do with them, and the restore itself.
#include "hotsync/RestoreCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "hotsync/HandheldBackup.h"
#include "hotsync/HotSyncHome.h"
#include "hotsync/SyncRun.h"
#include "hotsync/TerminalUiHost.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "seam/TextWidth.h"
#include "seam/UserFolders.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitBusy = 3;

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "hotsync: %s\n", message.c_str());
    return code;
}

void WarnSkipped(const CHotSyncHome& home, const CHotSyncHome::Skipped& skipped)
{
    for (const std::string& why : skipped)
        std::fprintf(stderr, "hotsync: warning: %s: skipped %s\n", home.UsersPath().c_str(), why.c_str());
}

std::string Plural(std::size_t n, const std::string& word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Names are UTF-8: columns are counted in what the terminal shows.
std::string Padded(std::string text, std::size_t width)
{
    return platform::PadToWidth(std::move(text), width);
}

// The first generation other than `skip` holding a sound copy of `file`.
std::optional<std::size_t> SoundCopyElsewhere(const std::vector<CHandheldBackup::Generation>& gens, std::size_t skip,
                                              const std::string& file)
{
    for (std::size_t i = 0; i < gens.size(); ++i) {
        if (i == skip) continue;
        const auto e = CHandheldStore::Examine(platform::JoinPath(gens[i].dir, file));
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
    const std::optional<std::size_t> kept = CHandheldBackup::Protected(gens);
    for (std::size_t i = 0; i < gens.size(); ++i) {
        std::size_t damaged = 0;
        const std::vector<std::string> files = CHandheldBackup::Files(gens[i]);
        for (const std::string& f : files) {
            const auto e = CHandheldStore::Examine(platform::JoinPath(gens[i].dir, f));
            if (!e || e->damaged) ++damaged;
        }
        std::string line = "  " + std::to_string(i + 1) + "  " + CHandheldBackup::DateText(gens[i].made) + "  " +
                           Plural(files.size(), "database");
        if (damaged) line += ", " + std::to_string(damaged) + " damaged";
        if (gens[i].earlierLayout) line += "  (earlier backup in " + gens[i].dir + ")";
        if (gens[i].beforeRestore) line += "  (taken before a restore)";
        if (kept && *kept == i && i > 0)
            line += "  (kept: the last run or restore that changed the handheld started from it)";
        std::printf("%s\n", line.c_str());
    }
    std::printf("Keeping %s of each handheld (change it with: hotsync configure --user %s --backups N).\n"
                "See what one holds: %s --list --generation N\n",
                CRestoreCommand::KeptText(keep).c_str(), userName.c_str(), restoreCommand.c_str());
}

// What generation `index` holds, and what restoring it onto `store` would
// do: a line for each database.
void PrintDatabases(const std::vector<CHandheldBackup::Generation>& gens, std::size_t index, const std::string& label,
                    const CHandheldStore* store)
{
    const CHandheldBackup::Generation& g = gens[index];
    std::vector<CHandheldBackup::Item> items;
    if (store) {
        items = CHandheldBackup::Plan(g, *store);
    } else {
        for (const std::string& f : CHandheldBackup::Files(g)) {
            const auto e = CHandheldStore::Examine(platform::JoinPath(g.dir, f));
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
}

void ListDatabases(const std::vector<CHandheldBackup::Generation>& gens, std::size_t index, const std::string& label,
                   const CHandheldStore* store, const std::string& restoreCommand)
{
    PrintDatabases(gens, index, label, store);
    if (store) std::printf("Restore it with: %s --generation %zu\n", restoreCommand.c_str(), index + 1);
}

} // namespace

std::string CRestoreCommand::KeptText(int keep)
{
    return keep == 1 ? "only the last backup" : "the last " + std::to_string(keep) + " backups";
}

int CRestoreCommand::Run(const Args& a)
{
    CHotSyncHome home(CHotSyncHome::Resolve(a.home));
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
    const CHandheldBackup::Generation g = gens[index];
    const std::vector<CHandheldBackup::Item> plan = CHandheldBackup::Plan(g, *store);
    const auto replaced = std::count_if(plan.begin(), plan.end(), [](const CHandheldBackup::Item& it) {
        return it.action == CHandheldBackup::Action::Replace ||
               (it.action == CHandheldBackup::Action::RestoreDamaged && it.handheldDamaged);
    });
    const auto written = std::count_if(plan.begin(), plan.end(), [](const CHandheldBackup::Item& it) {
        return it.action != CHandheldBackup::Action::SkipDamaged;
    });
    const std::string what = "generation " + std::to_string(index + 1) + " (" + CHandheldBackup::DateText(g.made) +
                             ") onto the handheld " + store->Dir();
    const auto added = std::size_t(written - replaced);
    const std::string effect = "replace " + (replaced ? std::to_string(replaced) : std::string("none")) +
                               " of its databases" + (added ? " and add " + Plural(added, "database") : "");
    if (!a.yes) {
        // A restore writes over what the handheld holds now: only when asked for.
        if (!::isatty(STDIN_FILENO))
            return Fail(kExitUsage, "nothing restored: restoring " + what + " would " + effect +
                                        ", and there is no terminal to ask on (restore with --yes)");
        PrintDatabases(gens, index, label, &*store);
        std::printf("The handheld as it is now is backed up first: the restore can be undone.\n");
        std::fflush(stdout);
        CTerminalUiHost host(CTerminalUiHost::Mode::Lines, true);
        const auto answer = host.ShowMessage("Restore " + what + "? It would " + effect + ".", "hotsync restore",
                                             platform::MsgIcon::Question, platform::MsgButtons::YesNo,
                                             platform::MsgResult::No);
        if (answer != platform::MsgResult::Yes) return Fail(kExitFailed, "nothing restored");
    }
    std::size_t left = 0;
    for (const auto& it : plan) {
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
    // The backup taken first is the handheld's own, also after --from.
    const std::string undo = "hotsync restore --user " + user->name + " --handheld " + a.handheld + " --generation 1";
    CHandheldBackup::Generation saved;
    std::vector<CHandheldBackup::Note> notes;
    const int count = backup.Restore(g, *store, &saved, &notes, &error);
    for (const auto& n : notes) std::fprintf(stderr, "hotsync: %s%s\n", n.warning ? "warning: " : "", n.text.c_str());
    if (count < 0 && saved.dir.empty())
        return Fail(kExitFailed, "nothing restored: the handheld could not be backed up first: " + error);
    if (count < 0)
        return Fail(kExitFailed, "restore stopped: " + error + " (the handheld as it was is in " + saved.dir +
                                     ": put it back with " + undo + ")");
    std::printf("Restored %s of %s (generation %zu) from %s to %s\n", Plural(std::size_t(count), "database").c_str(),
                CHandheldBackup::DateText(g.made).c_str(), index + 1, g.dir.c_str(), store->Dir().c_str());
    if (left)
        std::printf("Left out %s damaged in the backup, whose sound copy is on the handheld\n",
                    Plural(left, "database").c_str());
    std::printf("The handheld as it was is now generation 1, taken before this restore (%s): to undo the restore,\n"
                "  %s\n",
                saved.dir.c_str(), undo.c_str());
    return 0;
}
