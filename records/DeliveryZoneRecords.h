// The delivery zone records of a catalog database; the set owns them.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/Export.h"
#include "records/DeliveryZoneRecord.h"

class NORV_EXPORT CDeliveryZoneRecords {
public:
    CDeliveryZoneRecords();
    virtual ~CDeliveryZoneRecords();
    CDeliveryZoneRecords(const CDeliveryZoneRecords&) = delete;
    CDeliveryZoneRecords& operator=(const CDeliveryZoneRecords&) = delete;

    void Add(std::unique_ptr<CDeliveryZoneRecord> record);
    std::size_t GetCount() const { return m_Records.size(); }
    CDeliveryZoneRecord* GetAt(std::size_t index) const { return m_Records.at(index).get(); }

private:
    std::vector<std::unique_ptr<CDeliveryZoneRecord>> m_Records;
};
