// One synchronization run: reads the service's databases on the handheld,
// hands them to the server client, has a worker thread process the channels
// and, meanwhile, applies the answers to the handheld and installs what came.
#pragma once
#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "client/Ferrylink.h"
#include "client/KesaSession.h"
#include "conduit/NorvCondMonitor.h"
#include "conduit/NorvDbList.h"
#include "conduit/OrderJournal.h"
#include "palmkit/RunReport.h"
#include "palmkit/SyncMgr.h"
#include "settings/RegSettings.h"

class CPdbFile;

class CNorvCondMgr {
public:
    CNorvCondMgr();
    virtual ~CNorvCondMgr();
    CNorvCondMgr(const CNorvCondMgr&) = delete;
    CNorvCondMgr& operator=(const CNorvCondMgr&) = delete;

    // The whole run; 0 when it went through, also when it stopped early for a
    // connection problem or a cancel; the Sync Manager's code when the
    // conduit could not be registered; 4100 when the card or its database
    // list could not be read; 4192 when the server client could not start.
    // An exception that escapes the run is passed on after the last stage ran.
    long EngageStandard();

    // "/test.bin" beside the server URL: everything up to its last "/".
    static std::string ProbeUrl(const std::string& serverUrl);
    // Channel ids compare without regard to case: the key they are kept under.
    static std::string ChannelKey(std::string id);

    // The worker body, run on the worker thread: 0 when it ran out of
    // channels, 1 when it stopped on a cancel or an unexpected exception.
    virtual long ProcessChannelsBody();

    // Copied from the HotSync Manager's synchronization properties.
    std::string m_UserName;
    std::string m_PathName;   // ends with a separator
    std::string m_LocalName;
    std::string m_Registry;

    // --- set-up -------------------------------------------------------------
    bool InitResources();
    bool InitFerrylink();

    // --- channel processing (worker) ----------------------------------------
    // A warning naming the channels the declaration left out, if any.
    void ReportChannelsLeftOut();
    void ProcessAllChannels();

    // --- reading the handheld into the client -------------------------------
    std::string GetChannelIdFromCatalogName(const std::string& name);
    std::string GetChannelIdFromListAppInfo(const BYTE* appInfo, DWORD size);
    int GetChannelTypeFromAppInfo(const BYTE* appInfo, DWORD size);
    void StoreCatalogInFerrylink(const CSyncDbListEntry& entry, std::string& nameString);
    void StoreListInFerrylink(const CSyncDbListEntry& entry, std::string& nameString);
    void StoreUserCtxInFerrylink(const CSyncDbListEntry& entry, std::string& nameString);

    // --- post-synchronization updates ---------------------------------------
    void PerformCatalogPostSynchro(const CSyncDbListEntry& entry, const std::string& channelId);
    void PerformListPostSynchro(const CSyncDbListEntry& entry, const std::string& channelId);
    // The list's order got no answer: the list stays, whatever else the run does to it.
    static bool OrderStillWaits(const CSynchPdb* listPdb);
    void UpdateListAppInfo(BYTE handle, const std::string& listName, CChannelData* channel);
    void UpdateListItemRefs(BYTE handle, const std::string& listName, CChannelData* channel);
    // True when the order record was written back.
    bool UpdateListOrderInfo(BYTE handle, const std::string& listName, DWORD listType,
                             const std::string& channelId, CSynchPdb* listPdb);
    void PerformUserCtxPostSynchro(const CSyncDbListEntry& entry);

    // --- installs -------------------------------------------------------------
    bool InstallPdbFile(const std::string& path, int& channelType, DWORD& value);
    void InstallChannelPdbs(CChannelData* channel);
    std::string GetGameReferenceFromPdbFile(const std::string& path);
    void InstallUserPdb();
    // Says why a file of the channel was not installed, and whose fault it is.
    void ReportInstallFailure(const std::string& channelId, const std::string& path, bool isCatalog);
    // What made the last InstallPdbFile fail.
    enum class InstallFault { None, Damaged, Refused, Handheld };
    InstallFault m_InstallFault = InstallFault::None;

    // Members a run is made of; public so that tests can set up one stage.
    std::atomic<bool> m_WorkerRunning{false};
    std::atomic<bool> m_WorkerFlag{false};
    CRegSettings m_Settings;
    CKesaSession m_Session;
    CNorvCondMonitor m_Monitor;
    CFerrylink m_Ferrylink;
    CNorvDbList m_DbList;
    COrderJournal m_Journal;

