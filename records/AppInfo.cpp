#include "records/AppInfo.h"

#include "records/RecordText.h"

namespace {

std::string SetLimited(std::string& field, const std::string& value, std::size_t limit, const char* refusal)
{
    if (value.size() > limit) return refusal;
    field = value;
    return "";
}

} // namespace

CAppInfo::CAppInfo() = default;

std::string CAppInfo::SetTitle(const std::string& s)
{
    return SetLimited(m_Title, s, 32, "AppInfo::SetTitle - string too long");
}

std::string CAppInfo::SetSubTitle(const std::string& s)
{
    return SetLimited(m_SubTitle, s, 32, "AppInfo::SetSubTitle - string too long");
}

std::string CAppInfo::SetEditTitle(const std::string& s)
{
    return SetLimited(m_EditTitle, s, 32, "AppInfo::SetEditTitle - string too long");
}

std::string CAppInfo::SetCatalogTitle(const std::string& s)
{
    return SetLimited(m_CatalogTitle, s, 32, "AppInfo::SetCatalogTitle - string too long");
}

std::string CAppInfo::SetSumTitle(const std::string& s)
{
    return SetLimited(m_SumTitle, s, 8, "AppInfo::SetSumTitle - string too long");
}

std::string CAppInfo::SetListOrCatalogName(const std::string& s)
{
    return SetLimited(m_ListOrCatalogName, s, 32, "AppInfo::SetListOrCatalogName - string too long");
}

std::string CAppInfo::AddColumn(const std::string& label, int attribute, int index)
{
    if (index < 0 || index >= kColumns) return "AppInfo::AddColumn - index out of bounds";
    if (label.size() > 10) return "AppInfo::AddColumn - label string too long";
    m_ColumnMask = BYTE(m_ColumnMask | (1u << index));
    m_ColumnLabels[index] = label;
    m_ColumnAttributes[index] = BYTE(attribute);
    return "";
}

std::string CAppInfo::AddDisplayInfo(int bit)
{
    if (bit < 0 || bit > 15) return "AppInfo::AddDisplayInfo - index out of bounds";
    m_DisplayInfo = WORD(m_DisplayInfo | (1u << bit));
    return "";
}

bool CAppInfo::HasDisplayInfo(int bit) const
{
    if (bit < 0 || bit > 15) return false;
    return (m_DisplayInfo & (1u << bit)) != 0;
}

_channelType CAppInfo::GetChannelType() const
{
    const bool b12 = HasDisplayInfo(12);
    const bool b13 = HasDisplayInfo(13);
    if (b12 && b13) return ChannelOther;
    if (b13) return ChannelGame;
    if (b12) return ChannelList;
    return ChannelCatalog;
}

std::string CAppInfo::GetColumnLabel(int index) const
{
    return (index >= 0 && index < kColumns) ? m_ColumnLabels[index] : std::string();
}

BYTE CAppInfo::GetColumnAttribute(int index) const
{
    return (index >= 0 && index < kColumns) ? m_ColumnAttributes[index] : BYTE(0);
}

std::string CAppInfo::GetFormatVersion() const
{
    if (m_FormatNum == 2) return "2.3";
    if (m_FormatNum == 1 || GetChannelType() == ChannelGame) return "2.1";
    return "2.01";
}

void CAppInfo::FillFromPdbRecord(const CPdbRecord* record)
{
    if (record == nullptr) return;
    long at = 0;
    m_Title = record->ReadFixedStringAt(&at, 32);
    m_SubTitle = record->ReadFixedStringAt(&at, 32);
    m_EditTitle = record->ReadFixedStringAt(&at, 32);
    m_CatalogTitle = record->ReadFixedStringAt(&at, 32);
    m_SumTitle = record->ReadFixedStringAt(&at, 8);
    m_DisplayInfo = record->ReadWordAt(&at);
    m_ColumnMask = record->ReadUCharAt(&at);
    for (std::string& label : m_ColumnLabels) label = record->ReadFixedStringAt(&at, 10);
    for (BYTE& attribute : m_ColumnAttributes) attribute = record->ReadUCharAt(&at);
    m_ListOrCatalogName = record->ReadFixedStringAt(&at, 32);
}

std::string CAppInfo::FillPdbPackedRecord(CPdbPackedRecord& rec) const
{
    rec.Reset();
    rec.AddString(m_Title, 32);
    rec.AddString(m_SubTitle, 32);
    rec.AddString(m_EditTitle, 32);
    rec.AddString(m_CatalogTitle, 32);
    rec.AddString(m_SumTitle, 8);
    rec.AddWord(m_DisplayInfo);
    rec.AddUChar(m_ColumnMask);
    for (const std::string& label : m_ColumnLabels) rec.AddString(label, 10);
    for (BYTE attribute : m_ColumnAttributes) rec.AddUChar(attribute);
    rec.AddString(m_ListOrCatalogName, 32);
    rec.AddString(GetFormatVersion(), 10);
    return "";
}

std::unique_ptr<CPdbPackedRecord> CAppInfo::CreatePdbRec(std::string* error) const
{
    return recshelf::CreateFilled(*this, "CAppInfo", error);
}
