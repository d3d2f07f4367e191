#include "records/CategoryRecord.h"

#include "records/CategoryRecords.h"
#include "records/RecordText.h"

CCategoryRecord::CCategoryRecord() = default;

void CCategoryRecord::FillFromPdbRecord(const CPdbRecord* record)
{
    if (record == nullptr) return;
    long at = 0;
    m_Category = record->ReadWordAt(&at);
    m_SuperCategory = record->ReadWordAt(&at);
    m_Name = record->ReadFixedStringAt(&at, 32);
}

std::string CCategoryRecord::SetCategory(const std::string& s)
{
    m_Category = WORD(recshelf::LeadingNumber(s));
    return "";
}

std::string CCategoryRecord::SetSuperCategory(const std::string& s)
{
    m_SuperCategory = WORD(recshelf::LeadingNumber(s));
    return "";
}

std::string CCategoryRecord::SetName(const std::string& s)
{
    m_Name = s;
    return "";
}

std::string CCategoryRecord::FillPdbPackedRecord(CPdbPackedRecord& rec) const
{
    rec.Reset();
    rec.AddWord(m_Category);
    rec.AddWord(m_SuperCategory);
    rec.AddString(m_Name, 32);
    return "";
}

std::unique_ptr<CPdbPackedRecord> CCategoryRecord::CreatePdbRec(std::string* error) const
{
    return recshelf::CreateFilled(*this, "CCategoryRecord", error);
}

// ---------------------------------------------------------------- set

CCategoryRecords::CCategoryRecords() = default;
CCategoryRecords::~CCategoryRecords() = default;

void CCategoryRecords::Add(std::unique_ptr<CCategoryRecord> record)
{
    if (record) m_Records.push_back(std::move(record));
}
