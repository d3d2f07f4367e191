// One item of a catalog database (handheld category 1).
#pragma once
#include <memory>
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"
#include "quillio/PdbRecord.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT CItemRecord {
public:
    CItemRecord();
    // Reads everything up to the description; the image name is not read.
    explicit CItemRecord(const CPdbRecord* record);
    // The image name, for the desktop's views: the record's last text, after
    // the description (which the writer may have cut and closed with an extra
    // zero byte). Empty when the record does not end as the writer ends it.
    void FillImageNameFromPdbRecord(const CPdbRecord* record);

    std::string SetCategory(const std::string& s);
    std::string SetNeed(bool need);
    std::string SetQuantity(const std::string& s);
    std::string SetPrice(const std::string& s);
    std::string SetValidityBegin(const std::string& date, const std::string& format);
    std::string SetValidityEnd(const std::string& date, const std::string& format);
    std::string SetReference(const std::string& s);
    std::string SetName(const std::string& s);
    std::string SetFunction(const std::string& s);
    std::string SetOldPrice(const std::string& s);
    std::string SetOptionDes(const std::string& s);
    std::string SetPackaging(const std::string& s);
    std::string SetDescription(const std::string& s);
    std::string SetImageName(const std::string& s);

    std::string GetReferenceStr() const { return m_Reference; }
    std::string GetNameStr() const { return m_Name; }
    std::string GetPriceStr() const;
    std::string GetQuantityStr() const;
    bool GetNeedBool() const { return m_Need != 0; }

    WORD GetCategory() const { return m_Category; }
    WORD GetQuantity() const { return m_Quantity; }
    DWORD GetPrice() const { return m_Price; }
    DWORD GetValidityBegin() const { return m_ValidityBegin; }
    DWORD GetValidityEnd() const { return m_ValidityEnd; }
    std::string GetFunction() const { return m_Function; }
    std::string GetOldPrice() const { return m_OldPrice; }
    std::string GetOptionDes() const { return m_OptionDes; }
    std::string GetPackaging() const { return m_Packaging; }
    std::string GetDescription() const { return m_Description; }
    std::string GetImageName() const { return m_ImageName; }

    // "" or "CItemRecord::FillPdbPackedRecord - record too large".
    std::string FillPdbPackedRecord(CPdbPackedRecord& rec) const;
    std::unique_ptr<CPdbPackedRecord> CreatePdbRec(std::string* error = nullptr) const;

private:
    WORD m_Category = 0;
    BYTE m_Need = 0;
    WORD m_Quantity = 0;
    DWORD m_Price = 0;
    DWORD m_ValidityBegin = 0;
    DWORD m_ValidityEnd = 0;
    std::string m_Reference;
    std::string m_Name;
    std::string m_Function;
    std::string m_OldPrice;
    std::string m_OptionDes;
    std::string m_Packaging;
    std::string m_Description;
    std::string m_ImageName;
};
