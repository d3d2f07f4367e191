#include "quillio/PdbRecordSet.h"

#include <cstdint>

CPdbRecordSet::CPdbRecordSet() = default;
CPdbRecordSet::~CPdbRecordSet()
{
    Clear();
}

CPdbRecordSet::CPdbRecordSet(CPdbRecordSet&& other) noexcept
    : m_Bytes(std::move(other.m_Bytes)), m_Block(std::move(other.m_Block)), m_BlockCount(other.m_BlockCount),
      m_Records(std::move(other.m_Records))
{
    other.m_BlockCount = 0;
}

CPdbRecordSet& CPdbRecordSet::operator=(CPdbRecordSet&& other) noexcept
{
    if (this == &other) return *this;
    // The records first: some may live in the block.
    Clear();
    m_Records = std::move(other.m_Records);
    m_Block = std::move(other.m_Block);
    m_BlockCount = other.m_BlockCount;
    other.m_BlockCount = 0;
    m_Bytes = std::move(other.m_Bytes);
    return *this;
}

void CPdbRecordSet::Clear()
{
    // A record of the block is a plain CPdbRecord that goes with the block:
    // only one that took bytes of its own has anything to free, and while
    // the block counts none, no record of it is looked at. A file's records
    // are released by the thousand.
    const auto low = reinterpret_cast<std::uintptr_t>(m_Block.get());
    const std::uintptr_t high = low + CPdbRecord::BlockSize(m_BlockCount);
    const bool someTook = m_Block && *CPdbRecord::TakenCount(m_Block.get()) != 0;
    for (auto& slot : m_Records) {
        CPdbRecord* record = slot.release();
        const auto at = reinterpret_cast<std::uintptr_t>(record);
        if (at < low || at >= high)
            delete record;
        else if (someTook && record->m_Data.HoldsMemory())
            record->CPdbRecord::~CPdbRecord();
    }
    m_Records.clear();
    m_Block.reset();
    m_BlockCount = 0;
    m_Bytes.reset();
}

void CPdbRecordSet::AddRecord(CPdbRecord* record, BYTE attributes)
{
    AddRecord(std::unique_ptr<CPdbRecord>(record), attributes);
}

void CPdbRecordSet::AddRecord(std::unique_ptr<CPdbRecord> record, BYTE attributes)
{
    if (!record) return;
    record->m_Attrib = attributes;
    m_Records.push_back(std::move(record));
}
