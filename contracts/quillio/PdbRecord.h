// One database record, read field by field in the handheld's byte order.
// Readers never read past the record: what lies beyond reads as zero or empty.
#pragma once
#include <string>
#include <vector>

#include "platform/Export.h"
#include "platform/Types.h"

class NORV_EXPORT CPdbRecord {
public:
    CPdbRecord() = default;
    // Copies the bytes: callers read into reused buffers.
    CPdbRecord(const BYTE* data, long size);
    virtual ~CPdbRecord();

    long Size() const { return long(m_Data.size()); }
    BYTE* Data() { return m_Data.data(); }
    const BYTE* Data() const { return m_Data.data(); }
    void SetData(const BYTE* data, long size);

    BYTE ReadUCharAt(long* offset) const;
    WORD ReadWordAt(long* offset) const;
    DWORD ReadDWordAt(long* offset) const;
    // An n-byte field holding text up to its first zero byte; advances n.
    std::string ReadFixedStringAt(long* offset, long n) const;
    // Text up to its zero byte; advances past it.
    std::string ReadStringZeroAt(long* offset) const;

    // Low four bits: the category; the conduit keeps its own marks there too.
    BYTE m_Attrib = 0;
    // 24 bits in a record database.
    DWORD m_UniqueId = 0;
    // Resource databases only.
    DWORD m_ResType = 0;
    WORD m_ResId = 0;
    std::vector<BYTE> m_Data;
};
