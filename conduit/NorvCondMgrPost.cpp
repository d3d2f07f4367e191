// After the server processed a channel: the handheld's catalog, lists and
// orders of that channel are brought in line with the answer; the user
// context is merged with the one the server sent.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "conduit/NorvCondMgr.h"
#include "conduit/NorvTrace.h"
#include "conduit/OpenDatabase.h"
#include "palmkit/HsLog.h"
#include "seam/TransferAbort.h"
#include "quillio/PdbFile.h"
#include "quillio/PdbRecord.h"
#include "records/AddressRecord.h"
#include "records/AddressRecords.h"
#include "records/ItemRecord.h"
#include "records/ItemRecords.h"
#include "records/ItemRefRecord.h"
#include "records/OrderInfo.h"
#include "records/PdbPackedRecord.h"

namespace {

constexpr BYTE kUpdateMode = eDbRead | eDbWrite | eDbShowSecret;
constexpr short kOrderCategory = 5;
constexpr short kAddressCategory = 6;
constexpr short kItemRefCategory = 8;
constexpr short kUserIdCategory = 9;

// Marks of the pending item-reference changes.
constexpr BYTE kMarkDelete = 1;
constexpr BYTE kMarkUpdate = 2;

// A W3C date that the handheld can hold and that reads back the same.
bool ReadableDate(const std::string& w3c)
{
    const DWORD value = CPdbPackedRecord::DateStringToDWord(w3c, "W3C");
    return value != 0 && w3c.size() >= 19 && CPdbPackedRecord::DWordToW3CDateString(value) == w3c.substr(0, 19);
}

bool IsDeleted(long rc)
{
    return rc == SYNCERR_NONE || rc == SYNCERR_NOT_FOUND;
}

// The Sync Manager error of a failed step, in the trace only.
void TraceSyncError(const std::string& context, long rc)
{
    CNorvTrace::Instance().WriteSyncError(context, rc);
}

} // namespace

void CNorvCondMgr::PerformCatalogPostSynchro(const CSyncDbListEntry& entry, const std::string& channelId)
{
    const std::string name = EntryName(entry);
    try {
        NorvLog("CNorvCondMgr::PerformCatalogPostSynchro - Performing post synchro for catalog : %s", name);
        CChannelData* channel = m_Ferrylink.GetChannelData(channelId);
        if (channel->HasCatalogError()) {
            ReportError(true, 0, 22, "CNorvCondMgr::PerformCatalogPostSynchro", channel->GetCatalogErrorMessage());
            palmkit::NoteFailure(palmkit::RunFailure::Channel, channelId,
                                 VisibleText(channel->GetCatalogErrorMessage()));
            return;
        }
        if (channel->IsInCDL() && channel->HasNewCatalog()) {
            // The old catalog goes only once the new one is in place.
            AwaitReplacement(channelId, name, true);
            return;
        }
        if (!channel->IsPalmCatalogFound() || !channel->IsPalmListFound()) {
            const long rc = DeleteDatabase(name, KESA_FormatMessage(4125, channelId));
            if (!IsDeleted(rc))
                ReportError(false, rc, 22, "CNorvCondMgr::PerformCatalogPostSynchro - SyncDeleteDb",
                            KESA_FormatText("CNorvCondMgr::PerformCatalogPostSynchro : PDB deletion failed for "
                                            "channel '%s'",
                                            channelId));
            return;
        }
        NorvLog("CNorvCondMgr::PerformCatalogPostSynchro - Catalog is not in CDL or no Catalog Received");
    } catch (...) {
        NorvLog("CNorvCondMgr::PerformCatalogPostSynchro - PDB deletion failed for channel '%s'", channelId);
    }
}

