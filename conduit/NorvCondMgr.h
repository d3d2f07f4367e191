// One synchronization run: reads the service's databases on the handheld,
// hands them to the server client, has a worker thread process the channels
// and, meanwhile, applies the answers to the handheld and installs what came.
#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "client/Ferrylink.h"
#include "client/KesaSession.h"
#include "conduit/NorvCondMonitor.h"
#include "conduit/NorvDbList.h"
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
    long EngageStandard();

    // "/test.bin" beside the server URL: everything up to its last "/".
    static std::string ProbeUrl(const std::string& serverUrl);

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
    void UpdateListAppInfo(BYTE handle, const std::string& listName, CChannelData* channel);
    void UpdateListItemRefs(BYTE handle, const std::string& listName, CChannelData* channel);
    void UpdateListOrderInfo(BYTE handle, const std::string& listName, DWORD listType,
                             const std::string& channelId, CSynchPdb* listPdb);
    void PerformUserCtxPostSynchro(const CSyncDbListEntry& entry);

    // --- installs -------------------------------------------------------------
    bool InstallPdbFile(const std::string& path, int& channelType, DWORD& value);
    void InstallChannelPdbs(CChannelData* channel);
    std::string GetGameReferenceFromPdbFile(const std::string& path);
    void InstallUserPdb();

    // Members a run is made of; public so that tests can set up one stage.
    std::atomic<bool> m_WorkerRunning{false};
    std::atomic<bool> m_WorkerFlag{false};
    CRegSettings m_Settings;
    CKesaSession m_Session;
    CNorvCondMonitor m_Monitor;
    CFerrylink m_Ferrylink;
    CNorvDbList m_DbList;

    // Steps 20 to 26: installs what the worker processed, until every channel
    // is handled or skipped; false when a cancel was seen or the user said
    // "No", and the run goes to its last stage at once.
    bool InstallProcessedChannels();

    // Starts the worker on the channel table in force.
    void StartWorker();
    // Asks the worker to stop after its current channel and joins it.
    void StopWorker();

private:
    static constexpr long kCardReadFailed = 4100;
    static constexpr long kClientInitFailed = 4192;

    void WorkerMain();
    void InstallOneChannel(int index, bool cancelSeen, int& installed, bool& stop);
    void LastStage(long result);

    std::thread m_Worker;
    std::atomic<bool> m_StopWorker{false};
    // Counted before the worker starts, which then changes the channels.
    int m_DownloadCount = 0;
    CONDHANDLE m_ConduitHandle = 0;
    bool m_Registered = false;
};
