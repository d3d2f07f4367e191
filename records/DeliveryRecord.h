// Delivery charges of a catalog: up to 20 (threshold, charge) pairs in
// ascending threshold order, with the zone, currency, e-mail and fax number.
#pragma once
#include <memory>
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT CDeliveryRecord {
public:
    static constexpr int kMaxElements = 20;

    CDeliveryRecord();

    std::string SetZoneName(const std::string& s);
    std::string SetCurrency(const std::string& s);
    std::string SetEmail(const std::string& s);
    std::string SetFaxNumber(const std::string& s);
    // Inserts in threshold order; a 21st element is refused.
    std::string AddDeliveryChargesElem(const std::string& threshold, const std::string& charge);

    int GetCount() const { return m_Count; }
    DWORD GetThreshold(int index) const;
    DWORD GetCharge(int index) const;
    std::string GetZoneName() const { return m_ZoneName; }
    std::string GetCurrency() const { return m_Currency; }
    std::string GetEmail() const { return m_Email; }
    std::string GetFaxNumber() const { return m_FaxNumber; }

    // Empty unless currency and e-mail are both set. "" or
    // "CDeliveryRecord::FillPdbPackedRecord - record too large".
    std::string FillPdbPackedRecord(CPdbPackedRecord& rec) const;
    std::unique_ptr<CPdbPackedRecord> CreatePdbRec(std::string* error = nullptr) const;

private:
    int m_Count = 0;
    DWORD m_Thresholds[kMaxElements] = {};
    DWORD m_Charges[kMaxElements] = {};
    std::string m_ZoneName;
    std::string m_Currency;
    std::string m_Email;
    std::string m_FaxNumber;
};
