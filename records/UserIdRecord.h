// The user id and password record of the user context (handheld category 9).
#pragma once
#include <memory>
#include <string>

#include "seam/Export.h"
#include "quillio/PdbRecord.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT CUserIdRecord {
public:
    CUserIdRecord();
    virtual ~CUserIdRecord();
    CUserIdRecord(const CUserIdRecord&) = default;
    CUserIdRecord& operator=(const CUserIdRecord&) = default;

    void SetUserId(const std::string& s) { m_UserId = s; }
    void SetPassword(const std::string& s) { m_Password = s; }
    std::string GetUserId() const { return m_UserId; }
    std::string GetPassword() const { return m_Password; }

    void FillFromPdbRecord(const CPdbRecord* record);
    // "" or "CUserIdRecord::FillPdbPackedRecord - record too large".
    std::string FillPdbPackedRecord(CPdbPackedRecord& rec) const;
    std::unique_ptr<CPdbPackedRecord> CreatePdbRec(std::string* error = nullptr) const;

private:
    std::string m_UserId;
    std::string m_Password;
};