void CNorvCondMgr::PerformListPostSynchro(const CSyncDbListEntry& entry, const std::string& channelId)
{
    const std::string name = EntryName(entry);
    COpenDatabase db;
    try {
        NorvLog("CNorvCondMgr::PerformListPostSynchro - Performing post synchro for list : %s", name);
        CChannelData* channel = m_Ferrylink.GetChannelData(channelId);
        CSynchPdb* listPdb = channel->FindListOrIODByName(name);
        if (listPdb != nullptr) NoteSentOrderFate(channelId, *listPdb);

        long deleted = SYNCERR_NONE;
        // A catalog that is there but unreadable is being replaced: its lists stay.
        const bool catalogFound = channel->IsPalmCatalogFound() || m_DamagedCatalogs.count(ChannelKey(channelId)) != 0;
        if (entry.m_DbType == kTypeEmls && listPdb != nullptr && !listPdb->HasError()) {
            // A submitted form the server accepted leaves the handheld.
            deleted = DeleteDatabase(name, KESA_FormatMessage(4121));
            if (IsDeleted(deleted)) {
                NorvLog("CNorvCondMgr::PerformListPostSynchro - Form Submit Removed");
                OrderRecorded(channelId, name);
                return;
            }
        } else if (channel->HasDefList()) {
            // The service's default list takes its place, once it is installed.
            AwaitReplacement(channelId, name, false);
            return;
        } else if (!catalogFound && !OrderStillWaits(listPdb)) {
            deleted = DeleteDatabase(name, KESA_FormatMessage(4126, channelId));
            if (IsDeleted(deleted)) return;
        } else {
            // The order is updated in both cases, read-write, then closed.
            if (channel->HasCatalogError() && listPdb == nullptr) return;
            const long opened = db.Open(name, kUpdateMode);
            if (opened != SYNCERR_NONE) {
                ReportError(true, opened, 8, "CNorvCondMgr::ProcessAllChannels", KESA_FormatMessage(2027, name));
                palmkit::NoteFailure(palmkit::RunFailure::List, name, VisibleText(KESA_FormatMessage(2027, name)));
                return;
            }
            if (!channel->HasCatalogError()) {
                if (channel->HasRefList()) UpdateListAppInfo(db.Handle(), name, channel);
                if (channel->HasNewCatalog()) UpdateListItemRefs(db.Handle(), name, channel);
            }
            const bool orderWritten =
                listPdb != nullptr && UpdateListOrderInfo(db.Handle(), name, entry.m_DbType, channelId, listPdb);
            const long closed = db.Close();
            if (closed != SYNCERR_NONE) {
                ReportError(true, closed, 9, "CNorvCondMgr::PerformListPostSynchro - SyncCloseDB",
                            KESA_FormatMessage(2027, name));
                palmkit::NoteFailure(palmkit::RunFailure::List, name, VisibleText(KESA_FormatMessage(2027, name)));
            } else if (orderWritten && !listPdb->HasError() && !listPdb->GetProcessDate().empty())
                OrderRecorded(channelId, name);
            return;
        }
        ReportError(false, deleted, 12, "PerformListPostSynchro",
                    KESA_FormatText("PDB deletion failed for '%s'", name));
    } catch (...) {
        db.Close();
        const std::string text = KESA_FormatMessage(2000, "CNorvCondMgr::PerformListPostSynchro", name, name);
        ReportError(true, 0, 22, "CNorvCondMgr::CNorvCondMonitor", text);
        palmkit::NoteFailure(palmkit::RunFailure::List, name, VisibleText(text));
    }
}

bool CNorvCondMgr::OrderStillWaits(const CSynchPdb* listPdb)
{
    // No answer read: the service may hold the order, and only this list can send it again.
    return listPdb != nullptr && listPdb->HasError() && (listPdb->IsUnanswered() || platform::TransfersAborted());
}

