#include "records/DeliveryRecord.h"

#include <utility>

#include "records/DeliveryRecords.h"
#include "records/RecordText.h"

CDeliveryRecord::CDeliveryRecord() = default;

std::string CDeliveryRecord::SetZoneName(const std::string& s) { m_ZoneName = s; return ""; }
std::string CDeliveryRecord::SetCurrency(const std::string& s) { m_Currency = s; return ""; }
std::string CDeliveryRecord::SetEmail(const std::string& s) { m_Email = s; return ""; }
std::string CDeliveryRecord::SetFaxNumber(const std::string& s) { m_FaxNumber = s; return ""; }

std::string CDeliveryRecord::AddDeliveryChargesElem(const std::string& threshold, const std::string& charge)
{
    if (m_Count >= kMaxElements) return "CDeliveryRecord::AddDeliveryChargesElem - too many elements";
    DWORD t = CPdbPackedRecord::PriceStringToDWord(threshold);
    DWORD c = CPdbPackedRecord::PriceStringToDWord(charge);
    // Carry the pair in hand past the smaller thresholds, swapping at each larger one.
    for (int i = 0; i < m_Count; ++i) {
        if (t < m_Thresholds[i]) {
            std::swap(t, m_Thresholds[i]);
            std::swap(c, m_Charges[i]);
        }
    }
    m_Thresholds[m_Count] = t;
    m_Charges[m_Count] = c;
    ++m_Count;
    return "";
}

DWORD CDeliveryRecord::GetThreshold(int index) const
{
    return (index >= 0 && index < m_Count) ? m_Thresholds[index] : 0;
}

DWORD CDeliveryRecord::GetCharge(int index) const
{
    return (index >= 0 && index < m_Count) ? m_Charges[index] : 0;
}

std::string CDeliveryRecord::FillPdbPackedRecord(CPdbPackedRecord& rec) const
{
    rec.Reset();
    if (m_Currency.empty() || m_Email.empty()) return "";
    rec.AddWord(WORD(m_Count * 2));
    for (int i = 0; i < m_Count; ++i) {
        rec.AddDWord(m_Thresholds[i]);
        rec.AddDWord(m_Charges[i]);
    }
    rec.AddString(m_ZoneName, 0);
    rec.AddString(m_Currency, 0);
    rec.AddString(m_Email, 0);
    rec.AddString(m_FaxNumber, 0);
    if (rec.Overflowed()) return recshelf::TooLarge("CDeliveryRecord::FillPdbPackedRecord");
    return "";
}

std::unique_ptr<CPdbPackedRecord> CDeliveryRecord::CreatePdbRec(std::string* error) const
{
    return recshelf::CreateFilled(*this, "CDeliveryRecord", error);
}

// ---------------------------------------------------------------- set

CDeliveryRecords::CDeliveryRecords() = default;
CDeliveryRecords::~CDeliveryRecords() = default;

void CDeliveryRecords::Add(std::unique_ptr<CDeliveryRecord> record)
{
    if (record) m_Records.push_back(std::move(record));
}
