#include "conduit/NorvCondMgr.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "conduit/ChannelTable.h"
#include "conduit/ConduitModule.h"
#include "conduit/NorvTrace.h"
#include "lexmo/Language.h"
#include "palmkit/Handheld.h"
#include "palmkit/HsLog.h"
#include "palmkit/InstallAide.h"
#include "platform/Version.h"
#include "seam/PrivateFiles.h"
#include "quillio/KesaError.h"
#include "settings/ChannelBound.h"
#include "settings/ConnectionProbe.h"

namespace {

constexpr std::size_t kMaxExceptionText = 1024;

std::string EntryName(const CSyncDbListEntry& entry)
{
    return std::string(entry.m_Name, strnlen(entry.m_Name, sizeof entry.m_Name));
}

bool SameChannel(const std::string& name, const std::string& id)
{
    return !name.empty() && ::strcasecmp(name.c_str(), id.c_str()) == 0;
}

std::string ExceptionText(const std::exception& e)
{
    std::string text = e.what();
    if (text.size() > kMaxExceptionText) text.resize(kMaxExceptionText);
    return text;
}

} // namespace

CNorvCondMgr::CNorvCondMgr() = default;

CNorvCondMgr::~CNorvCondMgr()
{
    // No worker may outlive the objects it uses.
    StopWorker();
}

std::string CNorvCondMgr::ProbeUrl(const std::string& serverUrl)
{
    const std::size_t slash = serverUrl.rfind('/');
    return (slash == std::string::npos ? std::string() : serverUrl.substr(0, slash)) + "/test.bin";
}

std::string CNorvCondMgr::ChannelKey(std::string id)
{
    std::transform(id.begin(), id.end(), id.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return id;
}

bool CNorvCondMgr::InitResources()
{
    // Without the user's choice the locale decides, as in every program.
    const std::string dll = lexmo::ChosenCatalog(m_Settings.GetMsgDll());
    NorvLog("CNorvCondMgr::InitResources : Loading resource DLL : %s", dll);
    if (KESA_LoadMessages(dll.c_str()) > 0) return true;
    ReportError(true, 0, slWarning, "InitFerrylink", "Messages DLL load failure");
    return false;
}

bool CNorvCondMgr::InitFerrylink()
{
    std::string trace = m_Settings.GetTrace();
    if (::strcasecmp(trace.c_str(), "on") == 0) m_Ferrylink.ServerTraceEnable(true, std::string());
    NorvLog("CNorvCondMgr::InitFerrylink : Synch Properties:\nm_PathName=%s\nm_LocalName=%s\nm_UserName=%s\nm_Registry=%s",
            m_PathName, m_LocalName, m_UserName, m_Registry);
    const std::string srcDir = m_PathName + "Src";
    const std::string dstDir = m_PathName + "Dst";
    // What is sent and received holds the user's data: both are private.
    for (const std::string& dir : {srcDir, dstDir}) {
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(dir, ec)))
            NorvLog("CNorvCondMgr::InitFerrylink : Création du répertoire %s", dir);
        platform::PrivateDir made = platform::MakePrivateDir(dir);
        if (!made.exists) {
            LogAddEntry(KESA_FormatText("Failed to create %s directory", dir).c_str(), slWarning, 0);
            return false;
        }
        if (!made.narrowed.empty()) {
            made.narrowed[0] = char(std::toupper(static_cast<unsigned char>(made.narrowed[0])));
            LogAddEntry(made.narrowed.c_str(), slText, 0);
        }
        if (!made.error.empty()) LogAddEntry(made.error.c_str(), slWarning, 0);
    }
    m_Ferrylink.Initialize(SyncYieldCycles, srcDir, dstDir);
    NorvLog("CNorvCondMgr::InitFerrylink : Ferrylink initialized with:\n   srcdir=%s; dstdir=%s", srcDir, dstDir);
    m_Ferrylink.SetKesaVers(m_Settings.GetNorvVers());
    const std::string uid = m_Settings.GetUID();
    const std::string pwd = m_Settings.GetPWD();
    m_Ferrylink.SetUID(uid);
    m_Ferrylink.SetPWD(pwd);
    NorvLog("CNorvCondMgr::InitFerrylink : default UID = %s, PWD = %s", uid, MaskPassword(pwd));
    return true;
}

