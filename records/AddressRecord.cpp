#include "records/AddressRecord.h"

#include "records/AddressRecords.h"
#include "records/RecordText.h"

CAddressRecord::CAddressRecord() = default;

void CAddressRecord::SetId(const std::string& s)
{
    m_Id = recshelf::LeadingNumber(s);
}

std::string CAddressRecord::GetId() const
{
    return recshelf::DecimalText(m_Id);
}

void CAddressRecord::FillFromPdbRecord(const CPdbRecord* record)
{
    if (record == nullptr) return;
    long at = 0;
    m_Alias = record->ReadFixedStringAt(&at, 16);
    m_Id = record->ReadDWordAt(&at);
    m_Name = record->ReadStringZeroAt(&at);
    m_Address1 = record->ReadStringZeroAt(&at);
    m_Address2 = record->ReadStringZeroAt(&at);
    m_Zip = record->ReadStringZeroAt(&at);
    m_City = record->ReadStringZeroAt(&at);
    m_State = record->ReadStringZeroAt(&at);
    m_Country = record->ReadStringZeroAt(&at);
}

std::string CAddressRecord::FillPdbPackedRecord(CPdbPackedRecord& rec) const
{
    rec.Reset();
    if (m_Alias.empty() || m_Name.empty() || m_Address1.empty() || m_City.empty()) return "";
    rec.AddString(m_Alias, 16);
    rec.AddDWord(m_Id);
    for (const std::string* text : {&m_Name, &m_Address1, &m_Address2, &m_Zip, &m_City, &m_State, &m_Country})
        rec.AddString(*text, 0);
    if (rec.Overflowed()) return recshelf::TooLarge("CAddressRecord::FillPdbPackedRecord");
    return "";
}

std::unique_ptr<CPdbPackedRecord> CAddressRecord::CreatePdbRec(std::string* error) const
{
    return recshelf::CreateFilled(*this, "CAddressRecord", error);
}

// ---------------------------------------------------------------- set

CAddressRecords::CAddressRecords() = default;
CAddressRecords::~CAddressRecords() = default;

void CAddressRecords::Add(std::unique_ptr<CAddressRecord> record)
{
    if (record) m_Records.push_back(std::move(record));
}

void CAddressRecords::FillFromPdbRecords(const CPdbRecordSet& set)
{
    for (const auto& record : set) {
        if ((record->m_Attrib & 0x0F) != 6) continue;
        auto address = std::make_unique<CAddressRecord>();
        address->FillFromPdbRecord(record.get());
        m_Records.push_back(std::move(address));
    }
}

CAddressRecord* CAddressRecords::FindAddressByAlias(const std::string& alias) const
{
    for (const auto& record : m_Records)
        if (record->GetAlias() == alias) return record.get();
    return nullptr;
}
