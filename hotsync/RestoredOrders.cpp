// The orders of a backup's lists, told against the journal of accepted orders
// as the next synchronization reads them.
#include "hotsync/RestoredOrders.h"

#include <cstdint>

#include "client/ChannelType.h"
#include "conduit/OrderJournal.h"
#include "hotsync/RunText.h"
#include "hotsync/RunVerdict.h"
#include "quillio/PdbFile.h"
#include "quillio/PdbRecord.h"
#include "records/AppInfo.h"
#include "records/OrderInfo.h"
#include "seam/UserFolders.h"

namespace {

constexpr DWORD kCreatorKesa = 0x4B455341; // "KESA"
constexpr DWORD kTypeList = 0x4C495354;    // "LIST"
constexpr DWORD kTypeEmls = 0x454D4C53;    // "EMLS"

// A name from the handheld, safe on a terminal: control bytes as \xNN.
std::string Visible(const std::string& text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

} // namespace

std::vector<CRestoredOrders::Order> CRestoredOrders::Of(const std::vector<std::string>& files,
                                                        const std::string& userDir, std::time_t made,
                                                        std::string* journalError)
{
    std::vector<Order> orders;
    COrderJournal journal;
    journal.SetPath(platform::JoinPath(userDir, COrderJournal::kFileName));
    journal.SetRetention(COrderJournal::RetentionIn(userDir));
    std::string why;
    const bool readable = journal.Load(&why);
    if (journalError) *journalError = readable ? std::string() : why;
    // Orders recorded more than the retention ago are forgotten: one placed
    // after this backup was made may be among them.
    const bool older = std::int64_t(std::time(nullptr)) - std::int64_t(made) >
                       std::int64_t(journal.Retention()) * 86400;
    for (const std::string& path : files) {
        CPdbFile file;
        if (!file.ReadPdbFile(path.c_str()) || file.m_Creator != kCreatorKesa ||
            (file.m_Type != kTypeList && file.m_Type != kTypeEmls))
            continue;
        // Read as the conduit reads a list: its AppInfo names the channel and
        // says whether it carries an order; the first order record is the order.
        const CPdbRecord appInfo(file.m_AppInfo.data(), long(file.m_AppInfo.size()));
        CAppInfo info;
        info.FillFromPdbRecord(&appInfo);
        if (info.GetChannelType() != ChannelList) continue;
        COrderInfo order;
        if (!order.FillFromPdbRecords(file.m_RecordSet).empty()) continue;
        const DWORD created = order.GetCreateDateDWord();
        if (created == 0 || created < order.GetProcessDateDWord()) continue;
        const std::string name = info.GetListOrCatalogName();
        Order o;
        o.listName = file.m_Name;
        o.channelId = name.size() > 3 ? name.substr(0, name.size() - 3) : std::string();
        o.created = created;
        COrderJournal::Entry placed;
        if (!readable)
            o.next = Next::Hold;
        else if (journal.Find(o.listName, o.channelId, created, &placed)) {
            o.next = file.m_Type == kTypeEmls ? Next::RemoveForm : Next::MarkPlaced;
            o.placedOn = placed.processDate;
        } else
            o.next = older ? Next::SendUnknown : Next::Send;
        orders.push_back(std::move(o));
    }
    return orders;
}

std::string CRestoredOrders::Heading()
{
    return RunText(4950, "Orders in this backup, and what the next synchronization does with each:");
}

std::string CRestoredOrders::Line(const Order& o, const std::string& journalError)
{
    const std::string list = Visible(o.listName);
    const std::string channel = Visible(o.channelId);
    const std::string date = Visible(CRunVerdict::ShortDate(o.placedOn));
    switch (o.next) {
    case Next::MarkPlaced:
        return RunText(4951,
                       "The list \"%s\" (channel %s) holds an order already placed: the service accepted it on %s. "
                       "The next synchronization records it as placed on the handheld and does not send it again.",
                       list, channel, date);
    case Next::RemoveForm:
        return RunText(4952,
                       "The form \"%s\" (channel %s) was already sent: the service accepted it on %s. The next "
                       "synchronization removes it from the handheld and does not send it again.",
                       list, channel, date);
    case Next::Send:
        return RunText(4953,
                       "The list \"%s\" (channel %s) holds an order that the journal of accepted orders does not "
                       "know: the next synchronization sends it.",
                       list, channel);
    case Next::SendUnknown:
        return RunText(4954,
                       "The list \"%s\" (channel %s) holds an order that the journal of accepted orders does not "
                       "know: the next synchronization sends it. The journal does not reach back to this backup: if "
                       "the order was placed after the backup was made, it is placed a second time.",
                       list, channel);
    case Next::Hold:
        return RunText(4955,
                       "The list \"%s\" (channel %s) holds an active order, but the journal of accepted orders "
                       "cannot be read (%s): the next synchronization does not send it until the journal can be read.",
                       list, channel, Visible(journalError));
    }
    return std::string();
}

std::vector<std::string> CRestoredOrders::Lines(const std::vector<std::string>& files, const std::string& userDir,
                                                std::time_t made)
{
    std::string journalError;
    std::vector<std::string> lines;
    for (const Order& o : Of(files, userDir, made, &journalError)) lines.push_back(Line(o, journalError));
    return lines;
}
