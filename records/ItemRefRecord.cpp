#include "records/ItemRefRecord.h"

#include "records/ItemRefRecords.h"
#include "records/RecordText.h"

CItemRefRecord::CItemRefRecord() = default;

CItemRefRecord::CItemRefRecord(const CPdbRecord* record)
{
    FillFromPdbRecord(record);
}

CItemRefRecord::~CItemRefRecord() = default;

std::string CItemRefRecord::SetReference(const std::string& s)
{
    if (s.size() >= 17) return "CItemRefRecord::SetReference - string too long : " + s;
    m_Reference = s;
    return "";
}

std::string CItemRefRecord::SetNeed(bool need)
{
    m_Need = need ? 1 : 0;
    return "";
}

std::string CItemRefRecord::SetQuantity(const std::string& s)
{
    m_Quantity = WORD(recshelf::LeadingNumber(s));
    return "";
}

std::string CItemRefRecord::SetPrice(const std::string& s)
{
    m_Price = CPdbPackedRecord::PriceStringToDWord(s);
    return "";
}

std::string CItemRefRecord::SetName(const std::string& s)
{
    m_Name = s;
    return "";
}

std::string CItemRefRecord::GetQuantityStr() const
{
    return recshelf::DecimalText(m_Quantity);
}

std::string CItemRefRecord::GetPriceStr() const
{
    return recshelf::HundredthsText(m_Price);
}

void CItemRefRecord::FillFromPdbRecord(const CPdbRecord* record)
{
    if (record == nullptr) return;
    long at = 0;
    m_Quantity = record->ReadWordAt(&at);
    record->ReadDWordAt(&at); // reserved
    m_Price = record->ReadDWordAt(&at);
    m_Need = record->ReadUCharAt(&at);
    m_Reference = record->ReadStringZeroAt(&at);
    m_Name = record->ReadStringZeroAt(&at);
}

std::string CItemRefRecord::FillPdbPackedRecord(CPdbPackedRecord& rec) const
{
    rec.Reset();
    rec.AddWord(m_Quantity);
    rec.AddDWord(0);
    rec.AddDWord(m_Price);
    rec.AddUChar(m_Need);
    rec.AddString(m_Reference, 0);
    rec.AddString(m_Name, 0);
    if (rec.Overflowed()) return recshelf::TooLarge("CItemRefRecord::FillPdbPackedRecord");
    return "";
}

std::unique_ptr<CPdbPackedRecord> CItemRefRecord::CreatePdbRec(std::string* error) const
{
    return recshelf::CreateFilled(*this, "CItemRefRecord", error);
}

// ---------------------------------------------------------------- set

CItemRefRecords::CItemRefRecords() = default;
CItemRefRecords::~CItemRefRecords() = default;

void CItemRefRecords::Add(std::unique_ptr<CItemRefRecord> record)
{
    if (record) m_Records.push_back(std::move(record));
}

std::string CItemRefRecords::FillFromPdbRecords(const CPdbRecordSet& set)
{
    for (const auto& record : set) {
        if ((record->m_Attrib & 0x0F) == 8) m_Records.push_back(std::make_unique<CItemRefRecord>(record.get()));
    }
    return "";
}
