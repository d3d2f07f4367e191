#include "CatalogCompiler.h"

#include <filesystem>

#include "quillio/NorvFile.h"
#include "records/AddressRecord.h"
#include "records/AppInfo.h"
#include "records/CategoryRecord.h"
#include "records/DeliveryRecord.h"
#include "records/DeliveryZoneRecord.h"
#include "records/ImageRecord.h"
#include "records/ItemRecord.h"
#include "records/ItemRefRecord.h"
#include "records/OrderInfo.h"
#include "records/PbmConverter.h"
#include "records/UserIdRecord.h"

namespace {

using Member = std::string (*)(const std::string&, const std::string&);
const Member At = &CJsonReader::Member;

std::string Lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The image record's own test: the last dot of the whole name, past its first
// character (a folder's ".pbm" file is one too, unlike for std::filesystem).
bool IsPbmFileName(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && dot != 0 && Lower(name.substr(dot)) == ".pbm";
}

} // namespace

CCatalogCompiler::CCatalogCompiler(std::string baseDir, unsigned long now) : m_BaseDir(std::move(baseDir)), m_Now(now)
{
}

template <class Record>
void CCatalogCompiler::AddRecord(const Record& record, int category, const std::string& path, CPdbFile& pdb)
{
    std::string error;
    std::unique_ptr<CPdbPackedRecord> rec = record.CreatePdbRec(&error);
    if (!rec) {
        m_Reader.Error(path, error);
        return;
    }
    auto pdbRecord = std::make_unique<CPdbRecord>(rec->Buffer(), rec->Size());
    pdbRecord->m_UniqueId = DWORD(pdb.m_RecordSet.GetCount() + 1);
    pdb.m_RecordSet.AddRecord(std::move(pdbRecord), BYTE(category));
}

std::string CCatalogCompiler::DateText(const json& object, const char* key, const std::string& path)
{
    std::optional<std::string> text = m_Reader.Text(object, key, path);
    if (!text || text->empty()) return {};
    if (CPdbPackedRecord::DateStringToDWord(*text, m_DateFormat) == 0)
        m_Reader.Error(At(path, key), "not a date after 1904-01-01 and before 2040 in the format " + m_DateFormat);
    return *text;
}

std::unique_ptr<CPdbFile> CCatalogCompiler::Compile(const json& root)
{
    const std::string path = "$";
    if (!m_Reader.Object(root, path,
                         {"kind", "type", "name", "version", "dateFormat", "appInfo", "items", "categories", "images",
                          "deliveryCharges", "deliveryZones", "order", "itemRefs", "addresses", "user"}))
        return nullptr;

    const std::string kind = m_Reader.Text(root, "kind", path).value_or("");
    const char* type = nullptr;
    if (kind == "catalog") {
        type = "CATA";
    } else if (kind == "list") {
        const std::string listType = m_Reader.Text(root, "type", path).value_or("LIST");
        if (listType == "LIST" || listType == "EMLS") type = listType == "LIST" ? "LIST" : "EMLS";
        else m_Reader.Error(At(path, "type"), "a list is of type LIST or EMLS");
    } else if (kind == "user") {
        type = "USER";
    } else {
        m_Reader.Error(At(path, "kind"), "expected \"catalog\", \"list\" or \"user\"");
        return nullptr;
    }
    if (kind != "list" && root.contains("type")) m_Reader.Error(At(path, "type"), "only a list has a type");

    const std::string name = m_Reader.Text(root, "name", path).value_or("");
    if (name.empty() || name.size() > 31) m_Reader.Error(At(path, "name"), "a database name of 1 to 31 characters is required");
    else if (kind == "catalog" && name.size() < 4)
        m_Reader.Error(At(path, "name"), "a catalog's name is its channel id followed by three characters");
    const long long version = m_Reader.Integer(root, "version", path).value_or(0);
    if (version < 0 || version > 0xFFFF) m_Reader.Error(At(path, "version"), "expected 0 to 65535");
    if (auto format = m_Reader.Text(root, "dateFormat", path)) m_DateFormat = *format;

    auto pdb = std::make_unique<CPdbFile>(name.c_str(), "KESA", type ? type : "????", WORD(0), WORD(version),
                                          DWORD(m_Now), DWORD(m_Now));
    auto refuse = [&](std::initializer_list<const char*> keys) {
        for (const char* key : keys)
            if (root.contains(key)) m_Reader.Error(At(path, key), "not part of a " + kind + " database");
    };
    if (kind == "catalog") {
        refuse({"order", "itemRefs", "addresses", "user"});
        AppInfo(root, type, name, *pdb);
        Items(root, *pdb);
        Categories(root, *pdb);
        Images(root, *pdb);
        DeliveryCharges(root, *pdb);
        DeliveryZones(root, *pdb);
    } else if (kind == "list") {
        refuse({"items", "categories", "images", "deliveryCharges", "deliveryZones", "addresses", "user"});
        AppInfo(root, type ? type : "LIST", name, *pdb);
        Order(root, *pdb);
        ItemRefs(root, *pdb);
    } else {
        refuse({"appInfo", "items", "categories", "images", "deliveryCharges", "deliveryZones", "order", "itemRefs"});
        Addresses(root, *pdb);
        UserId(root, *pdb);
    }
    if (!Errors().empty()) return nullptr;
    return pdb;
}

