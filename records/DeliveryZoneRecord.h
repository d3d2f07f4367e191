// A delivery zone of a catalog: the address id it serves and the zone name.
#pragma once
#include <memory>
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT CDeliveryZoneRecord {
public:
    CDeliveryZoneRecord();

    // 0 is refused, and the id is set to 0.
    std::string SetAddressId(const std::string& s);
    // An empty name is refused.
    std::string SetZoneName(const std::string& s);

    WORD GetAddressId() const { return m_AddressId; }
    std::string GetZoneName() const { return m_ZoneName; }

    // Empty while the address id is 0. "" or
    // "CDeliveryZoneRecord::FillPdbPackedRecord - record too large".
    std::string FillPdbPackedRecord(CPdbPackedRecord& rec) const;
    std::unique_ptr<CPdbPackedRecord> CreatePdbRec(std::string* error = nullptr) const;

private:
    WORD m_AddressId = 0;
    std::string m_ZoneName;
};
