// The Sync Manager: what a conduit reads and writes on the handheld during a
// HotSync run. The calls serve the handheld directory that the HotSync
// Manager attached (palmkit/Handheld.h). Every call returns 0 or one of the
// SYNCERR_ codes below; structures are packed so that their fields sit at
// fixed byte offsets.
#pragma once
#include <cstddef>

#include "seam/Export.h"
#include "seam/Types.h"

// Result codes.
constexpr long SYNCERR_NONE = 0;
constexpr long SYNCERR_UNKNOWN = 0x4001;
constexpr long SYNCERR_MORE = 0x4002;
constexpr long SYNCERR_NOT_FOUND = 0x4003;
constexpr long SYNCERR_FILE_NOT_OPEN = 0x4004;
constexpr long SYNCERR_FILE_OPEN = 0x4005;
constexpr long SYNCERR_RECORD_BUSY = 0x4006;
constexpr long SYNCERR_RECORD_DELETED = 0x4007;
constexpr long SYNCERR_READ_ONLY = 0x4009;
constexpr long SYNCERR_COMM_NOT_INIT = 0x400A;
constexpr long SYNCERR_FILE_ALREADY_EXIST = 0x400B;
constexpr long SYNCERR_FILE_ALREADY_OPEN = 0x400C;
constexpr long SYNCERR_NO_FILES_OPEN = 0x400D;
constexpr long SYNCERR_BAD_OPERATION = 0x400E;
constexpr long SYNCERR_REMOTE_BAD_ARG = 0x400F;
constexpr long SYNCERR_BAD_ARG_WRAPPER = 0x4010;
constexpr long SYNCERR_ARG_MISSING = 0x4011;
constexpr long SYNCERR_LOCAL_BUFF_TOO_SMALL = 0x4012;
constexpr long SYNCERR_REMOTE_MEM = 0x4013;
constexpr long SYNCERR_REMOTE_NO_SPACE = 0x4014;
constexpr long SYNCERR_REMOTE_SYS = 0x4015;
constexpr long SYNCERR_LOCAL_MEM = 0x4016;
constexpr long SYNCERR_BAD_ARG = 0x4017;
constexpr long SYNCERR_LIMIT_EXCEEDED = 0x4018;
constexpr long SYNCERR_UNKNOWN_REQUEST = 0x4019;
constexpr long SYNCERR_TOO_MANY_OPEN_FILES = 0x10004403;
constexpr long SYNCERR_REMOTE_CANCEL_SYNC = 0x10004405;
constexpr long SYNCERR_LOCAL_CANCEL_SYNC = 0x10004411;
constexpr long SYNCERR_LOST_CONNECTION = 0x10006410;

// Open modes of SyncOpenDB (combined).
constexpr BYTE eDbRead = 0x80;
constexpr BYTE eDbWrite = 0x40;
constexpr BYTE eDbExclusive = 0x20;
constexpr BYTE eDbShowSecret = 0x10;

// Search flags of SyncReadDBList.
constexpr BYTE eDbListRam = 0x80;
constexpr BYTE eDbListRom = 0x40;

// Database header attributes.
constexpr WORD eDbResource = 0x0001;
constexpr WORD eDbReadOnly = 0x0002;
constexpr WORD eDbAppInfoDirty = 0x0004;
constexpr WORD eDbBackup = 0x0008;

// Record attributes (the high four bits of a record's attribute byte; the low
// four bits are its category).
constexpr BYTE eRecDeleted = 0x80;
constexpr BYTE eRecDirty = 0x40;
constexpr BYTE eRecBusy = 0x20;
constexpr BYTE eRecSecret = 0x10;

// Largest record or AppInfo block a database holds.
constexpr DWORD kSyncMaxBlock = 0xFFFF;

// Option of SyncReadOpenDbInfo: also count the records.
constexpr BYTE eOpenDbInfoCount = 0x80;

using CONDHANDLE = DWORD;

#pragma pack(push, 1)

struct CSyncSystemInfo {
    DWORD m_RomSoftVersion;   // 0x0MMmfsbb, as the handheld reports it
    DWORD m_LocaleId;
    DWORD m_UserId;
    char m_UserName[64];
    char m_ProductId[32];
    BYTE m_Reserved[16];
};

// In: m_CardNo (byte 0). Out: the rest; m_DbCount (byte 87) counts the RAM
// databases of the card.
struct CSyncCardInfo {
    BYTE m_CardNo;            // 0
    BYTE m_Reserved1;         // 1
    WORD m_CardVersion;       // 2
    DWORD m_CreateDate;       // 4
    DWORD m_RomSize;          // 8
    DWORD m_RamSize;          // 12
    DWORD m_FreeRam;          // 16
    BYTE m_CardNameLen;       // 20
    BYTE m_ManufNameLen;      // 21
    char m_CardName[32];      // 22
    char m_ManufName[32];     // 54
    BYTE m_Reserved2;         // 86
    WORD m_DbCount;           // 87
    WORD m_RomDbCount;        // 89
    BYTE m_Reserved3[7];      // 91
};

// One entry of the database list: 78 bytes.
struct CSyncDbListEntry {
    BYTE m_CardNo;            // 0
    BYTE m_MiscFlags;         // 1: eDbListDamaged
    WORD m_Reserved1;         // 2
    WORD m_DbFlags;           // 4: header attributes
    DWORD m_DbType;           // 6
    char m_Name[32];          // 10: zero-terminated
    DWORD m_Creator;          // 42
    WORD m_Version;           // 46
    DWORD m_ModNumber;        // 48
    WORD m_Index;             // 52
    DWORD m_CreateDate;       // 54
    DWORD m_ModDate;          // 58
    DWORD m_BackupDate;       // 62
    WORD m_RecCount;          // 66
    DWORD m_FileSize;         // 68
    BYTE m_Reserved2[6];      // 72
};
constexpr BYTE eDbListDamaged = 0x01;