void CCatalogCompiler::AppInfo(const json& root, const char* type, const std::string& dbName, CPdbFile& pdb)
{
    const std::string path = "$.appInfo";
    auto it = root.find("appInfo");
    if (it == root.end()) {
        m_Reader.Error(path, "required");
        return;
    }
    const json& j = *it;
    if (!m_Reader.Object(j, path, {"title", "subTitle", "editTitle", "catalogTitle", "sumTitle", "listOrCatalogName",
                                   "formatNum", "columns", "displayInfo", "channelType"}))
        return;
    CAppInfo info;
    if (auto v = m_Reader.Text(j, "title", path)) m_Reader.Check(At(path, "title"), info.SetTitle(*v));
    if (auto v = m_Reader.Text(j, "subTitle", path)) m_Reader.Check(At(path, "subTitle"), info.SetSubTitle(*v));
    if (auto v = m_Reader.Text(j, "editTitle", path)) m_Reader.Check(At(path, "editTitle"), info.SetEditTitle(*v));
    if (auto v = m_Reader.Text(j, "catalogTitle", path))
        m_Reader.Check(At(path, "catalogTitle"), info.SetCatalogTitle(*v));
    if (auto v = m_Reader.Text(j, "sumTitle", path)) m_Reader.Check(At(path, "sumTitle"), info.SetSumTitle(*v));

    std::optional<std::string> catalogName = m_Reader.Text(j, "listOrCatalogName", path);
    if (!catalogName && std::string(type) == "CATA") catalogName = dbName;
    if (!catalogName)
        m_Reader.Error(At(path, "listOrCatalogName"), "required: the name of the list's catalog");
    else
        m_Reader.Check(At(path, "listOrCatalogName"), info.SetListOrCatalogName(*catalogName));

    if (auto v = m_Reader.Integer(j, "formatNum", path)) info.SetFormatNum(int(*v));
    if (const json* columns = m_Reader.Array(j, "columns", path)) {
        for (std::size_t i = 0; i < columns->size(); ++i) {
            const std::string cpath = CJsonReader::Element(At(path, "columns"), i);
            const json& c = (*columns)[i];
            if (!m_Reader.Object(c, cpath, {"index", "label", "attribute"})) continue;
            const long long index = m_Reader.Integer(c, "index", cpath).value_or(-1);
            const long long attribute = m_Reader.Integer(c, "attribute", cpath).value_or(0);
            if (attribute < 0 || attribute > 255) m_Reader.Error(At(cpath, "attribute"), "expected 0 to 255");
            const int safeIndex = (index < 0 || index > 7) ? -1 : int(index);
            m_Reader.Check(cpath, info.AddColumn(m_Reader.Text(c, "label", cpath).value_or(""), int(attribute), safeIndex));
        }
    }
    if (const json* bits = m_Reader.Array(j, "displayInfo", path)) {
        for (std::size_t i = 0; i < bits->size(); ++i) {
            const std::string bpath = CJsonReader::Element(At(path, "displayInfo"), i);
            if (!(*bits)[i].is_number_integer()) {
                m_Reader.Error(bpath, "expected an integer");
                continue;
            }
            const long long bit = (*bits)[i].get<long long>();
            m_Reader.Check(bpath, info.AddDisplayInfo((bit < 0 || bit > 15) ? -1 : int(bit)));
        }
    }
    if (auto channelType = m_Reader.Integer(j, "channelType", path)) {
        // The type lives in display bits 12 and 13.
        if (*channelType < 1 || *channelType > 4) m_Reader.Error(At(path, "channelType"), "expected 1 to 4");
        if (*channelType == 2 || *channelType == 4) info.AddDisplayInfo(12);
        if (*channelType == 3 || *channelType == 4) info.AddDisplayInfo(13);
    }
    std::string error;
    if (auto rec = info.CreatePdbRec(&error)) pdb.m_AppInfo.assign(rec->Buffer(), rec->Buffer() + rec->Size());
    else m_Reader.Error(path, error);
}

