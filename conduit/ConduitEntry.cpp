// The entry points that the HotSync Manager looks up in the conduit library,
// and the library's start-up and shut-down.
#include <cstring>
#include <memory>
#include <new>

#include "conduit/ConduitModule.h"
#include "conduit/NorvConduit.h"
#include "lexmo/Language.h"
#include "lexmo/Lexmo.h"
#include "platform/Version.h"
#include "seam/Ui.h"
#include "settings/RegSettings.h"

namespace {

constexpr DWORD kFrameworkVersion = 0x0500;
constexpr std::size_t kNameBufferSize = 256;

__attribute__((constructor)) void LibraryStartup()
{
    ConduitStartup();
}

__attribute__((destructor)) void LibraryShutdown()
{
    ConduitShutdown();
}

// The dialog's action for a sync type, and the sync type for a chosen action.
int ActionFor(long syncType)
{
    return syncType >= eFast && syncType <= ePCtoHH ? 0 : 3;
}

int SyncTypeFor(int action)
{
    return action >= 0 && action <= 2 ? eFast : eDoNothing;
}

// The action dialog speaks the language the user's runs speak; the texts
// already loaded stay when the catalog cannot be.
void LoadMessagesFor(const std::string& user)
{
    CRegSettings settings;
    settings.Init(user, "Tidepost");
    KESA_LoadMessages(lexmo::ChosenCatalog(settings.GetMsgDll()).c_str());
}

} // namespace

extern "C" {

NORV_EXPORT long GetConduitInfo(int kind, void* in, void* out, DWORD* length);

NORV_EXPORT long OpenConduit(PROGRESSFN progress, CSyncProperties* properties)
{
    if (progress == nullptr || properties == nullptr) return -1;
    try {
        auto conduit = std::make_unique<CNorvConduit>(progress, *properties, ConduitResourceModule());
        return conduit->Open();
    } catch (...) {
        return -1;
    }
}

NORV_EXPORT long GetConduitName(char* buffer, WORD length)
{
    if (buffer == nullptr) return CONDERR_INVALID_PTR;
    CopyConduitName(buffer, length);
    return 0;
}

NORV_EXPORT DWORD GetConduitVersion()
{
    return kConduitVersionNumber;
}

NORV_EXPORT long GetConduitInfo(int kind, void* in, void* out, DWORD* length)
{
    if (out == nullptr) return CONDERR_INVALID_PTR;
    if (length == nullptr) return CONDERR_INVALID_OUTSIZE_PTR;
    switch (kind) {
    case eConduitName: {
        if (in == nullptr) return CONDERR_INVALID_INPUT_BLOCK;
        ConduitRequestInfo request{};
        std::memcpy(&request, in, sizeof request.m_dwVersion + sizeof request.m_dwSize);
        if (request.m_dwVersion != kConduitRequestVersion || request.m_dwSize != sizeof(ConduitRequestInfo))
            return CONDERR_UNSUPPORTED_STRUCT_VERSION;
        CopyConduitName(static_cast<char*>(out), *length);
        return 0;
    }
    case eMfcVersion:
    case eDefaultAction: {
        if (*length != sizeof(DWORD)) return CONDERR_INVALID_BUFFER_SIZE;
        const DWORD value = kind == eMfcVersion ? kFrameworkVersion : 0;
        std::memcpy(out, &value, sizeof value);
        return 0;
    }
    default: return CONDERR_UNSUPPORTED_CONDUITINFO_ENUM;
    }
}

NORV_EXPORT long ConfigureConduit(CSyncPreference* preferences)
{
    if (preferences == nullptr) return -1;
    try {
        preferences->m_SyncPref = eNoPreference;
        char name[80];
        CopyConduitName(name, sizeof name);
        LoadMessagesFor(std::string());
        platform::SyncActionRequest request;
        request.conduitName = name;
        platform::UiHost().ShowMessage("ConfigureConduit appelé", std::string(), platform::MsgIcon::None,
                                       platform::MsgButtons::Ok, platform::MsgResult::Ok);
        request.action = ActionFor(preferences->m_SyncType);
        if (!platform::UiHost().AskSyncAction(request)) return -1;
        preferences->m_SyncType = SyncTypeFor(request.action);
        preferences->m_SyncPref = request.makeDefault ? ePermanentPreference : eTemporaryPreference;
        return 0;
    } catch (...) {
        return -1;
    }
}

NORV_EXPORT long CfgConduit(int kind, void* block, DWORD* size)
{
    if (block == nullptr) return CONDERR_INVALID_INPUT_BLOCK;
    if (size == nullptr) return CONDERR_INVALID_SIZE_PTR;
    if (*size != sizeof(CfgConduitInfo)) return CONDERR_INVALID_CFG_SIZE;
    if (kind != eCfgStandard) return CONDERR_UNSUPPORTED_CFGCONDUIT_ENUM;
    auto* cfg = static_cast<CfgConduitInfo*>(block);
    if (cfg->m_dwVersion != kCfgConduitVersion) return CONDERR_UNSUPPORTED_CFG_VERSION;

    ConduitRequestInfo request{};
    request.m_dwVersion = kConduitRequestVersion;
    request.m_dwSize = sizeof request;
    request.m_dwCreatorId = FourCC("KESA");
    request.m_dwUserId = cfg->m_dwUserId;
    const std::size_t userLength = strnlen(cfg->m_szUser, sizeof cfg->m_szUser - 1);
    std::memcpy(request.m_szUser, cfg->m_szUser, userLength);
    char name[kNameBufferSize];
    DWORD nameSize = sizeof name;
    if (const long rc = GetConduitInfo(eConduitName, &request, name, &nameSize); rc != 0) return rc;
    try {
        LoadMessagesFor(std::string(cfg->m_szUser, userLength));
        platform::SyncActionRequest action;
        action.conduitName = name;
        action.action = ActionFor(long(cfg->m_syncTemporary));
        if (!platform::UiHost().AskSyncAction(action)) return -1;
        cfg->m_syncNew = DWORD(SyncTypeFor(action.action));
        cfg->m_syncPref = DWORD(action.makeDefault ? ePermanentPreference : eTemporaryPreference);
        return 0;
    } catch (...) {
        return -1;
    }
}

} // extern "C"

NORV_EXPORT long SubscriptionSupported()
{
    return 0;
}
