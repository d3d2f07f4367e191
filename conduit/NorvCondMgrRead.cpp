// Reading the service's databases on the handheld into the server client:
// catalogs, shopping lists (with their orders and game scores) and the user
// context.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "conduit/NorvCondMgr.h"
#include "conduit/NorvTrace.h"
#include "conduit/OpenDatabase.h"
#include "palmkit/HsLog.h"
#include "quillio/KesaError.h"
#include "quillio/PdbFile.h"
#include "quillio/PdbRecord.h"
#include "records/AppInfo.h"
#include "records/ItemRefRecord.h"
#include "records/OrderInfo.h"
#include "records/PdbPackedRecord.h"
#include "records/UserIdRecord.h"

namespace {

constexpr BYTE kReadMode = eDbRead | eDbShowSecret;
constexpr short kOrderCategory = 5;
constexpr short kItemRefCategory = 8;
constexpr short kUserIdCategory = 9;
constexpr std::size_t kMaxErrorText = 1024;

// What a failed read of a catalog or list reports: the error's own text for
// ours, the exception's text (cut) for the others.
void ReportReadException(const std::string& context, const std::string& systemError, palmkit::RunFailure kind,
                         const std::string& name)
{
    std::string text;
    try {
        throw;
    } catch (const CKesaError& e) {
        text = e.Argument();
    } catch (const std::exception& e) {
        text = std::string(e.what()).substr(0, kMaxErrorText);
    } catch (...) {
        text = systemError;
    }
    ReportError(true, 0, 9, context, text);
    palmkit::NoteFailure(kind, name, VisibleText(text));
}

void NoteReadFailure(palmkit::RunFailure kind, const std::string& name, int message, const std::string& insert)
{
    palmkit::NoteFailure(kind, name, VisibleText(KESA_FormatMessage(message, name, insert)));
}

} // namespace

std::string CNorvCondMgr::GetChannelIdFromCatalogName(const std::string& name)
{
    const std::string id = name.size() > 3 ? name.substr(0, name.size() - 3) : std::string();
    NorvLog("CNorvCondMgr::GetChannelIdFromCatalogName(%s) -> %s (arg len=%d)", name, id, int(name.size()));
    return id;
}

std::string CNorvCondMgr::GetChannelIdFromListAppInfo(const BYTE* appInfo, DWORD size)
{
    NorvLog("CNorvCondMgr::GetChannelIdFromListAppInfo called");
    const CPdbRecord record(appInfo, long(size));
    CAppInfo info;
    info.FillFromPdbRecord(&record);
    return GetChannelIdFromCatalogName(info.GetListOrCatalogName());
}

int CNorvCondMgr::GetChannelTypeFromAppInfo(const BYTE* appInfo, DWORD size)
{
    NorvLog("CNorvCondMgr::GetChannelTypeFromAppInfo called");
    const CPdbRecord record(appInfo, long(size));
    CAppInfo info;
    info.FillFromPdbRecord(&record);
    return int(info.GetChannelType());
}

