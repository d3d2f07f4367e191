#include "hotsync/SyncRun.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "hotsync/ConduitLibrary.h"
#include "hotsync/HandheldBackup.h"
#include "hotsync/HotSyncHome.h"
#include "hotsync/HotSyncLogFile.h"
#include "hotsync/RunText.h"
#include "hotsync/UserServiceSettings.h"
#include "palmkit/Condapi.h"
#include "palmkit/Handheld.h"
#include "palmkit/HandheldInfo.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "palmkit/InstallAide.h"
#include "palmkit/RunReport.h"
#include "lexmo/Lexmo.h"
#include "seam/UserFolders.h"
#include "seam/PrivateFiles.h"
#include "quillio/PdbFile.h"
#include "settings/StallTimeout.h"

namespace fs = std::filesystem;

namespace {

const char* const kSyncTypeNames[] = {"fast", "slow", "hh-to-pc", "pc-to-hh", "install", "backup", "nothing",
                                      "profile-install"};

// The front of the run in progress: the progress callback has no context.
CSyncRun::IFront* g_front = nullptr;

extern "C" long ProgressCallback(const char* text)
{
    if (g_front && text) g_front->Progress(text);
    return 0;
}

void YieldHook(void*)
{
    if (g_front) g_front->Yield();
}

void CopyText(char* dst, std::size_t size, const std::string& src)
{
    std::memset(dst, 0, size);
    std::memcpy(dst, src.data(), std::min(src.size(), size - 1));
}

// Copies the queued files onto the handheld; every outcome goes to the log,
// and what stays queued is a problem of the run.
void InstallQueue(const std::string& userDir, const CHandheldStore& store, CRunVerdict& verdict)
{
    const std::string queue = palmkit::InstallDir(userDir);
    std::error_code ec;
    if (!fs::is_directory(queue, ec)) return;
    // Another run of this user may be queueing now: only what is old is stale.
    CHandheldStore::RemoveTemporaries(queue, "", CHandheldStore::kStaleSeconds);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(queue, ec)) {
        const std::string name = e.path().filename().string();
        if (!name.empty() && name[0] != '.' && e.is_regular_file(ec)) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
        const std::string name = f.filename().string();
        CPdbFile db;
        if (!db.ReadPdbFile(f.string().c_str()) || db.m_Name.empty()) {
            const std::string text = KESA_FormatMessage(4177, name);
            LogAddEntry(text.c_str(), slWarning, 0);
            verdict.AddProblem(palmkit::RunFailure::Queued, name, text);
            continue;
        }
        const bool replaced = store.Find(db.m_Name).has_value();
        std::string error;
        if (!store.Save(db, &error)) {
            const std::string text = KESA_FormatMessage(4178, name, error);
            LogAddEntry(text.c_str(), slWarning, 0);
            verdict.AddProblem(palmkit::RunFailure::Queued, name, text);
            continue;
        }
        fs::remove(f, ec);
        LogAddEntry(KESA_FormatMessage(replaced ? 4176 : 4175, db.m_Name).c_str(), slText, 0);
    }
}

} // namespace

CSyncRun::IFront::~IFront() = default;

std::string CSyncRun::IFront::StopText() const
{
    return KESA_FormatMessage(4150);
}

CSyncRun::CSyncRun(Setup setup, IFront& front) : m_Setup(std::move(setup)), m_Front(front)
{
    // Paths as the platform writes them, in every line that names them.
    m_Setup.handheld = platform::NativePath(m_Setup.handheld);
}

const char* CSyncRun::SyncTypeName(int type)
{
    return type >= 0 && type < 8 ? kSyncTypeNames[type] : "?";
}

std::optional<int> CSyncRun::ParseSyncType(const std::string& text)
{
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '7') return text[0] - '0';
    for (int i = 0; i < 8; ++i) {
        if (text == kSyncTypeNames[i]) return i;
    }
    return std::nullopt;
}

std::string CSyncRun::ConduitPath(const std::string& option)
{
    const std::string fallback = CConduitLibrary::DefaultPath();
    if (option.empty()) return fallback;
    if (platform::NativePath(option).find(platform::kPathSeparator) != std::string::npos)
        return platform::NativePath(option);
    return platform::JoinPath(fs::path(fallback).parent_path().string(), option);
}

