#include "quillio/PdbRecordSet.h"

CPdbRecordSet::CPdbRecordSet() = default;
CPdbRecordSet::~CPdbRecordSet() = default;
CPdbRecordSet::CPdbRecordSet(CPdbRecordSet&&) noexcept = default;
CPdbRecordSet& CPdbRecordSet::operator=(CPdbRecordSet&&) noexcept = default;

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