void CCatalogCompiler::Items(const json& root, CPdbFile& pdb)
{
    const json* items = m_Reader.Array(root, "items", "$");
    if (items == nullptr) return;
    for (std::size_t i = 0; i < items->size(); ++i) {
        const std::string path = CJsonReader::Element("$.items", i);
        const json& j = (*items)[i];
        if (!m_Reader.Object(j, path, {"category", "need", "quantity", "price", "validityBegin", "validityEnd",
                                       "reference", "name", "function", "oldPrice", "optionDes", "packaging",
                                       "description", "imageName"}))
            continue;
        CItemRecord item;
        using Setter = std::string (CItemRecord::*)(const std::string&);
        const std::pair<const char*, Setter> texts[] = {
            {"category", &CItemRecord::SetCategory},   {"quantity", &CItemRecord::SetQuantity},
            {"price", &CItemRecord::SetPrice},         {"reference", &CItemRecord::SetReference},
            {"name", &CItemRecord::SetName},           {"function", &CItemRecord::SetFunction},
            {"oldPrice", &CItemRecord::SetOldPrice},   {"optionDes", &CItemRecord::SetOptionDes},
            {"packaging", &CItemRecord::SetPackaging}, {"description", &CItemRecord::SetDescription},
            {"imageName", &CItemRecord::SetImageName},
        };
        for (const auto& [key, setter] : texts)
            if (auto v = m_Reader.Text(j, key, path)) m_Reader.Check(At(path, key), (item.*setter)(*v));
        if (auto v = m_Reader.Bool(j, "need", path)) item.SetNeed(*v);
        const std::string begin = DateText(j, "validityBegin", path);
        if (!begin.empty()) m_Reader.Check(At(path, "validityBegin"), item.SetValidityBegin(begin, m_DateFormat));
        const std::string end = DateText(j, "validityEnd", path);
        if (!end.empty()) m_Reader.Check(At(path, "validityEnd"), item.SetValidityEnd(end, m_DateFormat));
        AddRecord(item, kItemCategory, path, pdb);
    }
}

void CCatalogCompiler::Categories(const json& root, CPdbFile& pdb)
{
    const json* categories = m_Reader.Array(root, "categories", "$");
    if (categories == nullptr) return;
    for (std::size_t i = 0; i < categories->size(); ++i) {
        const std::string path = CJsonReader::Element("$.categories", i);
        const json& j = (*categories)[i];
        if (!m_Reader.Object(j, path, {"category", "superCategory", "name"})) continue;
        CCategoryRecord category;
        if (auto v = m_Reader.Text(j, "category", path)) m_Reader.Check(At(path, "category"), category.SetCategory(*v));
        if (auto v = m_Reader.Text(j, "superCategory", path))
            m_Reader.Check(At(path, "superCategory"), category.SetSuperCategory(*v));
        if (auto v = m_Reader.Text(j, "name", path)) m_Reader.Check(At(path, "name"), category.SetName(*v));
        AddRecord(category, kCategoryCategory, path, pdb);
    }
}

void CCatalogCompiler::Images(const json& root, CPdbFile& pdb)
{
    const json* images = m_Reader.Array(root, "images", "$");
    if (images == nullptr) return;
    for (std::size_t i = 0; i < images->size(); ++i) {
        const std::string path = CJsonReader::Element("$.images", i);
        const json& j = (*images)[i];
        if (!m_Reader.Object(j, path, {"name", "file"})) continue;
        CImageRecord image;
        if (auto v = m_Reader.Text(j, "name", path)) m_Reader.Check(At(path, "name"), image.SetImageName(*v));
        if (auto file = m_Reader.Text(j, "file", path); file && !file->empty()) {
            std::filesystem::path full(*file);
            if (full.is_relative()) full = std::filesystem::path(m_BaseDir) / full;
            const std::string fullName = full.string();
            // The record adds nothing for a file it cannot read: say so here.
            if (CNorvFile::GetLength(fullName.c_str()) < 0) {
                m_Reader.Error(At(path, "file"), "cannot read " + fullName);
                continue;
            }
            if (IsPbmFileName(fullName)) {
                CPbmConverter converter;
                const std::string refusal = converter.LoadPbmFile(fullName);
                if (!refusal.empty()) {
                    m_Reader.Error(At(path, "file"), refusal);
                    continue;
                }
            }
            m_Reader.Check(At(path, "file"), image.SetImageFileName(fullName));
        }
        AddRecord(image, kImageCategory, path, pdb);
    }
}

