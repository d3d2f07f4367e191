// The delivery zone records of a catalog database; the set owns them.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include "seam/Export.h"
#include "records/DeliveryZoneRecord.h"

class NORV_EXPORT CDeliveryZoneRecords {
public:
    CDeliveryZoneRecords();
    virtual ~CDeliveryZoneRecords();
    CDeliveryZoneRecords(const CDeliveryZoneRecords&) = delete;
    CDeliveryZoneRecords& operator=(const CDeliveryZoneRecords&) = delete;

    void Add(std::unique_ptr<CDeliveryZoneRecord> record);
    std::size_t GetCount() const { return m_Records.size(); }
    // Null past the end.
    CDeliveryZoneRecord* GetAt(std::size_t index) const { return index < m_Records.size() ? m_Records[index].get() : nullptr; }

private:
    std::vector<std::unique_ptr<CDeliveryZoneRecord>> m_Records;
};
