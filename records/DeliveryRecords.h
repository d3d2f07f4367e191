// The delivery charge records of a catalog database; the set owns them.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include "seam/Export.h"
#include "records/DeliveryRecord.h"

class NORV_EXPORT CDeliveryRecords {
public:
    CDeliveryRecords();
    virtual ~CDeliveryRecords();
    CDeliveryRecords(const CDeliveryRecords&) = delete;
    CDeliveryRecords& operator=(const CDeliveryRecords&) = delete;

    void Add(std::unique_ptr<CDeliveryRecord> record);
    std::size_t GetCount() const { return m_Records.size(); }
    // Null past the end.
    CDeliveryRecord* GetAt(std::size_t index) const { return index < m_Records.size() ? m_Records[index].get() : nullptr; }

private:
    std::vector<std::unique_ptr<CDeliveryRecord>> m_Records;
};
