// One database record, read field by field in the handheld's byte order.
// Readers never read past the record: what lies beyond reads as zero or empty.
#pragma once
#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "seam/Export.h"
#include "seam/Types.h"
#include "quillio/RecordBytes.h"

class NORV_EXPORT CPdbRecord {
public:
    CPdbRecord() = default;
    // Copies the bytes: callers read into reused buffers.
    CPdbRecord(const BYTE* data, long size);
    virtual ~CPdbRecord();

    // A file's records are made by the thousand: those read from a file are
    // made together in one block that their record set frees; the others
    // one by one.
    static void* operator new(std::size_t size);
    static void operator delete(void* p) noexcept;

    long Size() const { return long(m_Data.size()); }
    // In place: the bytes are this record's alone.
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
    // A record read from a file is a range of the file's buffer, which its
    // record set keeps.
    CRecordBytes m_Data;

private:
    friend class CPdbFile;
    friend class CPdbRecordSet;
    // Before each record, a mark of where it was made; the stride keeps
    // records aligned.
    static constexpr std::size_t kHead = 8;
    static constexpr BYTE kOneByOne = 0;
    static constexpr BYTE kInBlock = 1;
    static constexpr std::size_t Stride();
    // A block starts with the count of its records that took bytes of their
    // own: while it is zero, none has anything to free.
    static constexpr std::size_t kBlockHead = sizeof(std::size_t);
    static std::size_t* TakenCount(BYTE* block) { return std::launder(reinterpret_cast<std::size_t*>(block)); }
    // The size of a block for `count` records, and record i made in it (in
    // the reader's loop, so made inline).
    static std::size_t BlockSize(std::size_t count) { return kBlockHead + count * Stride(); }
    static CPdbRecord* MakeInBlock(BYTE* block, std::size_t i);
    static CPdbRecord* InBlock(BYTE* block, std::size_t i)
    {
        return std::launder(reinterpret_cast<CPdbRecord*>(block + kBlockHead + i * Stride() + kHead));
    }
};

constexpr std::size_t CPdbRecord::Stride()
{
    static_assert(alignof(CPdbRecord) <= kHead);
    return kHead + (sizeof(CPdbRecord) + kHead - 1) / kHead * kHead;
}

inline CPdbRecord* CPdbRecord::MakeInBlock(BYTE* block, std::size_t i)
{
    BYTE* head = block + kBlockHead + i * Stride();
    head[0] = kInBlock;
    return ::new (head + kHead) CPdbRecord();
}
