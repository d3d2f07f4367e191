// The item references (lines) of a list database; the set owns them.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "seam/Export.h"
#include "quillio/PdbRecordSet.h"
#include "records/ItemRefRecord.h"

class NORV_EXPORT CItemRefRecords {
public:
    CItemRefRecords();
    virtual ~CItemRefRecords();
    CItemRefRecords(const CItemRefRecords&) = delete;
    CItemRefRecords& operator=(const CItemRefRecords&) = delete;

    // Appends a reference for each record of category 8, in order; always "".
    std::string FillFromPdbRecords(const CPdbRecordSet& set);

    void Add(std::unique_ptr<CItemRefRecord> record);
    std::size_t GetCount() const { return m_Records.size(); }
    // Null past the end.
    CItemRefRecord* GetAt(std::size_t index) const { return index < m_Records.size() ? m_Records[index].get() : nullptr; }

private:
    std::vector<std::unique_ptr<CItemRefRecord>> m_Records;
};
