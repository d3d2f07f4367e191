// A small conduit for the hotsync tests: reads the handheld, writes a record
// and a new database, queues an install, asks a question and logs what it did.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <cstring>
#include <string>
#include <vector>

#include "palmkit/Condapi.h"
#include "palmkit/HsLog.h"
#include "palmkit/InstallAide.h"
#include "palmkit/SyncMgr.h"
#include "seam/Ui.h"

namespace {

void Log(const std::string& text, int activity)
{
    LogAddEntry(text.c_str(), activity, 0);
}

std::string Code(DWORD v)
{
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += char(v >> shift);
    return s;
}

long Run(PROGRESSFN progress, CSyncProperties* props)
{
    progress("TestConduit starting");
    CSyncSystemInfo sys{};
    if (long rc = SyncReadSystemInfo(&sys)) return rc;
    if (props->m_SyncType == eDoNothing) {
        Log("TestConduit - sync configured to Do Nothing", slText);
        return 0;
    }
    CONDHANDLE conduit = 0;
    if (long rc = SyncRegisterConduit(&conduit)) return rc;
    CSyncCardInfo card{};
    long result = SyncReadSingleCardInfo(&card);
    WORD count = card.m_DbCount;
    std::vector<CSyncDbListEntry> list(count);
    if (result == 0) result = SyncReadDBList(0, 0, eDbListRam, list.data(), &count);
    bool fail = false;
    if (result == 0) {
        Log("TestConduit: " + std::to_string(count) + " databases for " + props->m_UserName + " in " +
                props->m_PathName,
            slText);
        for (WORD i = 0; i < count; ++i) {
            Log(std::string("db ") + list[i].m_Name + " " + Code(list[i].m_DbType) + "/" + Code(list[i].m_Creator),
                slText);
            if (std::strcmp(list[i].m_Name, "FailMe") == 0) fail = true;
        }
    }

    auto view = platform::UiHost().CreateProgressView();
    view->SetTitle("TestConduit");
    view->SetStatus1("Updating Notes");
    view->Show();
    BYTE h = 0;
    if (result == 0 && SyncOpenDB("Notes", 0, &h, eDbRead | eDbWrite | eDbShowSecret) == 0) {
        BYTE buf[1024];
        int seen = 0;
        for (int guard = 0; guard < 1000; ++guard) {
            CSyncRecord r;
            r.m_FileHandle = h;
            r.m_CatId = 1;
            r.m_pBytes = buf;
            r.m_TotalBytes = sizeof buf;
            if (SyncReadNextRecInCategory(&r) != 0) break;
            ++seen;
            SyncYieldCycles(1);
        }
        std::string text = std::string("visited by ") + props->m_UserName;
        CSyncRecord w;
        w.m_FileHandle = h;
        w.m_CatId = 1;
        w.m_pBytes = reinterpret_cast<BYTE*>(text.data());
        w.m_RecSize = DWORD(text.size());
        const long rc = SyncWriteRec(&w);
        SyncCloseDB(h);
        Log("Notes: " + std::to_string(seen) + " records, wrote id " + std::to_string(w.m_RecId), rc ? slWriteError : slText);
    }
    CSyncCreateDb create{};
    std::strcpy(create.m_Name, "TestCreated");
    create.m_Creator = FourCC("TEST");
    create.m_Type = FourCC("DATA");
    if (SyncCreateDB(&create) == 0) {
        CSyncRecord w;
        w.m_FileHandle = create.m_FileHandle;
        w.m_CatId = 2;
        std::string text = "created";
        w.m_pBytes = reinterpret_cast<BYTE*>(text.data());
        w.m_RecSize = DWORD(text.size());
        SyncWriteRec(&w);
        SyncCloseDB(create.m_FileHandle);
    }
    if (const char* install = std::getenv("TESTCONDUIT_INSTALL"))
        Log("PltInstallFile: " + std::to_string(PltInstallFile(props->m_UserName, install)), slText);
    if (std::getenv("TESTCONDUIT_ASK")) {
        const auto answer = platform::UiHost().ShowMessage("Go on?", "TestConduit", platform::MsgIcon::Question,
                                                           platform::MsgButtons::YesNo, platform::MsgResult::Yes);
        Log(answer == platform::MsgResult::Yes ? "answer: yes" : "answer: no", slText);
    }
    if (const char* ready = std::getenv("TESTCONDUIT_WAIT_CANCEL")) {
        // Waits for the user's "Abandon", a bounded while.
        std::ofstream(ready) << "ready\n";
        bool abandoned = false;
        for (int i = 0; i < 3000 && !abandoned; ++i) {
            SyncYieldCycles(1);
            abandoned = view->IsCancelled();
            if (!abandoned) ::usleep(10000);
        }
        Log(abandoned ? "abandoned by the user" : "never abandoned", slText);
    }
    view->Hide();
    Log("escapes: back\\slash\ttab\nnew line", slText);
    if (fail) result = 4100;
    Log("TestConduit", result == 0 ? slSyncDone : slSyncFailed);
    SyncUnRegisterConduit(conduit);
    return result;
}

} // namespace

extern "C" {

NORV_EXPORT long OpenConduit(PROGRESSFN progress, CSyncProperties* props)
{
    if (progress == nullptr || props == nullptr) return -1;
    try {
        return Run(progress, props);
    } catch (...) {
        return -1;
    }
}

NORV_EXPORT long GetConduitName(char* buffer, WORD length)
{
    if (buffer == nullptr || length == 0) return CONDERR_INVALID_PTR;
    std::memset(buffer, 0, length);
    std::strncpy(buffer, "TestConduit", length - 1);
    return 0;
}

NORV_EXPORT DWORD GetConduitVersion()
{
    return 0x0102;
}

NORV_EXPORT long CfgConduit(int kind, void* block, DWORD* size)
{
    if (block == nullptr) return CONDERR_INVALID_INPUT_BLOCK;
    if (size == nullptr) return CONDERR_INVALID_SIZE_PTR;
    if (*size != sizeof(CfgConduitInfo)) return CONDERR_INVALID_CFG_SIZE;
    if (kind != eCfgStandard) return CONDERR_UNSUPPORTED_CFGCONDUIT_ENUM;
    auto* cfg = static_cast<CfgConduitInfo*>(block);
    platform::SyncActionRequest request;
    request.conduitName = "TestConduit";
    request.action = cfg->m_syncTemporary <= 3 ? 0 : 3;
    if (!platform::UiHost().AskSyncAction(request)) return -1;
    cfg->m_syncNew = request.action <= 2 ? eFast : eDoNothing;
    cfg->m_syncPref = request.makeDefault ? ePermanentPreference : eTemporaryPreference;
    return 0;
}

} // extern "C"