void CNorvCondMgr::StoreCatalogInFerrylink(const CSyncDbListEntry& entry, std::string& nameString)
{
    const std::string name = EntryName(entry);
    if (entry.m_MiscFlags & eDbListDamaged) {
        // Not declared: the service sends the channel's catalog again, which
        // takes the damaged one's place; its lists stay meanwhile.
        const std::string id = GetChannelIdFromCatalogName(name);
        m_DamagedCatalogs.insert(ChannelKey(id));
        const std::string text = KESA_FormatMessage(4136, VisibleText(name), id);
        NorvLog(text);
        LogAddEntry(text.c_str(), slText, 0);
        // It goes once the new catalog is in place, whatever its name.
        AwaitReplacement(id, name, true, true);
        return;
    }
    COpenDatabase db;
    const long opened = db.Open(name, kReadMode);
    NorvLog("CNorvCondMgr::StoreCatalogInFerrylink : Ouverture PDB %s. l_dbHdl=%d, l_retval=%d", name,
            int(db.Handle()), opened);
    if (opened != SYNCERR_NONE) {
        ReportError(false, opened, 8, "CNorvCondMgr::StoreCatalogInFerrylink",
                    KESA_FormatMessage(2054, name, nameString));
        return;
    }
    try {
        std::vector<BYTE> buffer(kRecordBufferSize);
        DWORD size = 0;
        const long rc = SyncReadDBAppInfoBlock(db.Handle(), buffer.data(), kSyncMaxBlock, &size);
        if (rc != SYNCERR_NONE) {
            ReportError(true, rc, 8, "StoreCatalogInFerrylink->SyncReadDBAppInfoBlock",
                        KESA_FormatMessage(2054, name, "AppInfo"));
            palmkit::NoteFailure(palmkit::RunFailure::Channel, GetChannelIdFromCatalogName(name),
                                 VisibleText(KESA_FormatMessage(2054, name, "AppInfo")));
            return;
        }
        nameString = GetChannelIdFromCatalogName(name);
        const int type = GetChannelTypeFromAppInfo(buffer.data(), size);
        if (type == ChannelGame) {
            CSyncOpenDbInfo info{};
            info.m_Options = eOpenDbInfoCount;
            info.m_DbHandle = db.Handle();
            const DWORD value = SyncReadOpenDbInfo(&info) == SYNCERR_NONE ? info.m_ModDate : 0;
            // Sent as the service has always received it: a signed 32-bit number.
            const std::string stamp = KESA_FormatText("%d", std::int32_t(value));
            m_Ferrylink.AddGameScoreTimestamp(nameString, stamp);
            NorvLog("CNorvCondMgr::StoreCatalogInFerrylink : game channel %s - timestamp = %s", nameString, stamp);
        }
        if (CChannelData* channel = m_Ferrylink.AddCatalog(nameString, _channelType(type), true)) {
            channel->SetInPCL(true);
            channel->SetPalmCatalogFound(true);
        }
    } catch (...) {
        ReportReadException("CNorvCondMgr::StoreCatalogInFerrylink", "StoreCatalogInFerrylink system error...",
                            palmkit::RunFailure::Channel, name);
    }
}

