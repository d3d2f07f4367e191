// A delivery address of the user context (handheld category 6).
#pragma once
#include <memory>
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"
#include "quillio/PdbRecord.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT CAddressRecord {
public:
    CAddressRecord();

    void SetId(const std::string& s);
    void SetAlias(const std::string& s) { m_Alias = s; }
    void SetName(const std::string& s) { m_Name = s; }
    void SetAddress1(const std::string& s) { m_Address1 = s; }
    void SetAddress2(const std::string& s) { m_Address2 = s; }
    void SetZip(const std::string& s) { m_Zip = s; }
    void SetCity(const std::string& s) { m_City = s; }
    void SetState(const std::string& s) { m_State = s; }
    void SetCountry(const std::string& s) { m_Country = s; }

    std::string GetId() const;
    std::string GetAlias() const { return m_Alias; }
    std::string GetName() const { return m_Name; }
    std::string GetAddress1() const { return m_Address1; }
    std::string GetAddress2() const { return m_Address2; }
    std::string GetZip() const { return m_Zip; }
    std::string GetCity() const { return m_City; }
    std::string GetState() const { return m_State; }
    std::string GetCountry() const { return m_Country; }

    void FillFromPdbRecord(const CPdbRecord* record);
    // Nothing is written unless alias, name, address line 1 and city are all
    // set. "" or "CAddressRecord::FillPdbPackedRecord - record too large".
    std::string FillPdbPackedRecord(CPdbPackedRecord& rec) const;
    std::unique_ptr<CPdbPackedRecord> CreatePdbRec(std::string* error = nullptr) const;

private:
    DWORD m_Id = 0;
    std::string m_Alias;
    std::string m_Name;
    std::string m_Address1;
    std::string m_Address2;
    std::string m_Zip;
    std::string m_City;
    std::string m_State;
    std::string m_Country;
};
