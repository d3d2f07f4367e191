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
    // Why it was not accepted, without the list's and channel's names: the
    // service's own message, or the reason no answer was read.
    void SetReason(std::string reason) { m_Reason = std::move(reason); }
    std::string GetReason() const { return m_Reason; }
    // No answer was read (the exchange failed, or the answer said nothing of
    // the list): the service may have recorded the order.
    void SetUnanswered(bool unanswered) { m_Unanswered = unanswered; }
    bool IsUnanswered() const { return m_Unanswered; }

private:
    std::string m_PdbName;
    bool m_HasError = false;
    std::string m_ErrorMessage;
    std::string m_ProcessDate;
    std::string m_Reason;
    bool m_Unanswered = false;
};
