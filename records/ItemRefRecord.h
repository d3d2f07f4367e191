// One line of a list database (handheld category 8): the item's reference,
// name, price, quantity and need flag.
#pragma once
#include <memory>
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"
#include "quillio/PdbRecord.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT CItemRefRecord {
public:
    CItemRefRecord();
    explicit CItemRefRecord(const CPdbRecord* record);
    virtual ~CItemRefRecord();
    CItemRefRecord(const CItemRefRecord&) = default;
    CItemRefRecord& operator=(const CItemRefRecord&) = default;

    // At most 16 characters.
    std::string SetReference(const std::string& s);
    std::string SetNeed(bool need);
    std::string SetQuantity(const std::string& s);
    std::string SetPrice(const std::string& s);
    std::string SetName(const std::string& s);

    bool GetNeedBool() const { return m_Need != 0; }
    std::string GetQuantityStr() const;
    std::string GetPriceStr() const;
    std::string GetReferenceStr() const { return m_Reference; }
    std::string GetNameStr() const { return m_Name; }
    WORD GetQuantity() const { return m_Quantity; }
    DWORD GetPrice() const { return m_Price; }

    void FillFromPdbRecord(const CPdbRecord* record);
    // "" or "CItemRefRecord::FillPdbPackedRecord - record too large".
    std::string FillPdbPackedRecord(CPdbPackedRecord& rec) const;
    std::unique_ptr<CPdbPackedRecord> CreatePdbRec(std::string* error = nullptr) const;

private:
    BYTE m_Need = 0;
    WORD m_Quantity = 0;
    DWORD m_Price = 0;
    std::string m_Reference;
    std::string m_Name;
};
