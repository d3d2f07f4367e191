// The category records of a catalog database; the set owns them.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include "seam/Export.h"
#include "records/CategoryRecord.h"

class NORV_EXPORT CCategoryRecords {
public:
    CCategoryRecords();
    virtual ~CCategoryRecords();
    CCategoryRecords(const CCategoryRecords&) = delete;
    CCategoryRecords& operator=(const CCategoryRecords&) = delete;

    void Add(std::unique_ptr<CCategoryRecord> record);
    std::size_t GetCount() const { return m_Records.size(); }
    // Null past the end.
    CCategoryRecord* GetAt(std::size_t index) const { return index < m_Records.size() ? m_Records[index].get() : nullptr; }

private:
    std::vector<std::unique_ptr<CCategoryRecord>> m_Records;
};
