// What keeps a shopper's data whole whatever ends a run: orders the service
// accepted are journaled and never sent twice, and a database that the
// service replaces stays until its replacement is in place.
#include <strings.h>

#include <string>

#include "conduit/NorvCondMgr.h"
#include "conduit/NorvTrace.h"
#include "conduit/OpenDatabase.h"
#include "palmkit/Handheld.h"
#include "palmkit/HandheldStore.h"
#include "palmkit/HsLog.h"
#include "quillio/PdbFile.h"
#include "quillio/PdbRecord.h"
#include "records/OrderInfo.h"
#include "seam/TransferAbort.h"

namespace {

constexpr BYTE kUpdateMode = eDbRead | eDbWrite | eDbShowSecret;
constexpr short kOrderCategory = 5;

void Inform(const std::string& text)
{
    NorvLog(text);
    LogAddEntry(text.c_str(), slText, 0);
}

} // namespace

void CNorvCondMgr::JournalAcceptedOrder(const std::string& channelId, const CSynchPdb& list)
{
    try {
        const std::string name = list.GetPdbName();
        const auto sent = m_SentOrders.find({ChannelKey(channelId), name});
        if (sent == m_SentOrders.end()) return;
        const COrderJournal::Entry entry{channelId, name, sent->second, list.GetProcessDate()};
        std::string why;
        if (m_Journal.Add(entry, &why)) {
            NorvLog("CNorvCondMgr::JournalAcceptedOrder - order of list %s (channel %s) accepted on %s", name,
                    channelId, entry.processDate);
            return;
        }
        ReportError(true, 0, slWarning, "CNorvCondMgr::JournalAcceptedOrder",
                    KESA_FormatMessage(4134, name, channelId, why));
    } catch (...) {
        NorvLog("CNorvCondMgr::JournalAcceptedOrder - unexpected failure");
    }
}

bool CNorvCondMgr::CompleteJournaledOrder(const CSyncDbListEntry& entry, const std::string& channelId,
                                          const COrderJournal::Entry& accepted)
{
    const std::string name = EntryName(entry);
    // Placed, whatever the handheld makes of it now.
    NoteOrderFate(palmkit::OrderFate::PlacedEarlier, channelId, name, accepted.processDate, std::string());
    if (entry.m_DbType == kTypeEmls) {
        // An accepted form leaves the handheld, as it does when accepted in this run.
        if (DeleteDatabase(name, KESA_FormatMessage(4122)) != SYNCERR_NONE) return false;
        OrderRecorded(channelId, name);
        return true;
    }
    COpenDatabase db;
    const long opened = db.Open(name, kUpdateMode);
    if (opened != SYNCERR_NONE) {
        ReportError(true, opened, 8, "CNorvCondMgr::CompleteJournaledOrder", KESA_FormatMessage(2027, name));
        return false;
    }
    CSynchPdb answer;
    answer.SetPdbName(name);
    answer.SetProcessDate(accepted.processDate);
    const bool written = UpdateListOrderInfo(db.Handle(), name, entry.m_DbType, channelId, &answer);
    const long closed = db.Close();
    if (!written || closed != SYNCERR_NONE) {
        if (closed != SYNCERR_NONE)
            ReportError(true, closed, 9, "CNorvCondMgr::CompleteJournaledOrder", KESA_FormatMessage(2027, name));
        return false;
    }
    Inform(KESA_FormatMessage(4133, name, channelId, accepted.processDate));
    m_OrdersRecorded.push_back(accepted);
    return true;
}

void CNorvCondMgr::OrderRecorded(const std::string& channelId, const std::string& listName)
{
    const auto sent = m_SentOrders.find({ChannelKey(channelId), listName});
    const auto read = m_ListOrders.find(listName);
    const DWORD created = sent != m_SentOrders.end() ? sent->second : read != m_ListOrders.end() ? read->second : 0;
    if (created != 0) m_OrdersRecorded.push_back(COrderJournal::Entry{channelId, listName, created, std::string()});
}

