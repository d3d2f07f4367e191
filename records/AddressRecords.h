// The delivery addresses of a user context; the set owns them.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "seam/Export.h"
#include "quillio/PdbRecordSet.h"
#include "records/AddressRecord.h"

class NORV_EXPORT CAddressRecords {
public:
    CAddressRecords();
    virtual ~CAddressRecords();
    CAddressRecords(const CAddressRecords&) = delete;
    CAddressRecords& operator=(const CAddressRecords&) = delete;

    // Appends an address for each record of category 6, in order.
    void FillFromPdbRecords(const CPdbRecordSet& set);
    // First address with exactly this alias; null if none. The set keeps it.
    CAddressRecord* FindAddressByAlias(const std::string& alias) const;

    void Add(std::unique_ptr<CAddressRecord> record);
    std::size_t GetCount() const { return m_Records.size(); }
    // Null past the end.
    CAddressRecord* GetAt(std::size_t index) const { return index < m_Records.size() ? m_Records[index].get() : nullptr; }

private:
    std::vector<std::unique_ptr<CAddressRecord>> m_Records;
};