long CNorvCondMgr::EngageStandard()
{
    m_LastStageDone = false;
    try {
        return Run();
    } catch (...) {
        // The caller turns the exception into a failed run; the run is still
        // closed down as any other: closing entry, conduit unregistered,
        // trace closed, worker joined.
        if (!m_LastStageDone) {
            try {
                NorvLog("CNorvCondMgr::EngageStandard : unexpected exception, the run ends");
                LastStage(-1);
            } catch (...) {
                // The first exception is the one that tells what went wrong.
            }
        }
        throw;
    }
}

long CNorvCondMgr::Run()
{
    SetProcessCancel(false);
    m_EndReason.clear();
    m_ListsRead = false;
    m_ActiveOrders.clear();
    m_FatedOrders.clear();
    m_Settings.Init(m_UserName, "Tidepost");
    InitResources();

    std::string traceDir = m_Settings.GetHotSyncPath();
    if (traceDir.empty() || traceDir == "*NODEF*") traceDir = ConduitLoadDirectory();
    CNorvTrace::Instance().Open(traceDir + CNorvTrace::kFileName);
    NorvLog("*** Norvelia HotSync conduit  %s ***", kConduitBuild);
    NorvLog("*** Norvelia PDA software %s ***", m_Settings.GetNorvVers());

    if (const long rc = SyncRegisterConduit(&m_ConduitHandle); rc != 0) {
        LastStage(rc);
        return rc;
    }
    m_Registered = true;

    m_Monitor.Create(KESA_FormatMessage(2044));
    m_Ferrylink.SetIPC(m_Monitor.GetWindow());
    m_Monitor.ShowBar1(false);
    m_Monitor.ShowBar2(false);

    const std::string serverUrl = m_Settings.GetServerUrl();
    {
        CConnectionProbe probe;
        std::string answer;
        if (!probe.Run(ProbeUrl(serverUrl).c_str(), answer, nullptr, nullptr)) {
            m_Settings.SetLastErrorCode(std::to_string(probe.m_LastErrorCode));
            const std::string text = KESA_FormatMessage(2084) + ". (" + probe.m_LastMessage + ")";
            NorvLog(text);
            LogAddEntry(text.c_str(), slSyncFailed, 0);
            m_EndReason = KESA_FormatMessage(4113);
            LastStage(0);
            return 0;
        }
    }

    if (!InitFerrylink()) {
        LogAddEntry("Norvelia Internet Client initialization failed...", slSyncFailed, 0);
        LastStage(kClientInitFailed);
        return kClientInitFailed;
    }
    OpenOrderJournal();

    m_Monitor.SetStatus1(KESA_FormatMessage(2037));
    NorvLog("\nCNorvCondMgr::EngageStandard - FIRST STAGE\n");

    CSyncCardInfo card{};
    card.m_CardNo = 0;
    if (const long rc = SyncReadSingleCardInfo(&card); rc != 0) {
        ReportError(true, rc, slSyncFailed, "CNorvCondMgr::EngageStandard", KESA_FormatMessage(2023));
        LastStage(kCardReadFailed);
        return kCardReadFailed;
    }
    const WORD count = card.m_DbCount;
    m_DbList.Allocate(count);
    WORD read = count;
    if (SyncReadDBList(0, 0, eDbListRam, m_DbList.m_Entries.data(), &read) != 0 || read != count) {
        ReportError(true, -1, slSyncFailed, "CNorvCondMgr::EngageStandard", KESA_FormatMessage(2024));
        LastStage(kCardReadFailed);
        return kCardReadFailed;
    }

    m_Monitor.SetRange1(0, count);
    m_Monitor.SetPos1(0);
    m_Monitor.ShowBar1(true);
    NorvLog("\nCNorvCondMgr::EngageStandard - SECOND STAGE\n");
    m_Monitor.SetStatus2(KESA_FormatMessage(2037));

    WORD first = 0xFFFF;
    WORD last = 0;
    m_ListsRead = true;
    for (WORD i = 0; i < count; ++i) {
        if (m_Monitor.IsCancelled()) {
            NoteCancel();
            LastStage(0);
            return 0;
        }
        m_Monitor.SetPos1(i + 1);
        const CSyncDbListEntry& entry = m_DbList.m_Entries[i];
        if (entry.m_Creator != kCreatorKesa) continue;
        last = i;
        if (first == 0xFFFF) first = i;
        NorvLog("###### CNorvCondMgr::EngageStandard : Database n°%d : %s, DbFlags=%x, DbType=%x, Index=%x, ModNumber=%x",
                int(i), EntryName(entry), unsigned(entry.m_DbFlags), unsigned(entry.m_DbType), unsigned(entry.m_Index),
                unsigned(entry.m_ModNumber));
        if (entry.m_DbType == kTypeCata)
            StoreCatalogInFerrylink(entry, m_DbList.m_Names[i]);
        else if (entry.m_DbType == kTypeList || entry.m_DbType == kTypeEmls)
            StoreListInFerrylink(entry, m_DbList.m_Names[i]);
        else if (entry.m_DbType == kTypeUser)
            StoreUserCtxInFerrylink(entry, m_DbList.m_Names[i]);
    }
    m_DbList.m_First = first;
    m_DbList.m_Last = last;
    PruneOrderJournal();

    NorvLog("\nCNorvCondMgr::EngageStandard - THIRD STAGE\n");
    NorvLog("CNorvCondMgr::EngageStandard : NbChannelsToProcess = %d", m_Ferrylink.GetNbChannelsToProcess());
    m_Monitor.SetStatus1(KESA_FormatMessage(2038));
    m_Monitor.SetStatus2(KESA_FormatMessage(2066));

    if (!m_Ferrylink.SRVQRY_OpenSession(serverUrl)) {
        const std::string text = KESA_FormatMessage(2006, serverUrl);
        NorvLog(text);
        LogAddEntry(text.c_str(), slWarning, 0);
        palmkit::NoteRunFailure(VisibleText(text));
        m_EndReason = KESA_FormatMessage(4113);
        LastStage(0);
        return 0;
    }
    NorvLog(">>>>>>>>>>>>>> Opening HTTP connection to %s", serverUrl);
    if (m_Monitor.IsCancelled()) {
        NoteCancel();
        LastStage(0);
        return 0;
    }

    ProcessAllChannels();

    NorvLog("CNorvCondMgr::EngageStandard - NbChannelsToProcess = %d", m_Ferrylink.GetNbChannelsToProcess());
    NorvLog("\nCNorvCondMgr::EngageStandard - FOURTH STAGE\n");
    NorvLog("CNorvCondMgr::EngageStandard - Start=%d ; End=%d", int(first), int(last));
    SyncYieldCycles(1);

    bool userCtxFound = false;
    if (first <= last) {
        for (int i = first; i <= last; ++i) {
            const CSyncDbListEntry& entry = m_DbList.m_Entries[std::size_t(i)];
            if (entry.m_Creator == kCreatorKesa && entry.m_DbType == kTypeUser) {
                userCtxFound = true;
                PerformUserCtxPostSynchro(entry);
            }
        }
    }
    if (!userCtxFound && m_Ferrylink.HasUserPdbToInstall()) {
        InstallUserPdb();
        m_Settings.DeletePWD();
    }

    SyncYieldCycles(1);
    if (m_Ferrylink.HasNorveliaToInstall()) {
        const std::string path = m_Ferrylink.GetNorveliaFilepath();
        NorvLog("\nCNorvCondMgr::EngageStandard - Install PRC\n");
        NorvLog("CNorvCondMgr:: UserName: %s", m_UserName);
        NorvLog("CNorvCondMgr:: NorveliaFilepath: %s", path);
        const std::string refused = RefuseApplication(path);
        long rc = kInstallUnreadable;
        if (refused.empty()) {
            rc = PltInstallFile(m_UserName.c_str(), path.c_str());
            NorvLog("CNorvCondMgr:: retour PltInstallFile: %d", rc);
        } else {
            const std::string text = KESA_FormatMessage(4137, refused);
            ReportError(true, 0, slWarning, "CNorvCondMgr::EngageStandard - Install PRC", text);
            palmkit::NoteFailure(palmkit::RunFailure::Application, "Norvelia", text);
        }
        if (rc != 0) {
            m_Monitor.SetStatus1(KESA_FormatMessage(2027, "Norvelia.prc"));
            if (refused.empty()) {
                // Said on the status line only, which nobody reads after the run.
                const std::string text = KESA_FormatMessage(2027, "Norvelia.prc");
                ReportError(true, 0, slWarning, "CNorvCondMgr::EngageStandard - Install PRC", text);
                palmkit::NoteFailure(palmkit::RunFailure::Application, "Norvelia", text);
            }
        } else {
            NorvLog("CNorvCondMgr:: NewKesaVers: %s\n", m_Ferrylink.GetNewKesaVers());
            m_Settings.SetNorvVers(m_Ferrylink.GetNewKesaVers());
        }
    }

    if (!InstallProcessedChannels()) {
        NoteCancel();
    } else {
        NorvLog("\nCNorvCondMgr::EngageStandard - FIFTH STAGE\n");
        if (AllChannelsHandled())
            ReportError(true, 0, slText, "CNorvCondMonitor::ProcessAllChannels", KESA_FormatMessage(2020));
        StopWorker();
        FreeChannelTable();
    }
    LastStage(0);
    return 0;
}