std::string CSyncRun::ConduitLoadFailure(const std::string& path, const std::string& why)
{
    return RunText(4668, "cannot load the conduit %s: %s\n(name another with --conduit FILE: a path, or a file name beside %s)",
                   path, why, fs::path(CConduitLibrary::DefaultPath()).parent_path().string());
}

std::string CSyncRun::ConduitDisplayName(const CConduitLibrary& lib, const std::string& path)
{
    if (auto fn = lib.Get<GetConduitNameFn>(kGetConduitNameName)) {
        char buf[256] = {};
        if (fn(buf, sizeof buf) == 0 && buf[0]) return buf;
    }
    return fs::path(path).filename().string();
}

bool CSyncRun::CheckHandheldDir(const std::string& dir, std::string& error)
{
    std::error_code ec;
    const fs::file_status st = fs::status(dir, ec);
    if (ec || !fs::exists(st)) {
        error = RunText(4669, "no handheld at %s: %s (create one with: handheld init %s)", dir,
                        ec ? ec.message() : std::string(std::strerror(ENOENT)), dir);
        return false;
    }
    if (!fs::is_directory(st)) {
        error = RunText(4670, "no handheld at %s: %s", dir, std::string(std::strerror(ENOTDIR)));
        return false;
    }
    const std::string info = platform::JoinPath(dir, CHandheldInfo::kFileName);
    if (!fs::is_regular_file(info, ec)) {
        error = RunText(4671, "%s is not a handheld: it has no %s (make it one with: handheld init %s)", dir,
                        std::string(CHandheldInfo::kFileName), dir);
        return false;
    }
    if (::access(dir.c_str(), R_OK | W_OK | X_OK) != 0) {
        error = RunText(4672, "cannot write to the handheld %s: %s", dir, std::string(std::strerror(errno)));
        return false;
    }
    return true;
}

CSyncRun::Outcome CSyncRun::Fail(int code, const std::string& message)
{
    m_Outcome.code = code;
    m_Outcome.message = message;
    m_Outcome.verdict = CRunVerdict::NotSynchronized(message);
    return m_Outcome;
}

