// The order information of a list database (handheld category 5): dates,
// delivery charges and address, member and channel ids, comment and error.
#pragma once
#include <memory>
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"
#include "quillio/PdbRecord.h"
#include "quillio/PdbRecordSet.h"
#include "records/PdbPackedRecord.h"

class NORV_EXPORT COrderInfo {
public:
    COrderInfo();

    // Store DateStringToDWord (0 when the text does not parse); always true.
    bool SetCreationDate(const std::string& date, const std::string& format);
    bool SetOrderingDate(const std::string& date, const std::string& format);
    bool SetProcessDate(const std::string& date, const std::string& format);
    void SetDeliveryCharges(const std::string& s);
    void SetDeliveryAddressId(const std::string& s);
    void SetMemberId(const std::string& s) { m_MemberId = s; }
    void SetChannelId(const std::string& s) { m_ChannelId = s; }
    void SetDeliveryAlias(const std::string& s) { m_DeliveryAlias = s; }
    void SetDeliveryName(const std::string& s) { m_DeliveryName = s; }
    void SetDeliveryAddress1(const std::string& s) { m_DeliveryAddress1 = s; }
    void SetDeliveryAddress2(const std::string& s) { m_DeliveryAddress2 = s; }
    void SetDeliveryZip(const std::string& s) { m_DeliveryZip = s; }
    void SetDeliveryCity(const std::string& s) { m_DeliveryCity = s; }
    void SetDeliveryState(const std::string& s) { m_DeliveryState = s; }
    void SetDeliveryCountry(const std::string& s) { m_DeliveryCountry = s; }
    void SetFreeComment(const std::string& s) { m_FreeComment = s; }
    void SetErrorMessage(const std::string& s) { m_ErrorMessage = s; }

    DWORD GetCreateDateDWord() const { return m_CreationDate; }
    DWORD GetOrderingDateDWord() const { return m_OrderingDate; }
    DWORD GetProcessDateDWord() const { return m_ProcessDate; }
    std::string GetCreateDateStr() const;
    std::string GetOrderingDateStr() const;
    std::string GetProcessDateStr() const;
    double GetCreateDateOle() const;
    double GetOrderingDateOle() const;
    double GetProcessDateOle() const;
    DWORD GetDeliveryCharges() const { return m_DeliveryCharges; }
    DWORD GetDeliveryAddressId() const { return m_DeliveryAddressId; }
    std::string GetDeliveryChargesStr() const;
    std::string GetDeliveryAddressIdStr() const;
    std::string GetMemberIdStr() const { return m_MemberId; }
    std::string GetChannelIdStr() const { return m_ChannelId; }
    std::string GetDeliveryAliasStr() const { return m_DeliveryAlias; }
    std::string GetNameStr() const { return m_DeliveryName; }
    std::string GetAddress1Str() const { return m_DeliveryAddress1; }
    std::string GetAddress2Str() const { return m_DeliveryAddress2; }
    std::string GetZipStr() const { return m_DeliveryZip; }
    std::string GetCityStr() const { return m_DeliveryCity; }
    std::string GetStateStr() const { return m_DeliveryState; }
    std::string GetCountryStr() const { return m_DeliveryCountry; }
    std::string GetFreeCommentStr() const { return m_FreeComment; }
    std::string GetErrorMessage() const { return m_ErrorMessage; }

    // Reads up to the free comment; the error message is left as it was.
    void FillFromPdbRecord(const CPdbRecord* record);
    // The error message the conduit wrote after the free comment, for the
    // desktop's views of an order (the conduit itself never reads it back).
    void FillErrorMessageFromPdbRecord(const CPdbRecord* record);
    // From the first record of category 5, else "No Order Information found".
    std::string FillFromPdbRecords(const CPdbRecordSet& set);
    // "" or "COrderInfo::FillPdbPackedRecord - record too large".
    std::string FillPdbPackedRecord(CPdbPackedRecord& rec) const;
    std::unique_ptr<CPdbPackedRecord> CreatePdbRec(std::string* error = nullptr) const;

private:
    DWORD m_CreationDate = 0;
    DWORD m_OrderingDate = 0;
    DWORD m_ProcessDate = 0;
    DWORD m_DeliveryCharges = 0;
    DWORD m_DeliveryAddressId = 0;
    std::string m_MemberId;
    std::string m_ChannelId;
    std::string m_DeliveryAlias;
    std::string m_DeliveryName;
    std::string m_DeliveryAddress1;
    std::string m_DeliveryAddress2;
    std::string m_DeliveryZip;
    std::string m_DeliveryCity;
    std::string m_DeliveryState;
    std::string m_DeliveryCountry;
    std::string m_FreeComment;
    std::string m_ErrorMessage;
};
