// The conduit interface: what the HotSync Manager gives a conduit and the
// entry points it looks up in the conduit's library.
#pragma once
#include <cstddef>

#include "seam/Export.h"
#include "seam/Types.h"

// Sync types.
enum eSyncTypes : int {
    eFast = 0,
    eSlow = 1,
    eHHtoPC = 2,
    ePCtoHH = 3,
    eInstall = 4,
    eBackup = 5,
    eDoNothing = 6,
    eProfileInstall = 7,
};

// Preference of a configuration: none, permanent (make default), this sync only.
enum eSyncPref : int {
    eNoPreference = 0,
    ePermanentPreference = 1,
    eTemporaryPreference = 2,
};

// GetConduitInfo kinds.
enum eConduitInfo : int {
    eConduitName = 0,
    eMfcVersion = 1,
    eDefaultAction = 2,
};

// Result codes of the entry points' argument checks.
constexpr long CONDERR_UNSUPPORTED_CONDUITINFO_ENUM = 4208;
constexpr long CONDERR_INVALID_PTR = 4209;
constexpr long CONDERR_BUFFER_TOO_SMALL = 4210;
constexpr long CONDERR_INVALID_BUFFER_SIZE = 4211;
constexpr long CONDERR_INVALID_INPUT_BLOCK = 4212;
constexpr long CONDERR_UNSUPPORTED_STRUCT_VERSION = 4213;
constexpr long CONDERR_INVALID_OUTSIZE_PTR = 4215;
constexpr long CONDERR_INVALID_SIZE_PTR = 4216;
constexpr long CONDERR_UNSUPPORTED_CFGCONDUIT_ENUM = 4217;
constexpr long CONDERR_INVALID_CFG_SIZE = 4218;
constexpr long CONDERR_UNSUPPORTED_CFG_VERSION = 4219;
constexpr long CONDERR_BAD_SYNC_TYPE = 4114;

constexpr std::size_t kCondNameSize = 64;
constexpr std::size_t kCondPathSize = 256;

#pragma pack(push, 1)

// The synchronization properties of one run, filled by the HotSync Manager.
struct CSyncProperties {
    int m_SyncType;                   // eSyncTypes
    char m_UserName[kCondNameSize];   // the HotSync user's name
    char m_PathName[kCondPathSize];   // the user's directory, ending with '/'
    char m_LocalName[kCondPathSize];  // the conduit's local file name (may be empty)
    char m_Registry[kCondPathSize];   // the conduit's registry key path
    char m_HandheldDir[kCondPathSize];// where the handheld's databases are (informative)
    DWORD m_Creator;                  // the conduit's creator id
    DWORD m_UserId;
    WORD m_CardNo;
    WORD m_Reserved;
};

// The preferences that ConfigureConduit edits.
struct CSyncPreference {
    int m_SyncType;                   // eSyncTypes
    int m_SyncPref;                   // eSyncPref
    char m_PathName[kCondPathSize];
    char m_Registry[kCondPathSize];
};

// The configuration block of CfgConduit: 352 bytes.
struct CfgConduitInfo {
    DWORD m_dwVersion;                // 0: kCfgConduitVersion
    DWORD m_dwSize;                   // 4: 352
    DWORD m_dwCreatorId;              // 8
    DWORD m_dwUserId;                 // 12
    char m_szUser[64];                // 16
    char m_szUserPath[256];           // 80
    DWORD m_syncPermanent;            // 336
    DWORD m_syncTemporary;            // 340: the sync type in force
    DWORD m_syncNew;                  // 344: out
    DWORD m_syncPref;                 // 348: out, eSyncPref
};

// The conduit request block of GetConduitInfo: 80 bytes.
struct ConduitRequestInfo {
    DWORD m_dwVersion;                // 0: kConduitRequestVersion
    DWORD m_dwSize;                   // 4: 80
    DWORD m_dwCreatorId;              // 8
    DWORD m_dwUserId;                 // 12
    char m_szUser[64];                // 16
};

#pragma pack(pop)

constexpr DWORD kCfgConduitVersion = 1;
constexpr DWORD kConduitRequestVersion = 1;
constexpr int eCfgStandard = 0;       // CfgConduit kind

static_assert(sizeof(CfgConduitInfo) == 352);
static_assert(offsetof(CfgConduitInfo, m_syncPermanent) == 336);
static_assert(sizeof(ConduitRequestInfo) == 80);

// The HotSync Manager's progress callback: a status text.
using PROGRESSFN = long (*)(const char* text);

// Entry points a conduit library exports (looked up by these names).
extern "C" {
using OpenConduitFn = long (*)(PROGRESSFN progress, CSyncProperties* properties);
using GetConduitNameFn = long (*)(char* buffer, WORD length);
using GetConduitVersionFn = DWORD (*)();
using GetConduitInfoFn = long (*)(int kind, void* in, void* out, DWORD* length);
using ConfigureConduitFn = long (*)(CSyncPreference* preferences);
using CfgConduitFn = long (*)(int kind, void* block, DWORD* size);
}
// SubscriptionSupported keeps its C++ name: long SubscriptionSupported().
using SubscriptionSupportedFn = long (*)();

constexpr const char* kOpenConduitName = "OpenConduit";
constexpr const char* kGetConduitNameName = "GetConduitName";
constexpr const char* kGetConduitVersionName = "GetConduitVersion";
constexpr const char* kGetConduitInfoName = "GetConduitInfo";
constexpr const char* kConfigureConduitName = "ConfigureConduit";
constexpr const char* kCfgConduitName = "CfgConduit";
constexpr const char* kSubscriptionSupportedName = "_Z21SubscriptionSupportedv";