void CNorvCondMgr::UpdateListAppInfo(BYTE handle, const std::string& listName, CChannelData* channel)
{
    NorvLog("CNorvCondMgr::UpdateListAppInfo - Processing list : %s", listName);
    const std::string path = channel->GetRefListPdbFilepath();
    CPdbFile file;
    if (!file.ReadPdbFile(path.c_str())) {
        NorvLog("CNorvCondMgr::UpdateListAppInfo - Echec du chargement du fichier : %s", path);
        return;
    }
    NorvLog("CNorvCondMgr::UpdateListAppInfo - Writing %d bytes of AppInfo", int(file.m_AppInfo.size()));
    // Only a list header of the same channel may take the list's place: any
    // other would cut the list from its catalog, and the next run would
    // delete it as invalid. The header stays as it is.
    const BYTE* block = file.m_AppInfo.data();
    const DWORD size = DWORD(file.m_AppInfo.size());
    std::vector<BYTE> current(kRecordBufferSize);
    DWORD currentSize = 0;
    const bool listHeader =
        !file.m_AppInfo.empty() &&
        SyncReadDBAppInfoBlock(handle, current.data(), kSyncMaxBlock, &currentSize) == SYNCERR_NONE &&
        GetChannelTypeFromAppInfo(block, size) == GetChannelTypeFromAppInfo(current.data(), currentSize) &&
        ChannelKey(GetChannelIdFromListAppInfo(block, size)) == ChannelKey(channel->GetChannelId());
    long rc = SYNCERR_NONE;
    if (!listHeader) {
        // The service's file, not the handheld, is at fault.
        const std::string text = KESA_FormatMessage(4109, VisibleText(listName), channel->GetChannelId());
        ReportError(true, 0, 22, "CNorvCondMgr::UpdateListAppInfo", text);
        palmkit::NoteFailure(palmkit::RunFailure::Install, channel->GetChannelId(), VisibleText(text));
    } else if ((rc = SyncWriteDBAppInfoBlock(handle, block, size)) != SYNCERR_NONE) {
        ReportError(true, rc, 9, "CNorvCondMgr::UpdateListAppInfo - SyncWriteDBAppInfoBlock failed",
                    KESA_FormatMessage(2036));
        palmkit::NoteFailure(palmkit::RunFailure::List, listName, VisibleText(KESA_FormatMessage(2036)));
    }
}

