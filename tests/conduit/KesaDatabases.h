// The service's databases as the service and the handheld application write
// them: catalogs, lists with their order and lines, user contexts.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "seam/Types.h"
#include "quillio/PdbFile.h"
#include "records/AddressRecord.h"
#include "records/AppInfo.h"
#include "records/ItemRecord.h"
#include "records/ItemRefRecord.h"
#include "records/OrderInfo.h"
#include "records/PdbPackedRecord.h"
#include "records/UserIdRecord.h"

namespace kesa_db {

inline constexpr const char* kDay1 = "2001-05-03T10:20:30";
inline constexpr const char* kDay2 = "2001-05-04T08:00:00";
inline constexpr const char* kNone = "1904-01-01T00:00:00"; // a date of 0

inline DWORD Code(const char* four)
{
    return DWORD(BYTE(four[0])) << 24 | DWORD(BYTE(four[1])) << 16 | DWORD(BYTE(four[2])) << 8 | BYTE(four[3]);
}

template <class R>
inline std::unique_ptr<CPdbRecord> RecordOf(const R& r)
{
    CPdbPackedRecord packed;
    r.FillPdbPackedRecord(packed);
    return std::make_unique<CPdbRecord>(packed.Buffer(), long(packed.Size()));
}

inline std::vector<BYTE> AppInfoOf(int channelType, const std::string& listOrCatalog, const std::string& title = "T")
{
    CAppInfo info;
    info.SetTitle(title);
    info.SetListOrCatalogName(listOrCatalog);
    if (channelType == 2 || channelType == 4) info.AddDisplayInfo(12);
    if (channelType == 3 || channelType == 4) info.AddDisplayInfo(13);
    CPdbPackedRecord packed;
    info.FillPdbPackedRecord(packed);
    return std::vector<BYTE>(packed.Buffer(), packed.Buffer() + packed.Size());
}

inline CItemRefRecord Ref(const std::string& reference, const std::string& name, const std::string& quantity,
                          const std::string& price, bool need)
{
    CItemRefRecord r;
    r.SetReference(reference);
    r.SetName(name);
    r.SetQuantity(quantity);
    r.SetPrice(price);
    r.SetNeed(need);
    return r;
}

inline CItemRecord Item(const std::string& reference, const std::string& name, const std::string& price)
{
    CItemRecord item;
    item.SetReference(reference);
    item.SetName(name);
    item.SetPrice(price);
    return item;
}

inline COrderInfo Order(const std::string& created, const std::string& processed = "")
{
    COrderInfo order;
    order.SetCreationDate(created, "W3C");
    order.SetOrderingDate(created, "W3C");
    order.SetProcessDate(processed, "W3C");
    order.SetChannelId("C7");
    return order;
}

struct Db {
    std::unique_ptr<CPdbFile> file;
    Db(const std::string& name, const char* type, std::vector<BYTE> appInfo = {})
        : file(std::make_unique<CPdbFile>(name.c_str(), "KESA", type, 0, 1, 0, 0))
    {
        file->m_AppInfo = std::move(appInfo);
    }
    // Records get ids as on a handheld: unique, not 0.
    template <class R>
    Db& Add(BYTE category, const R& r)
    {
        auto record = RecordOf(r);
        record->m_UniqueId = DWORD(file->m_RecordSet.GetCount() + 1);
        file->m_RecordSet.AddRecord(std::move(record), category);
        return *this;
    }
};

inline COrderInfo OrderIn(const CPdbFile& f)
{
    COrderInfo order;
    order.FillFromPdbRecords(f.m_RecordSet);
    return order;
}

// The order's error message: written to the handheld, never read back by
// COrderInfo; the record's last text.
inline std::string OrderErrorIn(const CPdbFile& f)
{
    for (const auto& r : f.m_RecordSet) {
        if ((r->m_Attrib & 0x0F) != 5 || r->m_Data.empty()) continue;
        const std::string text(r->m_Data.begin(), r->m_Data.end() - 1);
        return text.substr(text.rfind('\0') + 1);
    }
    return "<no order>";
}

inline std::vector<std::string> RefsIn(const CPdbFile& f)
{
    std::vector<std::string> refs;
    for (const auto& r : f.m_RecordSet) {
        if ((r->m_Attrib & 0x0F) != 8) continue;
        CItemRefRecord ref(r.get());
        refs.push_back(ref.GetReferenceStr() + " " + ref.GetNameStr() + " " + ref.GetPriceStr());
    }
    return refs;
}

inline CAddressRecord Address(const std::string& id, const std::string& alias)
{
    CAddressRecord a;
    a.SetId(id);
    a.SetAlias(alias);
    a.SetName("Anne");
    a.SetAddress1("1 rue " + alias);
    a.SetCity("Paris");
    return a;
}

inline CUserIdRecord UserId(const std::string& uid, const std::string& password = "")
{
    CUserIdRecord u;
    u.SetUserId(uid);
    u.SetPassword(password);
    return u;
}

// "id:alias" of each address and "user ID" of each user id record, in order.
inline std::vector<std::string> AddressesIn(const CPdbFile& f)
{
    std::vector<std::string> out;
    for (const auto& r : f.m_RecordSet) {
        if ((r->m_Attrib & 0x0F) == 6) {
            CAddressRecord a;
            a.FillFromPdbRecord(r.get());
            out.push_back(a.GetId() + ":" + a.GetAlias());
        } else if ((r->m_Attrib & 0x0F) == 9) {
            CUserIdRecord u;
            u.FillFromPdbRecord(r.get());
            out.push_back("user " + u.GetUserId());
        }
    }
    return out;
}

} // namespace kesa_db
