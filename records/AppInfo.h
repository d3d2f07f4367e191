// The AppInfo block of a catalog or list database: titles, columns, display
// flags (whose bits 12 and 13 give the channel type) and the catalog name.
#pragma once
#include <memory>
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"
#include "quillio/PdbRecord.h"
// The channel kinds are the server client's; only the header is shared.
#include "client/ChannelType.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT CAppInfo {
public:
    static constexpr int kBlockSize = 269;
    static constexpr int kColumns = 8;

    CAppInfo();

    std::string SetTitle(const std::string& s);
    std::string SetSubTitle(const std::string& s);
    std::string SetEditTitle(const std::string& s);
    std::string SetCatalogTitle(const std::string& s);
    std::string SetSumTitle(const std::string& s);
    std::string SetListOrCatalogName(const std::string& s);
    std::string AddColumn(const std::string& label, int attribute, int index);
    std::string AddDisplayInfo(int bit);
    bool HasDisplayInfo(int bit) const;
    _channelType GetChannelType() const;
    void SetFormatNum(int format) { m_FormatNum = format; }

    // Reads offsets 0 to 258; the format version text is not read.
    void FillFromPdbRecord(const CPdbRecord* record);
    // Always fits; returns "".
    std::string FillPdbPackedRecord(CPdbPackedRecord& rec) const;
    std::unique_ptr<CPdbPackedRecord> CreatePdbRec(std::string* error = nullptr) const;

    std::string GetTitle() const { return m_Title; }
    std::string GetSubTitle() const { return m_SubTitle; }
    std::string GetEditTitle() const { return m_EditTitle; }
    std::string GetCatalogTitle() const { return m_CatalogTitle; }
    std::string GetSumTitle() const { return m_SumTitle; }
    std::string GetListOrCatalogName() const { return m_ListOrCatalogName; }
    BYTE GetColumnMask() const { return m_ColumnMask; }
    // Empty, or 0, outside 0 to 7.
    std::string GetColumnLabel(int index) const;
    BYTE GetColumnAttribute(int index) const;
    WORD GetDisplayInfo() const { return m_DisplayInfo; }
    int GetFormatNum() const { return m_FormatNum; }
    // "2.3", "2.1" or "2.01", as written at offset 259.
    std::string GetFormatVersion() const;

private:
    std::string m_Title;
    std::string m_SubTitle;
    std::string m_EditTitle;
    std::string m_CatalogTitle;
    std::string m_SumTitle;
    BYTE m_ColumnMask = 0;
    std::string m_ColumnLabels[kColumns];
    BYTE m_ColumnAttributes[kColumns] = {};
    WORD m_DisplayInfo = 0;
    std::string m_ListOrCatalogName;
    int m_FormatNum = 0;
};