void CNorvCondMgr::UpdateListItemRefs(BYTE handle, const std::string& listName, CChannelData* channel)
{
    NorvLog("CNorvCondMgr::UpdateListItemRefs - Updating list %s (channel %s) : new catalog received from server.",
            listName, channel->GetChannelId());
    std::vector<BYTE> buffer(kRecordBufferSize);
    int activity = 8;
    auto current = std::make_unique<CPdbRecord>();
    long error = ReadNextRecord(handle, kItemRefCategory, buffer, *current);

    if (error == SYNCERR_NONE) {
        const std::string path = channel->GetNewCatalogPdbFilepath();
        CPdbFile catalog;
        if (!catalog.ReadPdbFile(path.c_str())) {
            ReportError(true, 0, 22, "CNorvCondMgr::UpdateListItemRefs", KESA_FormatMessage(2026, path));
            palmkit::NoteFailure(palmkit::RunFailure::Install, channel->GetChannelId(),
                                 VisibleText(KESA_FormatMessage(2026, path)));
            return;
        }
        CItemRecords items;
        items.FillFromPdbRecords(catalog.m_RecordSet);

        // Reading first, writing after: the walk is never disturbed by writes.
        std::vector<std::unique_ptr<CPdbRecord>> pending;
        std::map<DWORD, std::string> dropped; // the names of the lines to delete
        while (error == SYNCERR_NONE) {
            CItemRefRecord ref(current.get());
            const DWORD id = current->m_UniqueId;
            if (const CItemRecord* item = items.FindItemRecordByRef(ref.GetReferenceStr())) {
                ref.SetName(item->GetNameStr());
                ref.SetPrice(item->GetPriceStr());
                CPdbPackedRecord packed;
                const std::string refused = ref.FillPdbPackedRecord(packed);
                if (refused.empty()) {
                    auto update = std::make_unique<CPdbRecord>(packed.Buffer(), long(packed.Size()));
                    update->m_UniqueId = id;
                    update->m_Attrib = kMarkUpdate;
                    pending.push_back(std::move(update));
                    NorvLog("CNorvCondMgr::UpdateListItemRefs -    Item ref# %s Id %d Size %d to update with name=%s "
                            "and price=%s",
                            ref.GetReferenceStr(), id, packed.Size(), item->GetNameStr(), item->GetPriceStr());
                } else {
                    // Too large for a record: the line keeps what it had.
                    NorvLog("CNorvCondMgr::UpdateListItemRefs -    Item ref# %s Id %d : %s", ref.GetReferenceStr(),
                            id, refused);
                }
            } else {
                auto drop = std::make_unique<CPdbRecord>();
                drop->m_UniqueId = id;
                drop->m_Attrib = kMarkDelete;
                dropped[id] = ref.GetNameStr();
                pending.push_back(std::move(drop));
                NorvLog("CNorvCondMgr::UpdateListItemRefs -    Item ref# %s Name=%s Id %d to delete",
                        ref.GetReferenceStr(), ref.GetNameStr(), id);
            }
            current = std::make_unique<CPdbRecord>();
            error = ReadNextRecord(handle, kItemRefCategory, buffer, *current);
        }

        std::vector<std::string> removed;
        if (error == SYNCERR_NOT_FOUND) {
            for (const auto& change : pending) {
                const DWORD id = change->m_UniqueId;
                if (change->m_Attrib == kMarkDelete) {
                    NorvLog("CNorvCondMgr::UpdateListItemRefs - Deleting ItemRef record Id %d", id);
                    CSyncRecord rec;
                    rec.m_FileHandle = handle;
                    rec.m_RecId = id;
                    error = SyncDeleteRec(&rec);
                    if (error != SYNCERR_NONE) {
                        NorvLog("CNorvCondMgr::UpdateListItemRefs - Failed to delete record. Id=%d", id);
                        TraceSyncError("CNorvCondMgr::UpdateListItemRefs - SyncDeleteRec", error);
                        activity = 12;
                        break;
                    }
                    removed.push_back(dropped[id]);
                } else {
                    NorvLog("   Updating ItemRef record Id %d Size %d", id, int(change->Size()));
                    error = WriteRecord(handle, id, kItemRefCategory, change->Data(), DWORD(change->Size()));
                    if (error != SYNCERR_NONE && error != SYNCERR_NOT_FOUND) {
                        NorvLog("CNorvCondMgr::UpdateListItemRefs - Failed to update record. Id=%d", id);
                        TraceSyncError("CNorvCondMgr::UpdateListItemRefs - SyncWriteRec", error);
                        activity = 11;
                        break;
                    }
                }
            }
        }
        if (!removed.empty()) {
            // The shopper finds fewer lines than they wrote: say which went, and why.
            std::string names;
            for (const std::string& n : removed) names += (names.empty() ? "" : ", ") + VisibleText(n);
            const std::string text =
                removed.size() == 1
                    ? KESA_FormatMessage(4105, VisibleText(listName), channel->GetChannelId(), names)
                    : KESA_FormatMessage(4106, VisibleText(listName), int(removed.size()), channel->GetChannelId(), names);
            NorvLog(text);
            LogAddEntry(text.c_str(), slText, 0);
        }
    }

    if (error != SYNCERR_NONE && error != SYNCERR_NOT_FOUND) {
        ReportError(true, error, activity, "CNorvCondMgr::UpdateListItemRefs", KESA_FormatMessage(2027, listName));
        palmkit::NoteFailure(palmkit::RunFailure::List, listName, VisibleText(KESA_FormatMessage(2027, listName)));
    }
}

