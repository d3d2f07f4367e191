#include "records/ItemRecord.h"

#include "records/ItemRecords.h"
#include "records/RecordText.h"

CItemRecord::CItemRecord() = default;

CItemRecord::CItemRecord(const CPdbRecord* record)
{
    if (record == nullptr) return;
    long at = 0;
    m_Category = record->ReadWordAt(&at);
    m_Quantity = record->ReadWordAt(&at);
    m_Price = record->ReadDWordAt(&at);
    m_ValidityBegin = record->ReadDWordAt(&at);
    m_ValidityEnd = record->ReadDWordAt(&at);
    m_Need = record->ReadUCharAt(&at);
    m_Reference = record->ReadStringZeroAt(&at);
    m_Name = record->ReadStringZeroAt(&at);
    m_Function = record->ReadStringZeroAt(&at);
    m_OldPrice = record->ReadStringZeroAt(&at);
    m_OptionDes = record->ReadStringZeroAt(&at);
    m_Packaging = record->ReadStringZeroAt(&at);
    m_Description = record->ReadStringZeroAt(&at);
}

void CItemRecord::FillImageNameFromPdbRecord(const CPdbRecord* record)
{
    m_ImageName.clear();
    if (record == nullptr) return;
    long at = 17;
    for (int text = 0; text < 7; ++text) record->ReadStringZeroAt(&at);
    // `at` is past the description's zero byte; the name ends the record.
    const long size = record->Size();
    const BYTE* data = record->Data();
    if (at > size || data[size - 1] != 0) return;
    long start = size - 1;
    while (start > at && data[start - 1] != 0) --start;
    m_ImageName.assign(reinterpret_cast<const char*>(data + start), std::size_t(size - 1 - start));
}

std::string CItemRecord::SetCategory(const std::string& s)
{
    m_Category = WORD(recshelf::LeadingNumber(s));
    return "";
}

std::string CItemRecord::SetNeed(bool need)
{
    m_Need = need ? 1 : 0;
    return "";
}

std::string CItemRecord::SetQuantity(const std::string& s)
{
    m_Quantity = WORD(recshelf::LeadingNumber(s));
    return "";
}

std::string CItemRecord::SetPrice(const std::string& s)
{
    m_Price = CPdbPackedRecord::PriceStringToDWord(s);
    return "";
}

std::string CItemRecord::SetValidityBegin(const std::string& date, const std::string& format)
{
    m_ValidityBegin = CPdbPackedRecord::DateStringToDWord(date, format);
    return "";
}

std::string CItemRecord::SetValidityEnd(const std::string& date, const std::string& format)
{
    m_ValidityEnd = CPdbPackedRecord::DateStringToDWord(date, format);
    return "";
}

std::string CItemRecord::SetReference(const std::string& s) { m_Reference = s; return ""; }
std::string CItemRecord::SetName(const std::string& s) { m_Name = s; return ""; }
std::string CItemRecord::SetFunction(const std::string& s) { m_Function = s; return ""; }
std::string CItemRecord::SetOldPrice(const std::string& s) { m_OldPrice = s; return ""; }
std::string CItemRecord::SetOptionDes(const std::string& s) { m_OptionDes = s; return ""; }
std::string CItemRecord::SetPackaging(const std::string& s) { m_Packaging = s; return ""; }
std::string CItemRecord::SetImageName(const std::string& s) { m_ImageName = s; return ""; }

std::string CItemRecord::SetDescription(const std::string& s)
{
    if (s.size() > 65535) return "CItemRecord::SetDescription - string too long";
    m_Description = s;
    return "";
}

std::string CItemRecord::GetPriceStr() const
{
    return recshelf::HundredthsText(m_Price);
}

std::string CItemRecord::GetQuantityStr() const
{
    return recshelf::DecimalText(m_Quantity);
}

std::string CItemRecord::FillPdbPackedRecord(CPdbPackedRecord& rec) const
{
    rec.Reset();
    rec.AddWord(m_Category);
    rec.AddWord(m_Quantity);
    rec.AddDWord(m_Price);
    rec.AddDWord(m_ValidityBegin);
    rec.AddDWord(m_ValidityEnd);
    rec.AddUChar(m_Need);
    rec.AddString(m_Reference, 0);
    rec.AddString(m_Name, 0);
    rec.AddString(m_Function, 0);
    rec.AddString(m_OldPrice, 0);
    rec.AddString(m_OptionDes, 0);
    rec.AddString(m_Packaging, 0);
    // The description gives way so that the image name still fits in 65,535 bytes.
    const long imageField = long(m_ImageName.size()) + 1;
    const long size = rec.Size();
    if (size + long(m_Description.size()) < CPdbPackedRecord::kCapacity - imageField) {
        rec.AddString(m_Description, 0);
    } else {
        const long width = 65534 - size - imageField;
        if (width < 0 || rec.Overflowed()) return recshelf::TooLarge("CItemRecord::FillPdbPackedRecord");
        if (width > 0) rec.AddString(m_Description, unsigned(width));
        rec.AddUChar(0);
    }
    rec.AddString(m_ImageName, 0);
    if (rec.Overflowed()) return recshelf::TooLarge("CItemRecord::FillPdbPackedRecord");
    return "";
}

std::unique_ptr<CPdbPackedRecord> CItemRecord::CreatePdbRec(std::string* error) const
{
    return recshelf::CreateFilled(*this, "CItemRecord", error);
}

// ---------------------------------------------------------------- set

CItemRecords::CItemRecords() = default;
CItemRecords::~CItemRecords() = default;

void CItemRecords::FillFromPdbRecords(const CPdbRecordSet& set)
{
    for (const auto& record : set) {
        if ((record->m_Attrib & 0x0F) == 1) m_Records.push_back(std::make_unique<CItemRecord>(record.get()));
    }
}

CItemRecord* CItemRecords::FindItemRecordByRef(const std::string& reference) const
{
    for (const auto& record : m_Records)
        if (record->GetReferenceStr() == reference) return record.get();
    return nullptr;
}

void CItemRecords::Add(std::unique_ptr<CItemRecord> record)
{
    if (record) m_Records.push_back(std::move(record));
}
