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

namespace {

constexpr BYTE kUpdateMode = eDbRead | eDbWrite | eDbShowSecret;

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
                    "The service accepted the order of the list \"" + name + "\" (channel " + channelId +
                        "), but it could not be journaled (" + why +
                        "): should this run end before the handheld records it, it would be sent again.");
    } catch (...) {
        NorvLog("CNorvCondMgr::JournalAcceptedOrder - unexpected failure");
    }
}

bool CNorvCondMgr::CompleteJournaledOrder(const CSyncDbListEntry& entry, const std::string& channelId,
                                          const COrderJournal::Entry& accepted)
{
    const std::string name = EntryName(entry);
    if (entry.m_DbType == kTypeEmls) {
        // An accepted form leaves the handheld, as it does when accepted in this run.
        if (DeleteDatabase(name, "the service accepted this form on an earlier run") != SYNCERR_NONE) return false;
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
    Inform("The order of the list \"" + name + "\" (channel " + channelId +
           ") was accepted by the service on an earlier run (" + accepted.processDate +
           "): recorded on the handheld, not sent again.");
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

void CNorvCondMgr::AwaitReplacement(const std::string& channelId, const std::string& name, bool isCatalog)
{
    NorvLog("CNorvCondMgr::AwaitReplacement - %s stays until its replacement is installed", name);
    m_Awaiting[ChannelKey(channelId)].push_back(Awaiting{name, isCatalog});
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
        const char* what = a.isCatalog ? "catalog" : "list";
        if (!installed) {
            Inform(std::string("Kept the ") + what + " \"" + a.name + "\" (channel " + channelId +
                   "): what the service sent to replace it could not be installed.");
            continue;
        }
        // Installed under the same name, the new database has taken its place already.
        if (a.name == by) continue;
        DeleteDatabase(a.name, a.isCatalog ? "replaced by the catalog \"" + by + "\""
                                           : "replaced by the service's default list \"" + by + "\"");
    }
}

std::string CNorvCondMgr::RefuseApplication(const std::string& path) const
{
    constexpr DWORD kTypeAppl = 0x6170706C; // "appl"
    const auto head = CHandheldStore::Examine(path);
    CPdbFile file;
    if (!head || head->damaged || head->name.empty() || head->recordCount == 0 || !file.ReadPdbFile(path.c_str()))
        return "it is not a whole Palm database";
    if (!(head->attributes & CPdbFile::kAttrResource) || head->creator != kCreatorKesa || head->type != kTypeAppl)
        return "it is not a resource database of creator KESA and type appl";
    for (const CSyncDbListEntry& e : m_DbList.m_Entries) {
        if (EntryName(e) != head->name) continue;
        if (e.m_Creator != kCreatorKesa || e.m_DbType != kTypeAppl || !(e.m_DbFlags & CPdbFile::kAttrResource))
            return "it would replace \"" + VisibleText(head->name) + "\", which is not the application";
    }
    return std::string();
}

long CNorvCondMgr::DeleteDatabase(const std::string& name, const std::string& why)
{
    const long rc = SyncDeleteDb(name.c_str(), 0);
    if (rc == SYNCERR_NONE) Inform("Deleted \"" + name + "\" from the handheld: " + why + ".");
    return rc;
}