bool CNorvCondMgr::InstallProcessedChannels()
{
    bool cancelSeen = false;
    int installed = 0;
    m_Monitor.SetRange1(0, 2 * m_Ferrylink.GetNbChannelsToDownload());
    m_Monitor.SetPos1(0);
    m_Monitor.SetCancel(false);
    for (;;) {
        SyncYieldCycles(1);
        // Read before the table: a change from here on ends the wait below at once.
        const unsigned stamp = ChannelChangeStamp();
        if (!cancelSeen && IsProcessCancelled() && m_Monitor.IsCancelled()) {
            CancelPendingChannels();
            cancelSeen = true;
        }
        const int c = NextProcessedChannel();
        if (c == -1) break;
        if (c == -2) {
            if (!m_WorkerRunning.load()) {
                // The worker ended (cancel, failure): it will finish nothing more.
                SkipWaitingChannels();
                continue;
            }
            WaitChannelChange(stamp, m_IdleWait);
            continue;
        }
        bool stop = false;
        InstallOneChannel(c, cancelSeen, installed, stop);
        if (stop) return false;
    }
    return !cancelSeen;
}

void CNorvCondMgr::InstallOneChannel(int index, bool cancelSeen, int& installed, bool& stop)
{
    CChannelData* channel = m_Ferrylink.GetChannelData(index);
    if (channel == nullptr) return;
    const std::string id = channel->GetChannelId();
    NorvLog("EngageStandard - Channel=%d %s", index, id);
    const bool toInstall = channel->IsChannelToInstall();
    if (toInstall) {
        m_Monitor.SetStatus1(KESA_FormatMessage(2049, id));
        m_Monitor.SetPos1(++installed);
    }
    // After a cancel every channel to install is asked for, before anything
    // of it changes: "No" leaves its databases as they were. The user's
    // cancel counts from the moment it is made, also for a channel the worker
    // finished before it saw the cancel.
    if (!channel->HasCatalogError() && toInstall && (cancelSeen || m_Monitor.IsCancelled())) {
        const auto answer = platform::UiHost().ShowMessage(
            KESA_FormatMessage(2051, id), KESA_FormatMessage(2052), platform::MsgIcon::Question,
            platform::MsgButtons::YesNo, platform::MsgResult::Yes);
        if (answer == platform::MsgResult::No) {
            stop = true;
            return;
        }
    }
    const WORD first = m_DbList.m_First;
    const WORD last = m_DbList.m_Last;
    if (first <= last) {
        for (int i = first; i <= last; ++i) {
            const CSyncDbListEntry& entry = m_DbList.m_Entries[std::size_t(i)];
            if (entry.m_Creator == kCreatorKesa && entry.m_DbType == kTypeCata &&
                SameChannel(m_DbList.m_Names[std::size_t(i)], id)) {
                PerformCatalogPostSynchro(entry, id);
                break;
            }
        }
        for (int i = first; i <= last; ++i) {
            const CSyncDbListEntry& entry = m_DbList.m_Entries[std::size_t(i)];
            if (entry.m_Creator == kCreatorKesa && (entry.m_DbType == kTypeList || entry.m_DbType == kTypeEmls) &&
                SameChannel(m_DbList.m_Names[std::size_t(i)], id))
                PerformListPostSynchro(entry, id);
        }
    }
    if (!channel->HasCatalogError()) {
        InstallChannelPdbs(channel);
    } else if (!channel->IsInPCL()) {
        const std::string text = KESA_FormatMessage(2034, id, channel->GetErrorMessageList());
        ReportError(true, 0, slWarning, "CNorvCondMgr::EngageStandard - Post Install loop", text);
        palmkit::NoteFailure(palmkit::RunFailure::Channel, id, text);
    }
    if (channel->HasGameError()) {
        // The score did not reach the service: it goes again next time.
        const std::string text = channel->GetGameErrorMessage();
        ReportError(true, 0, slWarning, "CNorvCondMgr::EngageStandard - Post Install loop", text);
        palmkit::NoteFailure(palmkit::RunFailure::Game, id, text);
    }
    // Nothing installed for it: what waited for a replacement stays.
    SettleReplacements(id, false, std::string(), false, std::string());
    if (toInstall) m_Monitor.SetPos1(++installed);
}