bool CNorvCondMgr::UpdateListOrderInfo(BYTE handle, const std::string& listName, DWORD listType,
                                       const std::string& channelId, CSynchPdb* listPdb)
{
    NorvLog("CNorvCondMgr::UpdateListOrderInfo - Updating list %s (channel %s) : order process date.", listName,
            channelId);
    long rc = SyncResetRecordIndex(handle);
    if (rc != SYNCERR_NONE) {
        ReportError(true, rc, 8, "CNorvCondMgr::UpdateListOrderInfo - SyncResetRecordIndex",
                    KESA_FormatMessage(2028, listName));
        palmkit::NoteFailure(palmkit::RunFailure::List, listName, VisibleText(KESA_FormatMessage(2028, listName)));
        return false;
    }
    std::vector<BYTE> buffer(kRecordBufferSize);
    CPdbRecord record;
    rc = ReadNextRecord(handle, kOrderCategory, buffer, record);
    if (rc != SYNCERR_NONE) {
        ReportError(true, rc, 8, "CNorvCondMgr::UpdateListOrderInfo - SyncReadNextRecInCategory",
                    KESA_FormatMessage(2028, listName));
        palmkit::NoteFailure(palmkit::RunFailure::List, listName, VisibleText(KESA_FormatMessage(2028, listName)));
        return false;
    }

    COrderInfo order;
    order.FillFromPdbRecord(&record);
    const std::string processDate = listPdb->GetProcessDate();
    NorvLog("CNorvCondMgr::UpdateListOrderInfo - Returned ProcessDate= %s", processDate);
    if (listPdb->HasError() && platform::TransfersAborted()) {
        // Cut off because the program is stopping, not refused: the order
        // stays active and goes on the next run.
        ReportError(true, 0, 22, "CNorvCondMgr::UpdateListOrderInfo", KESA_FormatMessage(4116, listName, channelId));
        return false;
    }
    const bool unanswered = listPdb->HasError() && listPdb->IsUnanswered();
    if (!processDate.empty() && !listPdb->HasError() && !ReadableDate(processDate)) {
        // Taken, it would end the order with no date: it is left as it was.
        const std::string text = KESA_FormatMessage(4117, listName, channelId, processDate);
        ReportError(true, 0, 22, "CNorvCondMgr::UpdateListOrderInfo", text);
        palmkit::NoteFailure(palmkit::RunFailure::List, listName, VisibleText(text));
        return false;
    }
    if (unanswered) {
        // No answer was read: the service may have recorded the order. It
        // stays active as it is, to go again unchanged on the next run, where
        // the service can recognise it; only the reason is added for the
        // handheld to show.
    } else if (!processDate.empty() && !listPdb->HasError()) {
        order.SetProcessDate(processDate, "W3C");
        order.SetCreationDate("", "");
    } else if (listType != kTypeEmls) {
        order.SetProcessDate("", "");
        order.SetCreationDate("", "");
    }
    // Without a creation date the order is no longer active: it is not sent again.
    NorvLog("CNorvCondMgr::UpdateListOrderInfo - After update Created=%s; Ordered=%s; Processed=%s",
            order.GetCreateDateStr(), order.GetOrderingDateStr(), order.GetProcessDateStr());

    if (unanswered) {
        const std::string text = KESA_FormatMessage(4103, listName, channelId, listPdb->GetReason());
        ReportError(true, 0, 22, "CNorvCondMgr::UpdateListOrderInfo", text);
        palmkit::NoteFailure(palmkit::RunFailure::List, listName, VisibleText(listPdb->GetReason()));
        // The order goes again without the reason (see StoreListInFerrylink);
        // a record that would not read back to the same bytes is not touched,
        // so that it is sent exactly as before.
        CPdbPackedRecord same;
        if (!order.FillPdbPackedRecord(same).empty() || same.Size() != record.Size() ||
            !std::equal(record.Data(), record.Data() + record.Size(), same.Buffer()))
            return false;
        order.SetErrorMessage(listPdb->GetErrorMessage());
    } else if (listPdb->HasError()) {
        order.SetErrorMessage(listPdb->GetErrorMessage());
        ReportError(true, 0, 22, "CNorvCondMgr::UpdateListOrderInfo", listPdb->GetErrorMessage());
        palmkit::NoteFailure(palmkit::RunFailure::List, listName, VisibleText(listPdb->GetReason()));
    } else {
        order.SetErrorMessage("");
    }
    // The member is the one that placed it; an order to be sent again keeps its record as it was.
    if (!unanswered) order.SetMemberId(m_Ferrylink.GetUID());

    CPdbPackedRecord packed;
    const std::string refused = order.FillPdbPackedRecord(packed);
    rc = refused.empty() ? WriteRecord(handle, record.m_UniqueId, kOrderCategory, packed.Buffer(), DWORD(packed.Size()))
                         : SYNCERR_LIMIT_EXCEEDED;
    if (rc != SYNCERR_NONE) {
        ReportError(true, rc, 11, "CNorvCondMgr::UpdateListOrderInfo - SyncWriteRec",
                    KESA_FormatMessage(2028, listName));
        palmkit::NoteFailure(palmkit::RunFailure::List, listName, VisibleText(KESA_FormatMessage(2028, listName)));
        return false;
    }
    return true;
}

