// A category of a catalog database: id, super-category id and a name.
// Written for the handheld; read back for the desktop's views of a catalog.
#pragma once
#include <memory>
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"
#include "quillio/PdbRecord.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT CCategoryRecord {
public:
    CCategoryRecord();

    // Reads the layout FillPdbPackedRecord writes; what the record lacks reads as 0 or empty.
    void FillFromPdbRecord(const CPdbRecord* record);

    std::string SetCategory(const std::string& s);
    std::string SetSuperCategory(const std::string& s);
    std::string SetName(const std::string& s);

    WORD GetCategory() const { return m_Category; }
    WORD GetSuperCategory() const { return m_SuperCategory; }
    std::string GetName() const { return m_Name; }

    // Always fits (36 bytes); returns "".
    std::string FillPdbPackedRecord(CPdbPackedRecord& rec) const;
    std::unique_ptr<CPdbPackedRecord> CreatePdbRec(std::string* error = nullptr) const;

private:
    WORD m_Category = 0;
    WORD m_SuperCategory = 0;
    std::string m_Name;
};
