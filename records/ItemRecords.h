// The item records of a catalog database; the set owns them.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "seam/Export.h"
#include "quillio/PdbRecordSet.h"
#include "records/ItemRecord.h"

class NORV_EXPORT CItemRecords {
public:
    CItemRecords();
    virtual ~CItemRecords();
    CItemRecords(const CItemRecords&) = delete;
    CItemRecords& operator=(const CItemRecords&) = delete;

    // Appends an item for each record of category 1, in order.
    void FillFromPdbRecords(const CPdbRecordSet& set);
    // First item with exactly this reference; null if none. The set keeps it.
    CItemRecord* FindItemRecordByRef(const std::string& reference) const;

    void Add(std::unique_ptr<CItemRecord> record);
    std::size_t GetCount() const { return m_Records.size(); }
    // Null past the end.
    CItemRecord* GetAt(std::size_t index) const { return index < m_Records.size() ? m_Records[index].get() : nullptr; }

private:
    std::vector<std::unique_ptr<CItemRecord>> m_Records;
};