CSyncRun::Outcome CSyncRun::Run()
{
    const Setup& a = m_Setup;
    m_Outcome = Outcome{};
    CHotSyncHome home(CHotSyncHome::Resolve(a.home));
    std::string error;
    CHotSyncHome::Skipped skipped;
    std::optional<CUsersFile::User> user = home.FindUser(a.user, &error, &skipped);
    for (const std::string& why : skipped) m_Front.Note("warning: " + home.UsersPath() + ": skipped " + why);
    if (!error.empty()) return Fail(kExitUsage, error);
    if (!user)
        return Fail(kExitUsage, RunText(4673, "no HotSync user named \"%s\" in %s (add one with: hotsync user add NAME)",
                                        a.user, home.Dir()));
    const std::string userDir = home.UserDir(*user);
    m_Outcome.userName = user->name;
    m_Outcome.userDir = userDir;
    CHandheldStore store(a.handheld);
    if (!CheckHandheldDir(a.handheld, error)) return Fail(kExitUsage, error);
    std::optional<int> syncType;
    CHotSyncHome::SyncSettings settings = home.LoadSyncSettings(*user);
    if (!a.syncType.empty()) {
        syncType = ParseSyncType(a.syncType);
        if (!syncType) {
            std::string valid;
            for (int i = 0; i < 8; ++i) valid += std::string(i ? ", " : "") + std::to_string(i) + " " + kSyncTypeNames[i];
            return Fail(kExitUsage, "unknown sync type \"" + a.syncType + "\": use a number or a name of " + valid);
        }
    } else {
        syncType = settings.temporary.value_or(settings.permanent);
    }

    if (const char* stall = std::getenv(kStallVariable); stall && !ParseStallSeconds(stall))
        m_Front.Note(std::string("warning: ") + kStallVariable + "=\"" + stall +
                     "\" is not a number of seconds from 1 to 86400; using " + std::to_string(kDefaultStallSeconds));
    const std::string conduitPath = ConduitPath(a.conduit);
    // Our conduit cannot start without its server: say which setting lacks.
    if (fs::path(conduitPath).filename() == fs::path(CConduitLibrary::DefaultPath()).filename()) {
        if (std::string note = CUserServiceSettings::ApplyShippedDefaults(); !note.empty()) m_Front.Note(note);
        const CUserServiceSettings service(user->name);
        if (std::string missing = service.Missing(); !missing.empty()) return Fail(kExitUsage, missing);
        if (std::string warning = service.Warning(); !warning.empty()) m_Front.Note(warning);
    }
    CConduitLibrary lib;
    if (!lib.Load(conduitPath, &error)) return Fail(kExitUsage, ConduitLoadFailure(conduitPath, error));
    auto openConduit = lib.Get<OpenConduitFn>(kOpenConduitName);
    if (!openConduit)
        return Fail(kExitUsage, RunText(4674, "the conduit %s lacks the entry point %s", conduitPath,
                                        std::string(kOpenConduitName)));

    platform::IUiHost& host = m_Front.Host();
    // A handheld that belongs to someone else is synchronized only when asked.
    CHandheldInfo info;
    if (!info.Load(store.Dir()))
        return Fail(kExitUsage, RunText(4675, "the handheld's %s in %s is unreadable",
                                        std::string(CHandheldInfo::kFileName), a.handheld));
    if (!info.m_UserName.empty() && info.m_UserName != user->name) {
        const auto answer = host.ShowMessage(RunText(4676,
                                                     "The handheld %s belongs to \"%s\". Synchronize it as \"%s\" "
                                                     "all the same?",
                                                     a.handheld, info.m_UserName, user->name),
                                             RunText(4000, "HotSync"), platform::MsgIcon::Question,
                                             platform::MsgButtons::YesNo, platform::MsgResult::No);
        if (answer != platform::MsgResult::Yes)
            return Fail(kExitUsage,
                        RunText(4677, "not synchronized: the handheld belongs to \"%s\"", info.m_UserName));
    }

    if (!home.WriteRegistry(&error)) m_Front.Note("warning: " + error);
    // Everything the run writes is the user's data: in private folders only.
    CHotSyncHome::Notes notes;
    const bool made = home.MakePrivate(&*user, notes, &error);
    for (const std::string& note : notes) m_Front.Note(note);
    if (!made) return Fail(kExitUsage, error);
    const platform::PrivateDir handheldDir = platform::MakePrivateDir(store.Dir());
    if (!handheldDir.narrowed.empty()) m_Front.Note(handheldDir.narrowed);
    if (!handheldDir.error.empty()) m_Front.Note("warning: " + handheldDir.error);

    switch (palmkit::Attach(store.Dir(), userDir, user->name)) {
    case palmkit::AttachResult::Ok: break;
    case palmkit::AttachResult::Locked:
        return Fail(kExitBusy, RunText(4678, "the handheld %s is being synchronized by another run", a.handheld));
    case palmkit::AttachResult::NotAHandheld: return Fail(kExitUsage, RunText(4679, "no handheld at %s", a.handheld));
    case palmkit::AttachResult::AlreadyAttached:
        return Fail(kExitBusy, RunText(4680, "a synchronization is already running"));
    }

    // What the backup found (a damaged database) belongs in this run's log,
    // in the log's language.
    palmkit::LogClear();
    runtext::LoadLanguage();
    std::optional<CHandheldBackup::Generation> startedFrom;
    bool changeMarked = false;
    if (!a.noBackup) {
        CHandheldBackup backup(userDir);
        std::vector<CHandheldBackup::Note> backupNotes;
        CHandheldBackup::Generation made;
        const int saved = backup.Make(store, &backupNotes, &error, CHandheldBackup::Purpose::Sync, &made);
        for (const auto& n : backupNotes) LogAddEntry(n.text.c_str(), n.warning ? slWarning : slText, 0);
        if (saved < 0) {
            palmkit::Detach();
            for (const auto& n : backupNotes) m_Front.Note(n.text);
            return Fail(kExitFailed, RunText(4681,
                                             "cannot back up the handheld, nothing synchronized: %s (skip it with "
                                             "--no-backup)",
                                             error));
        }
        startedFrom = made;
        changeMarked = CHandheldBackup::BeginChange(made);
    }

    const std::size_t entriesBefore = palmkit::LogEntries().size();
    g_front = &m_Front;
    platform::IUiHost* previousHost = &platform::UiHost();
    platform::SetUiHost(&host);
    palmkit::SetYieldHook(YieldHook, nullptr);
    m_Front.Started();

    CSyncProperties props{};
    props.m_SyncType = *syncType;
    CopyText(props.m_UserName, sizeof props.m_UserName, user->name);
    CopyText(props.m_PathName, sizeof props.m_PathName, userDir + platform::kPathSeparator);
    CopyText(props.m_LocalName, sizeof props.m_LocalName, "");
    CopyText(props.m_Registry, sizeof props.m_Registry,
             "Software\\U.S. Robotics\\Pilot Desktop\\" + fs::path(conduitPath).stem().string());
    CopyText(props.m_HandheldDir, sizeof props.m_HandheldDir, store.Dir());
    props.m_UserId = user->id;
    props.m_CardNo = 0;

    const std::string conduitName = ConduitDisplayName(lib, conduitPath);
    // The sync type keeps the name --sync-type takes.
    const std::string runTitle =
        RunText(4682, "%s with %s (%s)", user->name, conduitName, std::string(kSyncTypeNames[*syncType]));
    m_Front.Progress(RunText(4683, "HotSync: %s", runTitle));
    long result = -1;
    m_Outcome.conduitRan = true;
    try {
        result = openConduit(ProgressCallback, &props);
    } catch (...) {
        LogAddEntry(RunText(4684, "%s - the conduit failed unexpectedly", conduitName).c_str(), slSyncFailed, 0);
    }
    palmkit::CloseLeftOpen();
    const bool interrupted = m_Front.Interrupted();
    const int terminated = m_Front.TerminationSignal();
    // The backup's notes tell of the handheld as it came, not of this run's failures.
    std::vector<palmkit::LogEntry> conduitEntries = palmkit::LogEntries();
    conduitEntries.erase(conduitEntries.begin(),
                         conduitEntries.begin() + std::ptrdiff_t(std::min(entriesBefore, conduitEntries.size())));
    CRunVerdict verdict = CRunVerdict::Judge(conduitEntries, palmkit::TakeRunReport(), result,
                                             interrupted ? m_Front.StopText() : std::string());
    if (!interrupted) InstallQueue(userDir, store, verdict);
    // What the handheld could not record is not a synchronization done.
    if (!palmkit::Detach())
        verdict.AddProblem(palmkit::RunFailure::Handheld, std::string(), KESA_FormatMessage(4179));
    // Whether this run changed the handheld decides which backup the oldest
    // make room for: so the old ones go only now.
    if (startedFrom) {
        CHandheldLock again;
        if (again.Acquire(store.Dir()) == CHandheldLock::Result::Locked) {
            CHandheldBackup::EndChange(*startedFrom, store, changeMarked);
            std::vector<CHandheldBackup::Note> backupNotes;
            CHandheldBackup(userDir).Prune(store, settings.backups, &backupNotes);
            for (const auto& n : backupNotes) LogAddEntry(n.text.c_str(), n.warning ? slWarning : slText, 0);
        }
    }

    m_Front.Stopped();
    palmkit::SetYieldHook(nullptr, nullptr);
    platform::SetUiHost(previousHost == &platform::DefaultUiHost() ? nullptr : previousHost);
    g_front = nullptr;

    if (settings.temporary) {
        settings.temporary.reset();
        home.SaveSyncSettings(*user, settings);
    }
    const std::vector<palmkit::LogEntry> logged = palmkit::LogEntries();
    auto entries = [&] {
        std::vector<palmkit::LogEntry> all = logged;
        const auto ending = verdict.Entries(std::time(nullptr));
        all.insert(all.end(), ending.begin(), ending.end());
        return all;
    };
    // A run whose record cannot be kept is not one to forget.
    if (!CHotSyncLogFile::Append(platform::JoinPath(userDir, "HotSync.log"), entries(), runTitle, &error))
        verdict.AddProblem(palmkit::RunFailure::Record, "HotSync.log", error);
    m_Outcome.entries = entries();
    m_Outcome.verdict = verdict;
    m_Outcome.code = verdict.ExitStatus(terminated);
    if (m_Outcome.code != kExitDone) m_Outcome.message = verdict.Headline();
    m_Front.Log(m_Outcome.entries, user->name);
    return m_Outcome;
}