void CNorvCondMgr::PruneOrderJournal()
{
    if (!m_Journal.IsReadable() || m_Journal.Path().empty()) return;
    std::set<std::string> names;
    for (std::size_t i = 0; i < m_DbList.m_Entries.size(); ++i) names.insert(EntryName(m_DbList.m_Entries[i]));
    std::string why;
    const bool ok = m_Journal.RemoveUnless(
        [&](const COrderJournal::Entry& e) {
            const auto read = m_ListOrders.find(e.listName);
            // The list holds another order, or none active: this one is done.
            if (read != m_ListOrders.end()) return read->second == e.created;
            // A list that could not be read keeps its entry; a list gone takes it along.
            return names.count(e.listName) != 0;
        },
        &why);
    if (!ok) NorvLog("CNorvCondMgr::PruneOrderJournal - %s", why);
}

void CNorvCondMgr::AwaitReplacement(const std::string& channelId, const std::string& name, bool isCatalog,
                                    bool damaged)
{
    NorvLog("CNorvCondMgr::AwaitReplacement - %s stays until its replacement is installed", name);
    m_Awaiting[ChannelKey(channelId)].push_back(Awaiting{name, isCatalog, damaged});
}

bool CNorvCondMgr::MayReplace(const std::string& name, DWORD type) const
{
    for (const auto& [channel, waiting] : m_Awaiting)
        for (const Awaiting& a : waiting)
            if (a.name == name) return true;
    for (const CSyncDbListEntry& e : m_DbList.m_Entries)
        if (EntryName(e) == name && (e.m_MiscFlags & eDbListDamaged) && e.m_Creator == kCreatorKesa &&
            e.m_DbType == type)
            return true;
    return false;
}

void CNorvCondMgr::SettleReplacements(const std::string& channelId, bool catalogInstalled,
                                      const std::string& newCatalog, bool listInstalled, const std::string& newList)
{
    const auto it = m_Awaiting.find(ChannelKey(channelId));
    if (it == m_Awaiting.end()) return;
    const std::vector<Awaiting> waiting = std::move(it->second);
    m_Awaiting.erase(it);
    for (const Awaiting& a : waiting) {
        const bool installed = a.isCatalog ? catalogInstalled : listInstalled;
        const std::string& by = a.isCatalog ? newCatalog : newList;
        if (!installed) {
            // A damaged catalog was said to be so when it was read; it waits for the next run.
            if (!a.damaged) Inform(KESA_FormatMessage(a.isCatalog ? 4131 : 4132, a.name, channelId));
            continue;
        }
        // Installed under the same name, the new database has taken its place already.
        if (a.name == by) continue;
        DeleteDatabase(a.name, KESA_FormatMessage(a.damaged ? 4130 : a.isCatalog ? 4123 : 4124, VisibleText(by)));
    }
}

std::string CNorvCondMgr::RefuseApplication(const std::string& path) const
{
    constexpr DWORD kTypeAppl = 0x6170706C; // "appl"
    const auto head = CHandheldStore::Examine(path);
    CPdbFile file;
    if (!head || head->damaged || head->name.empty() || head->recordCount == 0 || !file.ReadPdbFile(path.c_str()))
        return KESA_FormatMessage(4138);
    if (!(head->attributes & CPdbFile::kAttrResource) || head->creator != kCreatorKesa || head->type != kTypeAppl)
        return KESA_FormatMessage(4139);
    for (const CSyncDbListEntry& e : m_DbList.m_Entries) {
        if (EntryName(e) != head->name) continue;
        if (e.m_Creator != kCreatorKesa || e.m_DbType != kTypeAppl || !(e.m_DbFlags & CPdbFile::kAttrResource))
            return KESA_FormatMessage(4118, VisibleText(head->name));
    }
    return std::string();
}

long CNorvCondMgr::DeleteDatabase(const std::string& name, const std::string& why)
{
    const long rc = SyncDeleteDb(name.c_str(), 0);
    if (rc == SYNCERR_NONE) Inform(KESA_FormatMessage(4120, VisibleText(name), why));
    return rc;
}

