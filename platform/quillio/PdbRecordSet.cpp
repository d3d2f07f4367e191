#include "quillio/PdbRecordSet.h"

CPdbRecordSet::CPdbRecordSet() = default;
CPdbRecordSet::~CPdbRecordSet() = default;
CPdbRecordSet::CPdbRecordSet(CPdbRecordSet&&) noexcept = default;

CPdbRecordSet& CPdbRecordSet::operator=(CPdbRecordSet&& other) noexcept
{
    if (this == &other) return *this;
    // The records first: some may live in the block.
    Clear();
    m_Records = std::move(other.m_Records);
    m_Block = std::move(other.m_Block);
    m_Bytes = std::move(other.m_Bytes);
    return *this;
}

void CPdbRecordSet::Clear()
{
    m_Records.clear();
    m_Block.reset();
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
