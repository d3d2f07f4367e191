#include "records/DeliveryZoneRecord.h"

#include "records/DeliveryZoneRecords.h"
#include "records/RecordText.h"

CDeliveryZoneRecord::CDeliveryZoneRecord() = default;

std::string CDeliveryZoneRecord::SetAddressId(const std::string& s)
{
    m_AddressId = WORD(recshelf::LeadingNumber(s));
    if (m_AddressId == 0) return "CDeliveryZoneRecord::SetAddressId - invalid ID";
    return "";
}

std::string CDeliveryZoneRecord::SetZoneName(const std::string& s)
{
    if (s.empty()) return "CDeliveryZoneRecord::SetZoneName - empty string";
    m_ZoneName = s;
    return "";
}

std::string CDeliveryZoneRecord::FillPdbPackedRecord(CPdbPackedRecord& rec) const
{
    rec.Reset();
    if (m_AddressId == 0) return "";
    rec.AddWord(m_AddressId);
    rec.AddString(m_ZoneName, 0);
    if (rec.Overflowed()) return recshelf::TooLarge("CDeliveryZoneRecord::FillPdbPackedRecord");
    return "";
}

std::unique_ptr<CPdbPackedRecord> CDeliveryZoneRecord::CreatePdbRec(std::string* error) const
{
    return recshelf::CreateFilled(*this, "CDeliveryZoneRecord", error);
}

// ---------------------------------------------------------------- set

CDeliveryZoneRecords::CDeliveryZoneRecords() = default;
CDeliveryZoneRecords::~CDeliveryZoneRecords() = default;

void CDeliveryZoneRecords::Add(std::unique_ptr<CDeliveryZoneRecord> record)
{
    if (record) m_Records.push_back(std::move(record));
}