void CNorvCondMgr::PerformUserCtxPostSynchro(const CSyncDbListEntry& entry)
{
    const std::string name = EntryName(entry);
    if (!m_Ferrylink.HasUserPdbToInstall()) {
        NorvLog("CNorvCondMgr::PerformUserCtxPostSynchro - No UserCtx to install");
        return;
    }
    COpenDatabase db;
    try {
        NorvLog("CNorvCondMgr::PerformUserCtxPostSynchro - Updating UserContext : new version received from server.");
        long error = SYNCERR_NONE;
        int activity = 8;
        bool userIdUpdated = false;

        // Every step ends here on its first failure.
        auto merge = [&]() {
            error = db.Open(name, kUpdateMode);
            if (error != SYNCERR_NONE) return;

            const std::string path = m_Ferrylink.GetUserPdbFilepath();
            CPdbFile file;
            if (!file.ReadPdbFile(path.c_str())) {
                ReportError(true, 0, 22, "CNorvCondMgr::PerformUserCtxPostSynchro - ReadPdbFile",
                            KESA_FormatMessage(2030, path));
                palmkit::NoteFailure(palmkit::RunFailure::UserContext, std::string(),
                                     VisibleText(KESA_FormatMessage(4102)));
                return;
            }
            CAddressRecords serverAddresses;
            serverAddresses.FillFromPdbRecords(file.m_RecordSet);

            // Server addresses replace those the server stored and those of the same alias.
            std::vector<BYTE> buffer(kRecordBufferSize);
            CPdbRecord record;
            while ((error = ReadNextRecord(db.Handle(), kAddressCategory, buffer, record)) == SYNCERR_NONE) {
                CAddressRecord address;
                address.FillFromPdbRecord(&record);
                const std::string id = address.GetId();
                const std::string alias = address.GetAlias();
                if ((id != "0" && !id.empty()) || serverAddresses.FindAddressByAlias(alias) != nullptr) {
                    NorvLog("CNorvCondMgr::PerformUserCtxPostSynchro -    Deleting address Id=%s, Alias=%s", id, alias);
                    CSyncRecord rec;
                    rec.m_FileHandle = db.Handle();
                    rec.m_RecId = record.m_UniqueId;
                    error = SyncDeleteRec(&rec);
                    if (error != SYNCERR_NONE) {
                        NorvLog("CNorvCondMgr::PerformUserCtxPostSynchro - Failed to delete address. Id=%s, Alias=%s",
                                id, alias);
                        TraceSyncError("CNorvCondMgr::PerformUserCtxPostSynchro - SyncDeleteRec", error);
                        activity = 12;
                        return;
                    }
                } else {
                    NorvLog("CNorvCondMgr::PerformUserCtxPostSynchro -    Keeping local address. Alias=%s", alias);
                }
            }
            if (error != SYNCERR_NOT_FOUND) return;

            for (std::size_t i = 0; i < serverAddresses.GetCount(); ++i) {
                const CAddressRecord* address = serverAddresses.GetAt(i);
                CPdbPackedRecord packed;
                address->FillPdbPackedRecord(packed);
                NorvLog("CNorvCondMgr::PerformUserCtxPostSynchro -    Writing address Id=%s, Alias=%s",
                        address->GetId(), address->GetAlias());
                error = WriteRecord(db.Handle(), 0, kAddressCategory, packed.Buffer(), DWORD(packed.Size()));
                if (error != SYNCERR_NONE && error != SYNCERR_NOT_FOUND) {
                    NorvLog("CNorvCondMgr::PerformUserCtxPostSynchro - Failed to insert addressrecord. Id=%s, "
                            "Alias=%s",
                            address->GetId(), address->GetAlias());
                    TraceSyncError("CNorvCondMgr::PerformUserCtxPostSynchro - SyncWriteRec", error);
                    activity = 9;
                    return;
                }
            }

            error = SyncResetRecordIndex(db.Handle());
            if (error != SYNCERR_NONE) return;
            DWORD handheldId = 0;
            error = ReadNextRecord(db.Handle(), kUserIdCategory, buffer, record);
            if (error == SYNCERR_NONE)
                handheldId = record.m_UniqueId;
            else if (error != SYNCERR_NOT_FOUND)
                return;

            const CPdbRecord* serverUser = nullptr;
            for (const auto& r : file.m_RecordSet) {
                if ((r->m_Attrib & 0x0F) == kUserIdCategory) {
                    serverUser = r.get();
                    break;
                }
            }
            if (serverUser == nullptr) {
                NorvLog("CNorvCondMgr::PerformUserCtxPostSynchro - WARNING no UserId info found");
                return;
            }
            NorvLog("CNorvCondMgr::PerformUserCtxPostSynchro - Updating UserId record");
            error = WriteRecord(db.Handle(), handheldId, kUserIdCategory, serverUser->Data(),
                                DWORD(serverUser->Size()));
            if (error != SYNCERR_NONE && error != SYNCERR_NOT_FOUND) {
                NorvLog("CNorvCondMgr::PerformUserCtxPostSynchro - Failed to insert/update User Id information");
                activity = 9;
                return;
            }
            userIdUpdated = error == SYNCERR_NONE;
        };
        merge();

        // The merge reaches the handheld only when the database is written back.
        const long closed = db.Close();
        if (closed != SYNCERR_NONE && (error == SYNCERR_NONE || error == SYNCERR_NOT_FOUND)) {
            error = closed;
            activity = 9;
            userIdUpdated = false;
        }
        if (error != SYNCERR_NONE && error != SYNCERR_NOT_FOUND) {
            ReportError(true, error, activity, "CNorvCondMgr::PerformUserCtxPostSynchro", KESA_FormatMessage(2029));
            palmkit::NoteFailure(palmkit::RunFailure::UserContext, std::string(), KESA_FormatMessage(2029));
        }
        if (userIdUpdated) m_Settings.DeletePWD();
    } catch (...) {
        db.Close();
        const std::string text = KESA_FormatMessage(2000, "CNorvCondMgr::PerformUserCtxPostSynchro", name);
        ReportError(true, 0, 22, "CNorvCondMgr::PerformUserCtxPostSynchro", text);
        palmkit::NoteFailure(palmkit::RunFailure::UserContext, std::string(), VisibleText(text));
    }
}