void CNorvCondMgr::OpenOrderJournal()
{
    m_Journal.SetPath(m_PathName + COrderJournal::kFileName);
    std::string why;
    if (!m_Journal.Load(&why))
        ReportError(true, 0, slWarning, "CNorvCondMgr::EngageStandard", KESA_FormatMessage(4135, why));
    m_Ferrylink.SetListAcceptedHandler(
        [this](const std::string& channelId, const CSynchPdb& list) { JournalAcceptedOrder(channelId, list); });
}

void CNorvCondMgr::ForgetRecordedOrders()
{
    if (m_OrdersRecorded.empty()) return;
    // Only once the handheld's files hold the orders' new state.
    if (!palmkit::WaitForWrites()) {
        NorvLog("CNorvCondMgr::ForgetRecordedOrders - the handheld's files are not all written: the journal stays");
        return;
    }
    for (const COrderJournal::Entry& e : m_OrdersRecorded) {
        std::string why;
        if (!m_Journal.Remove(e.listName, e.channelId, e.created, &why))
            NorvLog("CNorvCondMgr::ForgetRecordedOrders - %s", why);
    }
    m_OrdersRecorded.clear();
}

void CNorvCondMgr::NoteCancel()
{
    palmkit::NoteAbandoned();
    m_EndReason = KESA_FormatMessage(4115);
}

