// The delivery charge records of a catalog database; the set owns them.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/Export.h"
#include "records/DeliveryRecord.h"

class NORV_EXPORT CDeliveryRecords {
public:
    CDeliveryRecords();
    virtual ~CDeliveryRecords();
    CDeliveryRecords(const CDeliveryRecords&) = delete;
    CDeliveryRecords& operator=(const CDeliveryRecords&) = delete;

    void Add(std::unique_ptr<CDeliveryRecord> record);
    std::size_t GetCount() const { return m_Records.size(); }
    CDeliveryRecord* GetAt(std::size_t index) const { return m_Records.at(index).get(); }

private:
    std::vector<std::unique_ptr<CDeliveryRecord>> m_Records;
};