void CNorvCondMgr::StoreListInFerrylink(const CSyncDbListEntry& entry, std::string& nameString)
{
    const std::string name = EntryName(entry);
    COpenDatabase db;
    const long opened = db.Open(name, kReadMode);
    NorvLog("CNorvCondMgr::StoreListInFerrylink : Ouverture PDB %s. l_dbHdl=%d, l_retval=%d", name,
            int(db.Handle()), opened);
    if (opened != SYNCERR_NONE) {
        ReportError(false, opened, 8, "CNorvCondMgr::StoreListInFerrylink",
                    KESA_FormatMessage(2022, name, nameString));
        return;
    }

    // Removes a list that cannot be used, saying why; the database is closed
    // first, and no later step of the run looks for it. `afterAppInfo` picks
    // the report of a failed deletion.
    auto deleteInvalidList = [&](bool afterAppInfo, int why) {
        db.Close();
        const long rc = DeleteDatabase(name, KESA_FormatMessage(why));
        if (rc == SYNCERR_NONE || rc == SYNCERR_NOT_FOUND) {
            nameString.clear();
            return;
        }
        if (afterAppInfo)
            ReportError(false, rc, 22, "CNorvCondMgr::StoreListInFerrylink - SyncDeleteDb",
                        "Invalid List PDB deletion failed");
        else
            ReportError(false, rc, 22, "CNorvCondMgr::StoreListInFerrylink - SyncDeleteDb",
                        KESA_FormatText("CNorvCondMgr::StoreListInFerrylink : invalid List PDB deletion failed "
                                        "for channel '%s'",
                                        nameString));
    };

    try {
        std::vector<BYTE> buffer(kRecordBufferSize);
        DWORD size = 0;
        long rc = SyncReadDBAppInfoBlock(db.Handle(), buffer.data(), kSyncMaxBlock, &size);
        if (rc != SYNCERR_NONE) {
            ReportError(true, rc, 8, "StoreListInFerrylink->SyncReadDBAppInfoBlock",
                        KESA_FormatMessage(2022, name, "AppInfo"));
            NoteReadFailure(palmkit::RunFailure::List, name, 2022, "AppInfo");
            deleteInvalidList(true, 4128);
            return;
        }
        const int type = GetChannelTypeFromAppInfo(buffer.data(), size);
        nameString = GetChannelIdFromListAppInfo(buffer.data(), size);
        const std::string& channelId = nameString;

        if (type == ChannelList) {
            auto file = std::make_unique<CPdbFile>(name.c_str(), "KESA", entry.m_DbType == kTypeList ? "LIST" : "EMLS",
                                                   16, 22, 0, 0);
            auto order = std::make_unique<CPdbRecord>();
            if (ReadNextRecord(db.Handle(), kOrderCategory, buffer, *order) != SYNCERR_NONE) {
                NorvLog("CNorvCondMgr::StoreListInFerrylink : No order found");
                file.reset();
                deleteInvalidList(false, 4127);
                return;
            }
            m_Ferrylink.AddChannel(channelId, ChannelList, true);
            COrderInfo info;
            info.FillFromPdbRecord(order.get());
            NorvLog("CNorvCondMgr::StoreListInFerrylink : Order Info found.\n   ChnId: %s\n   MbrId: %s\n   Alias: "
                    "%s\n   Name: %s\n   Addr1: %s\n   Addr2: %s\n   Zip: %s\n   City: %s\n   Country: %s\n   "
                    "State: %s\n   AddrId: %s\n   Charges: %s\n   Comment: %s\n   Created: %s (%e)\n   Ordered: %s "
                    "(%e)\n   Processed: %s (%e)",
                    info.GetChannelIdStr(), info.GetMemberIdStr(), info.GetDeliveryAliasStr(), info.GetNameStr(),
                    info.GetAddress1Str(), info.GetAddress2Str(), info.GetZipStr(), info.GetCityStr(),
                    info.GetCountryStr(), info.GetStateStr(), info.GetDeliveryAddressIdStr(),
                    info.GetDeliveryChargesStr(), info.GetFreeCommentStr(), info.GetCreateDateStr(),
                    info.GetCreateDateOle(), info.GetOrderingDateStr(), info.GetOrderingDateOle(),
                    info.GetProcessDateStr(), info.GetProcessDateOle());

            const DWORD created = info.GetCreateDateDWord();
            const bool active = created != 0 && created >= info.GetProcessDateDWord();
            m_ListOrders[name] = active ? created : 0;
            if (active) m_ActiveOrders[name] = channelId;
            COrderJournal::Entry accepted;
            const bool held = active && !m_Journal.IsReadable();
            const bool placed = active && !held && m_Journal.Find(name, channelId, created, &accepted);
            if (!active || held || placed) {
                NorvLog(!active  ? "CNorvCondMgr::StoreListInFerrylink : Order not active"
                        : held ? "CNorvCondMgr::StoreListInFerrylink : Order held: the order journal cannot be read"
                               : "CNorvCondMgr::StoreListInFerrylink : Order accepted on an earlier run");
                order.reset();
                file.reset();
                db.Close();
                if (held)
                    NoteOrderFate(palmkit::OrderFate::Waiting, channelId, name, std::string(),
                                  KESA_FormatMessage(4112));
                // Left alone by the post-synchronization: a held order, one the
                // handheld could not record yet (it stays in the journal), a form gone.
                if (held || (placed && (!CompleteJournaledOrder(entry, channelId, accepted) ||
                                        entry.m_DbType == kTypeEmls)))
                    nameString.clear();
                m_Ferrylink.AddChannel(channelId, ChannelList, true)->SetPalmListFound(true);
                return;
            }
            m_SentOrders[{ChannelKey(channelId), name}] = created;

            {
                // The handheld's note of why the order was not sent last time
                // (the record's last text) is no part of the order: sent
                // without it, the order goes exactly as it went before, and
                // the service can recognise it. Only a record that ends with
                // such a note is rewritten.
                CPdbPackedRecord packed; // the order read, with no note
                if (info.FillPdbPackedRecord(packed).empty() && packed.Size() > 0 &&
                    order->Size() > long(packed.Size()) &&
                    std::equal(packed.Buffer(), packed.Buffer() + packed.Size() - 1, order->Data())) {
                    auto clean = std::make_unique<CPdbRecord>(packed.Buffer(), long(packed.Size()));
                    clean->m_UniqueId = order->m_UniqueId;
                    clean->m_Attrib = order->m_Attrib;
                    order = std::move(clean);
                }
            }
            file->m_RecordSet.AddRecord(std::move(order), BYTE(kOrderCategory));
            rc = SyncResetRecordIndex(db.Handle());
            if (rc != SYNCERR_NONE) {
                ReportError(true, rc, 8, "StoreListInFerrylink->SyncResetRecordIndex",
                            KESA_FormatMessage(2022, name, "ItemRefs"));
                NoteReadFailure(palmkit::RunFailure::List, name, 2022, "ItemRefs");
                return;
            }
            NorvLog("CNorvCondMgr::StoreListInFerrylink : Listing Records :");
            for (;;) {
                auto item = std::make_unique<CPdbRecord>();
                rc = ReadNextRecord(db.Handle(), kItemRefCategory, buffer, *item);
                if (rc != SYNCERR_NONE) break;
                const CItemRefRecord ref(item.get());
                NorvLog("   Name: %s; Prc: %s; Qty: %s; Ref: %s; Sel: %s", ref.GetNameStr(), ref.GetPriceStr(),
                        ref.GetQuantityStr(), ref.GetReferenceStr(), ref.GetNeedBool() ? "yes" : "no");
                if (ref.GetNeedBool()) file->m_RecordSet.AddRecord(std::move(item), BYTE(kItemRefCategory));
            }
            if (rc != SYNCERR_NOT_FOUND) {
                ReportError(true, rc, 22, "StoreListInFerrylink->SyncReadNextRecInCategory",
                            KESA_FormatMessage(2022, name, "ItemRef"));
                NoteReadFailure(palmkit::RunFailure::List, name, 2022, "ItemRef");
                file.reset();
                deleteInvalidList(false, 4129);
                return;
            }
            NorvLog("CNorvCondMgr::StoreListInFerrylink : Adding List %s from channel %s in the Ferrylink", name,
                    channelId);
            m_Ferrylink.AddList(channelId, name, file.get());
            NorvLog("CNorvCondMgr::StoreListInFerrylink : m_Ferrylink.AddList returned - closing db");
            return;
        }

        if (type == ChannelGame) {
            CPdbRecord record;
            rc = ReadNextRecord(db.Handle(), kItemRefCategory, buffer, record);
            if (rc != SYNCERR_NONE) {
                ReportError(true, rc, 22, "StoreListInFerrylink->SyncReadNextRecInCategory",
                            KESA_FormatMessage(2022, name, "ItemRef"));
                palmkit::NoteFailure(palmkit::RunFailure::Game, channelId,
                                     VisibleText(KESA_FormatMessage(2022, name, "ItemRef")));
                return;
            }
            const CItemRefRecord ref(&record);
            NorvLog("Found GameScore Item reference : %s; Points : %s", ref.GetReferenceStr(), ref.GetQuantityStr());
            m_Ferrylink.AddGameScore(channelId, ref.GetReferenceStr(), ref.GetQuantityStr());
            return;
        }

        m_Ferrylink.AddChannel(channelId, ChannelCatalog, true)->SetPalmListFound(true);
    } catch (...) {
        ReportReadException("CNorvCondMgr::StoreListInFerrylink", "StoreListInFerrylink system error...",
                            palmkit::RunFailure::List, name);
    }
}

