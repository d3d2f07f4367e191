// A handheld database opened through the Sync Manager, closed again on every
// path out of the function that opened it.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "palmkit/SyncMgr.h"
#include "quillio/PdbRecord.h"

class COpenDatabase {
public:
    COpenDatabase() = default;
    ~COpenDatabase() { Close(); }
    COpenDatabase(const COpenDatabase&) = delete;
    COpenDatabase& operator=(const COpenDatabase&) = delete;

    // Opens `name` on card 0; the Sync Manager's result.
    long Open(const std::string& name, BYTE mode)
    {
        Close();
        BYTE handle = 0;
        const long rc = SyncOpenDB(name.c_str(), 0, &handle, mode);
        m_Handle = handle;
        m_Open = rc == SYNCERR_NONE;
        return rc;
    }
    // Takes over a handle that SyncCreateDB gave.
    void Adopt(BYTE handle)
    {
        Close();
        m_Handle = handle;
        m_Open = true;
    }
    // Closes (writing back what changed); 0 when nothing was open.
    long Close()
    {
        if (!m_Open) return SYNCERR_NONE;
        m_Open = false;
        return SyncCloseDB(m_Handle);
    }
    // The handle is gone without a close (a created database dropped).
    void Forget() { m_Open = false; }
    bool IsOpen() const { return m_Open; }
    BYTE Handle() const { return m_Handle; }

private:
    BYTE m_Handle = 0;
    bool m_Open = false;
};

// The name of a database-list entry, which ends at its zero byte or at 32 bytes.
inline std::string EntryName(const CSyncDbListEntry& entry)
{
    return std::string(entry.m_Name, ::strnlen(entry.m_Name, sizeof entry.m_Name));
}

// Room for the largest record a database holds, with one byte to spare.
constexpr std::size_t kRecordBufferSize = 65536;

// Reads the next record of `category` after the handle's cursor into
// `buffer` (kRecordBufferSize bytes) and, on success, into `record`: its
// bytes, its id and its attribute byte (category in the low four bits).
inline long ReadNextRecord(BYTE handle, short category, std::vector<BYTE>& buffer, CPdbRecord& record)
{
    buffer.resize(kRecordBufferSize);
    CSyncRecord rec;
    rec.m_FileHandle = handle;
    rec.m_CatId = category;
    rec.m_pBytes = buffer.data();
    rec.m_TotalBytes = kSyncMaxBlock;
    const long rc = SyncReadNextRecInCategory(&rec);
    if (rc != SYNCERR_NONE) return rc;
    record.SetData(buffer.data(), long(rec.m_RecSize));
    record.m_UniqueId = rec.m_RecId;
    record.m_Attrib = BYTE((rec.m_Attribs & 0xF0) | (category & 0x0F));
    return SYNCERR_NONE;
}

// Writes `size` bytes as record `recordId` (0: a new record) of `category`,
// attributes 0.
inline long WriteRecord(BYTE handle, DWORD recordId, short category, const BYTE* data, DWORD size)
{
    CSyncRecord rec;
    rec.m_FileHandle = handle;
    rec.m_RecId = recordId;
    rec.m_Attribs = 0;
    rec.m_CatId = category;
    rec.m_pBytes = const_cast<BYTE*>(data);
    rec.m_RecSize = size;
    return SyncWriteRec(&rec);
}