void CCatalogCompiler::DeliveryCharges(const json& root, CPdbFile& pdb)
{
    const json* charges = m_Reader.Array(root, "deliveryCharges", "$");
    if (charges == nullptr) return;
    for (std::size_t i = 0; i < charges->size(); ++i) {
        const std::string path = CJsonReader::Element("$.deliveryCharges", i);
        const json& j = (*charges)[i];
        if (!m_Reader.Object(j, path, {"zoneName", "currency", "email", "faxNumber", "elements"})) continue;
        CDeliveryRecord delivery;
        if (auto v = m_Reader.Text(j, "zoneName", path)) m_Reader.Check(At(path, "zoneName"), delivery.SetZoneName(*v));
        if (auto v = m_Reader.Text(j, "currency", path)) m_Reader.Check(At(path, "currency"), delivery.SetCurrency(*v));
        if (auto v = m_Reader.Text(j, "email", path)) m_Reader.Check(At(path, "email"), delivery.SetEmail(*v));
        if (auto v = m_Reader.Text(j, "faxNumber", path))
            m_Reader.Check(At(path, "faxNumber"), delivery.SetFaxNumber(*v));
        // Without both the handheld gets an empty record: refuse it here.
        if (delivery.GetCurrency().empty()) m_Reader.Error(At(path, "currency"), "required");
        if (delivery.GetEmail().empty()) m_Reader.Error(At(path, "email"), "required");
        if (const json* elements = m_Reader.Array(j, "elements", path)) {
            for (std::size_t e = 0; e < elements->size(); ++e) {
                const std::string epath = CJsonReader::Element(At(path, "elements"), e);
                const json& el = (*elements)[e];
                if (!m_Reader.Object(el, epath, {"threshold", "charge"})) continue;
                m_Reader.Check(epath, delivery.AddDeliveryChargesElem(m_Reader.Text(el, "threshold", epath).value_or(""),
                                                                      m_Reader.Text(el, "charge", epath).value_or("")));
            }
        }
        AddRecord(delivery, kDeliveryCategory, path, pdb);
    }
}

void CCatalogCompiler::DeliveryZones(const json& root, CPdbFile& pdb)
{
    const json* zones = m_Reader.Array(root, "deliveryZones", "$");
    if (zones == nullptr) return;
    for (std::size_t i = 0; i < zones->size(); ++i) {
        const std::string path = CJsonReader::Element("$.deliveryZones", i);
        const json& j = (*zones)[i];
        if (!m_Reader.Object(j, path, {"addressId", "zoneName"})) continue;
        CDeliveryZoneRecord zone;
        m_Reader.Check(At(path, "addressId"), zone.SetAddressId(m_Reader.Text(j, "addressId", path).value_or("")));
        m_Reader.Check(At(path, "zoneName"), zone.SetZoneName(m_Reader.Text(j, "zoneName", path).value_or("")));
        AddRecord(zone, kDeliveryZoneCategory, path, pdb);
    }
}

void CCatalogCompiler::Order(const json& root, CPdbFile& pdb)
{
    const std::string path = "$.order";
    auto it = root.find("order");
    if (it == root.end()) return;
    const json& j = *it;
    if (!m_Reader.Object(j, path, {"creationDate", "orderingDate", "processDate", "deliveryCharges",
                                   "deliveryAddressId", "memberId", "channelId", "deliveryAlias", "deliveryName",
                                   "deliveryAddress1", "deliveryAddress2", "deliveryZip", "deliveryCity",
                                   "deliveryState", "deliveryCountry", "freeComment", "errorMessage"}))
        return;
    COrderInfo order;
    order.SetCreationDate(DateText(j, "creationDate", path), m_DateFormat);
    order.SetOrderingDate(DateText(j, "orderingDate", path), m_DateFormat);
    order.SetProcessDate(DateText(j, "processDate", path), m_DateFormat);
    if (auto v = m_Reader.Text(j, "deliveryCharges", path)) order.SetDeliveryCharges(*v);
    if (auto v = m_Reader.Text(j, "deliveryAddressId", path)) order.SetDeliveryAddressId(*v);
    using Setter = void (COrderInfo::*)(const std::string&);
    const std::pair<const char*, Setter> texts[] = {
        {"memberId", &COrderInfo::SetMemberId},
        {"channelId", &COrderInfo::SetChannelId},
        {"deliveryAlias", &COrderInfo::SetDeliveryAlias},
        {"deliveryName", &COrderInfo::SetDeliveryName},
        {"deliveryAddress1", &COrderInfo::SetDeliveryAddress1},
        {"deliveryAddress2", &COrderInfo::SetDeliveryAddress2},
        {"deliveryZip", &COrderInfo::SetDeliveryZip},
        {"deliveryCity", &COrderInfo::SetDeliveryCity},
        {"deliveryState", &COrderInfo::SetDeliveryState},
        {"deliveryCountry", &COrderInfo::SetDeliveryCountry},
        {"freeComment", &COrderInfo::SetFreeComment},
        {"errorMessage", &COrderInfo::SetErrorMessage},
    };
    for (const auto& [key, setter] : texts)
        if (auto v = m_Reader.Text(j, key, path)) (order.*setter)(*v);
    AddRecord(order, kOrderCategory, path, pdb);
}

