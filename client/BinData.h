// A block of bytes with the name of the file it belongs to.
#pragma once
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"

class NORV_EXPORT CBinData {
public:
    CBinData();
    virtual ~CBinData();
    CBinData(const CBinData&) = delete;
    CBinData& operator=(const CBinData&) = delete;

    BYTE* GetData() const { return m_Data; }
    DWORD GetLength() const { return m_Length; }
    // Takes the pointer as it is (nothing is copied); owned bytes are released
    // with free() when replaced or when the object ends.
    void SetData(BYTE* data, DWORD length, bool own);
    std::string GetFileName() const { return m_FileName; }
    void SetFileName(std::string fileName) { m_FileName = std::move(fileName); }

protected:
    DWORD m_Length = 0;
    BYTE* m_Data = nullptr;
    std::string m_FileName;
    bool m_OwnsData = false;

private:
    void ReleaseData();
};
