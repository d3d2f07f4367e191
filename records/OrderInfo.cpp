#include "records/OrderInfo.h"

#include "records/RecordText.h"

namespace {

double OleOrZero(DWORD date)
{
    return date == 0 ? 0.0 : CPdbPackedRecord::DWordToOleDate(date);
}

} // namespace

COrderInfo::COrderInfo() = default;

bool COrderInfo::SetCreationDate(const std::string& date, const std::string& format)
{
    m_CreationDate = CPdbPackedRecord::DateStringToDWord(date, format);
    return true;
}

bool COrderInfo::SetOrderingDate(const std::string& date, const std::string& format)
{
    m_OrderingDate = CPdbPackedRecord::DateStringToDWord(date, format);
    return true;
}

bool COrderInfo::SetProcessDate(const std::string& date, const std::string& format)
{
    m_ProcessDate = CPdbPackedRecord::DateStringToDWord(date, format);
    return true;
}

void COrderInfo::SetDeliveryCharges(const std::string& s)
{
    m_DeliveryCharges = CPdbPackedRecord::PriceStringToDWord(s);
}

void COrderInfo::SetDeliveryAddressId(const std::string& s)
{
    m_DeliveryAddressId = recshelf::LeadingNumber(s);
}

std::string COrderInfo::GetCreateDateStr() const { return CPdbPackedRecord::DWordToW3CDateString(m_CreationDate); }
std::string COrderInfo::GetOrderingDateStr() const { return CPdbPackedRecord::DWordToW3CDateString(m_OrderingDate); }
std::string COrderInfo::GetProcessDateStr() const { return CPdbPackedRecord::DWordToW3CDateString(m_ProcessDate); }
double COrderInfo::GetCreateDateOle() const { return OleOrZero(m_CreationDate); }
double COrderInfo::GetOrderingDateOle() const { return OleOrZero(m_OrderingDate); }
double COrderInfo::GetProcessDateOle() const { return OleOrZero(m_ProcessDate); }

std::string COrderInfo::GetDeliveryChargesStr() const
{
    return recshelf::HundredthsText(m_DeliveryCharges);
}

std::string COrderInfo::GetDeliveryAddressIdStr() const
{
    return m_DeliveryAddressId == 0 ? std::string() : recshelf::DecimalText(m_DeliveryAddressId);
}

void COrderInfo::FillFromPdbRecord(const CPdbRecord* record)
{
    if (record == nullptr) return;
    long at = 0;
    m_CreationDate = record->ReadDWordAt(&at);
    m_OrderingDate = record->ReadDWordAt(&at);
    m_ProcessDate = record->ReadDWordAt(&at);
    m_DeliveryCharges = record->ReadDWordAt(&at);
    m_DeliveryAddressId = record->ReadDWordAt(&at);
    m_MemberId = record->ReadStringZeroAt(&at);
    m_ChannelId = record->ReadStringZeroAt(&at);
    m_DeliveryAlias = record->ReadStringZeroAt(&at);
    m_DeliveryName = record->ReadStringZeroAt(&at);
    m_DeliveryAddress1 = record->ReadStringZeroAt(&at);
    m_DeliveryAddress2 = record->ReadStringZeroAt(&at);
    m_DeliveryZip = record->ReadStringZeroAt(&at);
    m_DeliveryCity = record->ReadStringZeroAt(&at);
    m_DeliveryState = record->ReadStringZeroAt(&at);
    m_DeliveryCountry = record->ReadStringZeroAt(&at);
    m_FreeComment = record->ReadStringZeroAt(&at);
}

void COrderInfo::FillErrorMessageFromPdbRecord(const CPdbRecord* record)
{
    if (record == nullptr) return;
    // Five numbers, then the eleven texts before the error message.
    long at = 20;
    for (int text = 0; text < 11; ++text) record->ReadStringZeroAt(&at);
    m_ErrorMessage = record->ReadStringZeroAt(&at);
}

std::string COrderInfo::FillFromPdbRecords(const CPdbRecordSet& set)
{
    for (const auto& record : set) {
        if ((record->m_Attrib & 0x0F) == 5) {
            FillFromPdbRecord(record.get());
            return "";
        }
    }
    return "No Order Information found";
}

std::string COrderInfo::FillPdbPackedRecord(CPdbPackedRecord& rec) const
{
    rec.Reset();
    rec.AddDWord(m_CreationDate);
    rec.AddDWord(m_OrderingDate);
    rec.AddDWord(m_ProcessDate);
    rec.AddDWord(m_DeliveryCharges);
    rec.AddDWord(m_DeliveryAddressId);
    for (const std::string* text : {&m_MemberId, &m_ChannelId, &m_DeliveryAlias, &m_DeliveryName,
                                    &m_DeliveryAddress1, &m_DeliveryAddress2, &m_DeliveryZip, &m_DeliveryCity,
                                    &m_DeliveryState, &m_DeliveryCountry, &m_FreeComment, &m_ErrorMessage})
        rec.AddString(*text, 0);
    if (rec.Overflowed()) return recshelf::TooLarge("COrderInfo::FillPdbPackedRecord");
    return "";
}

std::unique_ptr<CPdbPackedRecord> COrderInfo::CreatePdbRec(std::string* error) const
{
    return recshelf::CreateFilled(*this, "COrderInfo", error);
}
