// The image records of a catalog database; the set owns them.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "seam/Export.h"
#include "records/ImageRecord.h"

class NORV_EXPORT CImageRecords {
public:
    CImageRecords();
    virtual ~CImageRecords();
    CImageRecords(const CImageRecords&) = delete;
    CImageRecords& operator=(const CImageRecords&) = delete;

    // True when some record has exactly this image name.
    bool ContainsImage(const std::string& name) const;

    void Add(std::unique_ptr<CImageRecord> record);
    std::size_t GetCount() const { return m_Records.size(); }
    // Null past the end.
    CImageRecord* GetAt(std::size_t index) const { return index < m_Records.size() ? m_Records[index].get() : nullptr; }

private:
    std::vector<std::unique_ptr<CImageRecord>> m_Records;
};