// In: m_Options and m_DbHandle. Out: the rest; m_ModDate (byte 62) is the
// database's modification date.
struct CSyncOpenDbInfo {
    BYTE m_Options;           // 0
    BYTE m_DbHandle;          // 1
    WORD m_NumRecords;        // 2: with eOpenDbInfoCount, the records the handle sees
    WORD m_DbFlags;           // 4
    DWORD m_DbType;           // 6
    char m_Name[32];          // 10
    DWORD m_Creator;          // 42
    WORD m_Version;           // 46
    DWORD m_ModNumber;        // 48
    DWORD m_CreateDate;       // 52
    DWORD m_BackupDate;       // 56
    WORD m_OpenMode;          // 60
    DWORD m_ModDate;          // 62
    DWORD m_AppInfoSize;      // 66
    BYTE m_Reserved[10];      // 70
};

// In: everything but m_FileHandle, which receives the handle of the new
// database, open for reading and writing. The database appears when closed.
struct CSyncCreateDb {
    BYTE m_FileHandle;
    BYTE m_CardNo;
    WORD m_DbFlags;
    DWORD m_Creator;
    DWORD m_Type;
    WORD m_Version;
    char m_Name[32];
    DWORD m_Reserved;
};

#pragma pack(pop)

// A record crossing the Sync Manager. Reading: m_FileHandle and m_CatId in,
// m_pBytes a buffer of m_TotalBytes; out the record's id, index, attributes,
// category and size (m_RecSize, also when the buffer is too small). Writing:
// m_FileHandle, m_RecId (0 creates a record and receives its new id),
// m_Attribs, m_CatId, m_pBytes and m_RecSize.
struct CSyncRecord {
    BYTE m_FileHandle = 0;
    DWORD m_RecId = 0;
    WORD m_RecIndex = 0;
    BYTE m_Attribs = 0;
    short m_CatId = 0;
    BYTE* m_pBytes = nullptr;
    DWORD m_TotalBytes = 0;
    DWORD m_RecSize = 0;
};

static_assert(sizeof(CSyncCardInfo) == 98);
static_assert(offsetof(CSyncCardInfo, m_DbCount) == 87);
static_assert(sizeof(CSyncDbListEntry) == 78);
static_assert(offsetof(CSyncDbListEntry, m_DbFlags) == 4);
static_assert(offsetof(CSyncDbListEntry, m_DbType) == 6);
static_assert(offsetof(CSyncDbListEntry, m_Name) == 10);
static_assert(offsetof(CSyncDbListEntry, m_Creator) == 42);
static_assert(offsetof(CSyncDbListEntry, m_ModNumber) == 48);
static_assert(offsetof(CSyncDbListEntry, m_Index) == 52);
static_assert(offsetof(CSyncOpenDbInfo, m_ModDate) == 62);

extern "C" {
// Gives the conduit a handle; one conduit is registered at a time.
NORV_EXPORT long SyncRegisterConduit(CONDHANDLE* handle);
NORV_EXPORT long SyncUnRegisterConduit(CONDHANDLE handle);

NORV_EXPORT long SyncReadSystemInfo(CSyncSystemInfo* info);
NORV_EXPORT long SyncReadSingleCardInfo(CSyncCardInfo* info);
// Reads up to *count entries from `start` (databases ordered by name); *count
// receives the number read. SYNCERR_NOT_FOUND when none is left.
NORV_EXPORT long SyncReadDBList(BYTE cardNo, WORD start, BYTE searchFlags, CSyncDbListEntry* list, WORD* count);

NORV_EXPORT long SyncOpenDB(const char* name, BYTE cardNo, BYTE* handle, BYTE openMode);
// Writes a changed database back (whole, or not at all) and frees the handle.
NORV_EXPORT long SyncCloseDB(BYTE handle);
NORV_EXPORT long SyncCreateDB(CSyncCreateDb* create);
NORV_EXPORT long SyncDeleteDB(const char* name, BYTE cardNo);

// *size receives the block's size (also when the buffer is too small).
NORV_EXPORT long SyncReadDBAppInfoBlock(BYTE handle, BYTE* buffer, DWORD bufferSize, DWORD* size);
// A size of 0 removes the block.
NORV_EXPORT long SyncWriteDBAppInfoBlock(BYTE handle, const BYTE* data, DWORD size);

// One cursor per handle: the next record after the cursor in m_CatId
// (0..15). Secret records are seen only when opened with eDbShowSecret;
// deleted records are never returned.
NORV_EXPORT long SyncReadNextRecInCategory(CSyncRecord* record);
NORV_EXPORT long SyncResetRecordIndex(BYTE handle);
NORV_EXPORT long SyncWriteRec(CSyncRecord* record);
// Deletes the record m_RecId of m_FileHandle.
NORV_EXPORT long SyncDeleteRec(const CSyncRecord* record);

NORV_EXPORT long SyncReadOpenDbInfo(CSyncOpenDbInfo* info);

// Lets the HotSync Manager serve its user; call it often during long work.
NORV_EXPORT long SyncYieldCycles(WORD maxMilliseconds);
}

// The spelling the conduit's code uses.
inline long SyncDeleteDb(const char* name, BYTE cardNo)
{
    return SyncDeleteDB(name, cardNo);
}