void CNorvCondMgr::LastStage(long result)
{
    m_LastStageDone = true;
    StopWorker();
    FreeChannelTable();
    m_Ferrylink.SetListAcceptedHandler(nullptr);
    try {
        NoteUnsentOrders();
    } catch (...) {
        NorvLog("CNorvCondMgr::NoteUnsentOrders - unexpected failure");
    }
    ForgetRecordedOrders();
    NorvLog("\nCNorvCondMgr::EngageStandard - LAST STAGE\n");
    m_Ferrylink.SRVQRY_CloseSession();
    CNorvTrace::Instance().Close();
    LogAddEntry("Norvelia", result == 0 ? slSyncDone : slSyncFailed, 0);
    // Only a handle that registration gave is given back.
    if (m_Registered) SyncUnRegisterConduit(m_ConduitHandle);
    m_Registered = false;
    m_Ferrylink.SetIPC(nullptr);
    m_Monitor.Destroy();
}

void CNorvCondMgr::ProcessAllChannels()
{
    std::string failure;
    try {
        NorvLog("CNorvCondMgr::ProcessAllChannels - SERVER REQUEST : STEP 1 Catalogs declaration");
        m_Ferrylink.SRVQRY_DeclareCatalogs();
        ReportChannelsLeftOut();
        const int count = int(m_Ferrylink.GetNbChannelsToProcess());
        m_DownloadCount = m_Ferrylink.GetNbChannelsToDownload();
        m_Monitor.SetStatus1(KESA_FormatMessage(2062));
        m_Monitor.SetRange2(0, 2 * m_DownloadCount);
        m_Monitor.SetPos2(0);
        m_Monitor.ShowBar2(true);
        m_Monitor.SetCancel(false);
        AllocChannelTable(count);
        StartWorker();
        return;
    } catch (const CKesaError& e) {
        failure = e.Argument();
    } catch (const std::exception& e) {
        failure = ExceptionText(e);
    } catch (...) {
        failure = KESA_FormatMessage(2021);
    }
    // Neither table nor worker: the install loop finds nothing to install.
    FreeChannelTable();
    m_DownloadCount = m_Ferrylink.GetNbChannelsToDownload();
    ReportError(true, 0, slWarning, "CNorvCondMgr::ProcessAllChannels", failure);
    palmkit::NoteRunFailure(VisibleText(failure));
    m_EndReason = KESA_FormatMessage(4113);
}