    // The install loop: installs what the worker processed, until every channel
    // is handled or skipped; false when a cancel was seen or the user said
    // "No", and the run goes to its last stage at once.
    bool InstallProcessedChannels();
    // The longest the install loop waits for the worker when no channel is
    // ready; any change of the channel table ends the wait at once.
    std::chrono::milliseconds m_IdleWait{1000};

    // Starts the worker on the channel table in force.
    void StartWorker();
    // Asks the worker to stop after its current channel and joins it.
    void StopWorker();

    // --- orders the service accepted (see COrderJournal) ----------------------
    // Worker thread: journals an order as soon as the service accepted it.
    void JournalAcceptedOrder(const std::string& channelId, const CSynchPdb& list);
    // An active order the journal says was accepted: recorded on the handheld
    // from the journal, not sent again. False when the handheld could not
    // record it (it stays in the journal).
    bool CompleteJournaledOrder(const CSyncDbListEntry& entry, const std::string& channelId,
                                const COrderJournal::Entry& accepted);
    // Drops the journal's entries that the handheld no longer needs.
    void PruneOrderJournal();
    // At the end of a run: the entries of the orders the handheld recorded go,
    // once its files are written.
    void ForgetRecordedOrders();
    // The order of that list reached the handheld: its entry goes at the end.
    void OrderRecorded(const std::string& channelId, const std::string& listName);

    // --- databases that stay until what replaces them is in place -----------
    // Deleting an outdated database waits for its replacement: kept when it
    // could not be installed.
    void AwaitReplacement(const std::string& channelId, const std::string& name, bool isCatalog,
                          bool damaged = false);
    void SettleReplacements(const std::string& channelId, bool catalogInstalled, const std::string& newCatalog,
                            bool listInstalled, const std::string& newList);
    // Why the file the service sent as the handheld application may not be
    // installed; empty when it may: a whole resource database of creator
    // "KESA" and type "appl" that replaces nothing but the application.
    std::string RefuseApplication(const std::string& path) const;
    // Deletes a database of the handheld, saying in the HotSync log which and why.
    long DeleteDatabase(const std::string& name, const std::string& why);

    // --- what the run tells at its end (palmkit/RunReport.h) ----------------
    // The fate of the order of a list, once known.
    void NoteOrderFate(palmkit::OrderFate fate, const std::string& channelId, const std::string& listName,
                       const std::string& date, const std::string& why);
    // The fate of an order sent in this run, from the service's answer.
    void NoteSentOrderFate(const std::string& channelId, const CSynchPdb& list);
    // At the last stage: every active order without a fate was not sent.
    void NoteUnsentOrders();
    // The active orders of the handheld's lists, read without a change, for
    // a run that ended before reading them.
    void ReadActiveOrders();
    // Why this run sent no order, when it ended early; empty otherwise.
    std::string m_EndReason;
    // The second stage read the handheld's lists.
    bool m_ListsRead = false;

private:
    static constexpr long kCardReadFailed = 4100;
    static constexpr long kClientInitFailed = 4192;

    long Run();
    void WorkerMain();
    void InstallOneChannel(int index, bool cancelSeen, int& installed, bool& stop);
    void OpenOrderJournal();
    void LastStage(long result);
    // The person stopped the run, or said "No" after a cancel.
    void NoteCancel();

    std::thread m_Worker;
    std::atomic<bool> m_StopWorker{false};
    // Channels to download, counted as processing starts: bar 2's range.
    int m_DownloadCount = 0;
    CONDHANDLE m_ConduitHandle = 0;
    bool m_Registered = false;
    bool m_LastStageDone = false;

    // Creation date of each order sent, by lower-case channel id and list name.
    std::map<std::pair<std::string, std::string>, DWORD> m_SentOrders;
    // Creation date of the order read from each list (0: none active).
    std::map<std::string, DWORD> m_ListOrders;
    // Orders the handheld records since this run: their journal entries go
    // once its files are written.
    std::vector<COrderJournal::Entry> m_OrdersRecorded;
    // Channels (lower case) whose catalog is on the handheld but unreadable.
    std::set<std::string> m_DamagedCatalogs;
    // Channel id of each list read with an active order; lists whose order
    // has its fate noted.
    std::map<std::string, std::string> m_ActiveOrders;
    std::set<std::string> m_FatedOrders;
    struct Awaiting {
        std::string name;
        bool isCatalog = false;
        bool damaged = false; // unreadable: nothing but its replacement is said of it
    };
    // By lower-case channel id: databases waiting for their replacement.
    std::map<std::string, std::vector<Awaiting>> m_Awaiting;

public:
    // A database the service's file may take the place of: one waiting for
    // its replacement, or a damaged one of the same kind.
    bool MayReplace(const std::string& name, DWORD type) const;
};
