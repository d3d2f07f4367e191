// One list database of a channel: the whole database file as bytes, the
// name it is sent under, and the outcome of sending it.
#pragma once
#include <string>

#include "client/BinData.h"

class NORV_EXPORT CSynchPdb : public CBinData {
public:
    CSynchPdb();
    ~CSynchPdb() override;

    void SetPdbName(std::string name) { m_PdbName = std::move(name); }
    std::string GetPdbName() const { return m_PdbName; }
    void SetProcessDate(std::string date) { m_ProcessDate = std::move(date); }
    std::string GetProcessDate() const { return m_ProcessDate; }
    void SetError(std::string message);
    bool HasError() const { return m_HasError; }
    std::string GetErrorMessage() const { return m_ErrorMessage; }

private:
    std::string m_PdbName;
    bool m_HasError = false;
    std::string m_ErrorMessage;
    std::string m_ProcessDate;
};
