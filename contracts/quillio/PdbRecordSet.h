// Ordered records of one database; the set owns them.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/Export.h"
#include "quillio/PdbRecord.h"

class NORV_EXPORT CPdbRecordSet {
public:
    CPdbRecordSet();
    ~CPdbRecordSet();
    CPdbRecordSet(CPdbRecordSet&&) noexcept;
    CPdbRecordSet& operator=(CPdbRecordSet&&) noexcept;
    CPdbRecordSet(const CPdbRecordSet&) = delete;
    CPdbRecordSet& operator=(const CPdbRecordSet&) = delete;

    // Takes the record over and sets its attribute byte.
    void AddRecord(CPdbRecord* record, BYTE attributes);
    void AddRecord(std::unique_ptr<CPdbRecord> record, BYTE attributes);

    std::size_t GetCount() const { return m_Records.size(); }
    CPdbRecord* GetRecord(std::size_t index) const { return m_Records[index].get(); }
    void Clear() { m_Records.clear(); }

    auto begin() const { return m_Records.begin(); }
    auto end() const { return m_Records.end(); }

private:
    std::vector<std::unique_ptr<CPdbRecord>> m_Records;
};