void CNorvCondMgr::ReportChannelsLeftOut()
{
    const std::vector<std::string>& left = m_Ferrylink.GetChannelsLeftOut();
    if (left.empty()) return;
    std::string names;
    const size_t shown = std::min<size_t>(left.size(), 5);
    for (size_t i = 0; i < shown; ++i) names += (i ? ", " : "") + VisibleText(left[i]);
    const size_t more = left.size() - shown;
    // "et 1 autre", not "et 1 autres"; one channel "is" left, several "are".
    if (more == 1) names = KESA_FormatMessage(4636, names);
    if (more > 1) names += KESA_FormatMessage(4108, int(more));
    const std::string text = left.size() == 1 ? KESA_FormatMessage(4638, int(MaxNewChannels()), names)
                                              : KESA_FormatMessage(4119, int(MaxNewChannels()), names);
    ReportError(true, 0, slWarning, "CNorvCondMgr::ProcessAllChannels", text);
    palmkit::NoteFailure(palmkit::RunFailure::Channel, names, text);
}

void CNorvCondMgr::StartWorker()
{
    StopWorker();
    m_StopWorker.store(false);
    // Set before the thread exists, so that "not running" means it ended.
    m_WorkerRunning.store(true);
    try {
        m_Worker = std::thread(&CNorvCondMgr::WorkerMain, this);
    } catch (...) {
        m_WorkerRunning.store(false);
        throw;
    }
}

void CNorvCondMgr::StopWorker()
{
    m_StopWorker.store(true);
    if (m_Worker.joinable()) m_Worker.join();
}

void CNorvCondMgr::WorkerMain()
{
    m_WorkerFlag.store(false);
    ProcessChannelsBody();
    m_WorkerRunning.store(false);
    NotifyChannelChange();
}

long CNorvCondMgr::ProcessChannelsBody()
{
    const std::string context = "CNorvCondMgr::ProcessAllChannels";
    long counter = 1;
    for (;;) {
        if (m_Monitor.IsCancelled()) {
            NorvLog("CNorvCondMonitor -> User ask to stop the synchronization");
            palmkit::NoteAbandoned();
            SetProcessCancel(true);
            m_Monitor.SetPos2(2 * m_DownloadCount);
            m_Monitor.SetStatus2(KESA_FormatMessage(2063));
            return 1;
        }
        // The run is ending: stop between two channels.
        const int k = m_StopWorker.load() ? -1 : TakeNextChannel();
        if (k == -1) {
            m_Monitor.SetStatus2(KESA_FormatMessage(2063));
            return 0;
        }
        std::string id;
        try {
            CChannelData* channel = m_Ferrylink.GetChannelData(k);
            id = channel->GetChannelId();
            NorvLog("CNorvCondMgr::ProcessAllChannels - SERVER REQUEST : STEP 2 Processing channel %s", id);
            const bool toDownload = channel->IsChannelToDownload();
            if (toDownload) {
                m_Monitor.SetStatus2(KESA_FormatMessage(2047, id));
                m_Monitor.SetPos2(counter++);
            }
            m_Ferrylink.SRVQRY_ProcessChannel(k);
            MarkChannel(k, ChannelProcessed);
            if (toDownload) m_Monitor.SetPos2(counter++);
        } catch (const CKesaError& e) {
            const int n = e.Number();
            const std::string text =
                (n == 2000 || n == 2003 || n == 2006) ? e.Argument() : KESA_FormatMessage(2019, id, e.Argument());
            ReportError(true, 0, slWarning, context, text);
            palmkit::NoteFailure(palmkit::RunFailure::Channel, id, text);
            MarkChannel(k, ChannelSkipped);
        } catch (const std::exception& e) {
            const std::string text = KESA_FormatMessage(2018, ExceptionText(e));
            ReportError(true, 0, slWarning, context, text);
            palmkit::NoteFailure(palmkit::RunFailure::Channel, id, text);
            MarkChannel(k, ChannelSkipped);
            return 1;
        } catch (...) {
            const std::string text = KESA_FormatMessage(2018, std::string("unknown exception"));
            ReportError(true, 0, slWarning, context, text);
            palmkit::NoteFailure(palmkit::RunFailure::Channel, id, text);
            MarkChannel(k, ChannelSkipped);
            return 1;
        }
    }
}