void CNorvCondMgr::StoreUserCtxInFerrylink(const CSyncDbListEntry& entry, std::string& /*nameString*/)
{
    const std::string name = EntryName(entry);
    COpenDatabase db;
    const long opened = db.Open(name, kReadMode);
    NorvLog("CNorvCondMgr::StoreUserCtxInFerrylink : Ouverture PDB %s. l_dbHdl=%d, l_retval=%d", name,
            int(db.Handle()), opened);
    if (opened != SYNCERR_NONE) return;
    try {
        std::vector<BYTE> buffer(kRecordBufferSize);
        CPdbRecord record;
        if (ReadNextRecord(db.Handle(), kUserIdCategory, buffer, record) != SYNCERR_NONE) {
            NorvLog("CNorvCondMgr::StoreUserCtxInFerrylink : NO User Id Record found. Using default UID=%s; PWD=%s",
                    m_Ferrylink.GetUID(), MaskPassword(m_Ferrylink.GetPWD()));
            return;
        }
        CUserIdRecord user;
        user.FillFromPdbRecord(&record);
        NorvLog("CNorvCondMgr::StoreUserCtxInFerrylink : User Id Record found. UserId=%s; Password=%s",
                user.GetUserId(), MaskPassword(user.GetPassword()));
        // Credentials from the settings win over the handheld's.
        if (m_Ferrylink.GetUID().empty()) m_Ferrylink.SetUID(user.GetUserId());
        if (m_Ferrylink.GetPWD().empty()) m_Ferrylink.SetPWD(user.GetPassword());
    } catch (...) {
        NorvLog("CNorvCondMgr::StoreUserCtxInFerrylink : UNEXPECTED ERROR. Aborting");
    }
}