void CNorvCondMgr::NoteOrderFate(palmkit::OrderFate fate, const std::string& channelId, const std::string& listName,
                                 const std::string& date, const std::string& why)
{
    m_FatedOrders.insert(listName);
    palmkit::NoteOrder(palmkit::OrderNote{fate, channelId, listName, date, VisibleText(why)});
}

void CNorvCondMgr::NoteSentOrderFate(const std::string& channelId, const CSynchPdb& list)
{
    const std::string name = list.GetPdbName();
    if (m_ActiveOrders.count(name) == 0) return;
    if (!list.HasError() && !list.GetProcessDate().empty())
        NoteOrderFate(palmkit::OrderFate::Placed, channelId, name, list.GetProcessDate(), std::string());
    else if (list.HasError() && !list.IsUnanswered() && !platform::TransfersAborted())
        NoteOrderFate(palmkit::OrderFate::Refused, channelId, name, std::string(), list.GetReason());
    else
        NoteOrderFate(palmkit::OrderFate::Waiting, channelId, name, std::string(),
                      list.HasError() ? list.GetReason() : KESA_FormatMessage(4110));
}

void CNorvCondMgr::NoteUnsentOrders()
{
    if (!m_ListsRead) ReadActiveOrders();
    std::set<std::string> failedChannels;
    for (const auto& f : palmkit::CurrentRunReport().failures)
        if (f.kind == palmkit::RunFailure::Channel) failedChannels.insert(ChannelKey(f.name));
    for (const auto& [list, channelId] : m_ActiveOrders) {
        if (m_FatedOrders.count(list)) continue;
        // Accepted by the service, but this run ended before the handheld recorded it.
        COrderJournal::Entry accepted;
        const auto read = m_ListOrders.find(list);
        if (read != m_ListOrders.end() && m_Journal.IsReadable() &&
            m_Journal.Find(list, channelId, read->second, &accepted)) {
            NoteOrderFate(palmkit::OrderFate::Placed, channelId, list, accepted.processDate, std::string());
            continue;
        }
        std::string why = m_EndReason;
        if (failedChannels.count(ChannelKey(channelId))) why = KESA_FormatMessage(4111, channelId);
        if (why.empty()) why = KESA_FormatMessage(4110);
        NoteOrderFate(palmkit::OrderFate::Waiting, channelId, list, std::string(), why);
    }
}

void CNorvCondMgr::ReadActiveOrders()
{
    // The run ended before it read the handheld: its waiting orders are
    // read here, without a change, so that the run can name them.
    if (!m_Registered) return;
    CSyncCardInfo card{};
    if (SyncReadSingleCardInfo(&card) != SYNCERR_NONE) return;
    std::vector<CSyncDbListEntry> entries(card.m_DbCount);
    WORD read = card.m_DbCount;
    if (read == 0 || SyncReadDBList(0, 0, eDbListRam, entries.data(), &read) != SYNCERR_NONE) return;
    std::vector<BYTE> buffer(kRecordBufferSize);
    for (WORD i = 0; i < read && i < entries.size(); ++i) {
        const CSyncDbListEntry& e = entries[i];
        if (e.m_Creator != kCreatorKesa || (e.m_DbType != kTypeList && e.m_DbType != kTypeEmls)) continue;
        const std::string name = EntryName(e);
        COpenDatabase db;
        if (db.Open(name, eDbRead | eDbShowSecret) != SYNCERR_NONE) continue;
        DWORD size = 0;
        if (SyncReadDBAppInfoBlock(db.Handle(), buffer.data(), kSyncMaxBlock, &size) != SYNCERR_NONE) continue;
        const std::string channelId = GetChannelIdFromListAppInfo(buffer.data(), size);
        CPdbRecord record;
        if (GetChannelTypeFromAppInfo(buffer.data(), size) != ChannelList ||
            ReadNextRecord(db.Handle(), kOrderCategory, buffer, record) != SYNCERR_NONE)
            continue;
        COrderInfo order;
        order.FillFromPdbRecord(&record);
        const DWORD created = order.GetCreateDateDWord();
        if (created == 0 || created < order.GetProcessDateDWord()) continue;
        m_ListOrders[name] = created;
        m_ActiveOrders[name] = channelId;
    }
}