void CCatalogCompiler::ItemRefs(const json& root, CPdbFile& pdb)
{
    const json* refs = m_Reader.Array(root, "itemRefs", "$");
    if (refs == nullptr) return;
    for (std::size_t i = 0; i < refs->size(); ++i) {
        const std::string path = CJsonReader::Element("$.itemRefs", i);
        const json& j = (*refs)[i];
        if (!m_Reader.Object(j, path, {"reference", "name", "quantity", "price", "need"})) continue;
        CItemRefRecord ref;
        if (auto v = m_Reader.Text(j, "reference", path)) m_Reader.Check(At(path, "reference"), ref.SetReference(*v));
        if (auto v = m_Reader.Text(j, "name", path)) m_Reader.Check(At(path, "name"), ref.SetName(*v));
        if (auto v = m_Reader.Text(j, "quantity", path)) m_Reader.Check(At(path, "quantity"), ref.SetQuantity(*v));
        if (auto v = m_Reader.Text(j, "price", path)) m_Reader.Check(At(path, "price"), ref.SetPrice(*v));
        if (auto v = m_Reader.Bool(j, "need", path)) m_Reader.Check(At(path, "need"), ref.SetNeed(*v));
        AddRecord(ref, kItemRefCategory, path, pdb);
    }
}

void CCatalogCompiler::Addresses(const json& root, CPdbFile& pdb)
{
    const json* addresses = m_Reader.Array(root, "addresses", "$");
    if (addresses == nullptr) return;
    for (std::size_t i = 0; i < addresses->size(); ++i) {
        const std::string path = CJsonReader::Element("$.addresses", i);
        const json& j = (*addresses)[i];
        if (!m_Reader.Object(j, path, {"id", "alias", "name", "address1", "address2", "zip", "city", "state", "country"}))
            continue;
        CAddressRecord address;
        if (auto v = m_Reader.Text(j, "id", path)) address.SetId(*v);
        using Setter = void (CAddressRecord::*)(const std::string&);
        const std::pair<const char*, Setter> texts[] = {
            {"alias", &CAddressRecord::SetAlias}, {"name", &CAddressRecord::SetName},
            {"address1", &CAddressRecord::SetAddress1}, {"address2", &CAddressRecord::SetAddress2},
            {"zip", &CAddressRecord::SetZip},     {"city", &CAddressRecord::SetCity},
            {"state", &CAddressRecord::SetState}, {"country", &CAddressRecord::SetCountry},
        };
        for (const auto& [key, setter] : texts)
            if (auto v = m_Reader.Text(j, key, path)) (address.*setter)(*v);
        // Without these the handheld gets an empty record: refuse it here.
        for (const char* key : {"alias", "name", "address1", "city"})
            if (m_Reader.Text(j, key, path).value_or("").empty()) m_Reader.Error(At(path, key), "required");
        if (address.GetAlias().size() > 15)
            m_Reader.Error(At(path, "alias"), "at most 15 characters (the record keeps 15)");
        AddRecord(address, kAddressCategory, path, pdb);
    }
}

void CCatalogCompiler::UserId(const json& root, CPdbFile& pdb)
{
    const std::string path = "$.user";
    auto it = root.find("user");
    if (it == root.end()) return;
    if (!m_Reader.Object(*it, path, {"userId", "password"})) return;
    CUserIdRecord user;
    user.SetUserId(m_Reader.Text(*it, "userId", path).value_or(""));
    user.SetPassword(m_Reader.Text(*it, "password", path).value_or(""));
    AddRecord(user, kUserIdCategory, path, pdb);
}
