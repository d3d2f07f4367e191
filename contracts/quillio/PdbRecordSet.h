// Ordered records of one database; the set owns them, and the buffer of
// the file they were read from.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include "seam/Export.h"
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
    void Clear();

    auto begin() const { return m_Records.begin(); }
    auto end() const { return m_Records.end(); }

private:
    friend class CPdbFile;
    // The buffer a file was read into, when records are ranges of it, and
    // the block its records were made in: both outlive the records.
    std::unique_ptr<BYTE[]> m_Bytes;
    std::unique_ptr<BYTE[]> m_Block;
    std::size_t m_BlockCount = 0;
    std::vector<std::unique_ptr<CPdbRecord>> m_Records;
};
