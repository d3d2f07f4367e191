#include "records/UserIdRecord.h"

#include "records/RecordText.h"

CUserIdRecord::CUserIdRecord() = default;
CUserIdRecord::~CUserIdRecord() = default;

void CUserIdRecord::FillFromPdbRecord(const CPdbRecord* record)
{
    if (record == nullptr) return;
    long at = 0;
    m_UserId = record->ReadStringZeroAt(&at);
    m_Password = record->ReadStringZeroAt(&at);
}

std::string CUserIdRecord::FillPdbPackedRecord(CPdbPackedRecord& rec) const
{
    rec.Reset();
    rec.AddString(m_UserId, 0);
    rec.AddString(m_Password, 0);
    if (rec.Overflowed()) return recshelf::TooLarge("CUserIdRecord::FillPdbPackedRecord");
    return "";
}

std::unique_ptr<CPdbPackedRecord> CUserIdRecord::CreatePdbRec(std::string* error) const
{
    return recshelf::CreateFilled(*this, "CUserIdRecord", error);
}
