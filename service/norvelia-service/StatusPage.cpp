#include "StatusPage.h"

#include <algorithm>
#include <set>

#include "client/ChannelType.h"
#include "platform/Version.h"
#include "quillio/PdbFile.h"
#include "quillio/PdbRecord.h"
#include "records/AppInfo.h"

namespace {

constexpr const char* kStyle = R"(
body { font: 14px/1.4 sans-serif; margin: 24px; color: #222; background: #fafafa; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 16px; margin: 28px 0 8px; border-bottom: 2px solid #4a6fa5; padding-bottom: 2px; }
p.meta { color: #666; margin: 0; }
table { border-collapse: collapse; background: #fff; }
th, td { border: 1px solid #ccc; padding: 3px 8px; text-align: left; vertical-align: top; }
th { background: #e8eef6; }
td.num { text-align: right; }
p.none { color: #888; font-style: italic; }
code { font-size: 13px; }
)";

using Row = std::vector<std::string>;

// A table of escaped cells; `numeric` marks columns aligned right.
std::string Table(const Row& head, const std::vector<Row>& rows, const std::string& none,
                  const std::set<size_t>& numeric = {})
{
    if (rows.empty()) return "<p class=\"none\">" + CStatusPage::Escape(none) + "</p>\n";
    std::string html = "<table>\n<tr>";
    for (const std::string& h : head) html += "<th>" + CStatusPage::Escape(h) + "</th>";
    html += "</tr>\n";
    for (const Row& row : rows) {
        html += "<tr>";
        for (size_t i = 0; i < row.size(); ++i)
            html += (numeric.count(i) ? "<td class=\"num\">" : "<td>") + CStatusPage::Escape(row[i]) + "</td>";
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

std::string FileCell(const ServedFile& file)
{
    return file.present ? file.fileName + " (" + std::to_string(file.bytes.size()) + " bytes)" : "-";
}

struct CatalogFacts {
    std::string title;
    std::string kind;
};

CatalogFacts ReadFacts(const ServedFile& catalog)
{
    CatalogFacts facts;
    CPdbFile pdb;
    if (!pdb.ReadPdbBuffer(catalog.bytes.data(), catalog.bytes.size()) || pdb.m_AppInfo.empty()) return facts;
    CPdbRecord record(pdb.m_AppInfo.data(), long(pdb.m_AppInfo.size()));
    CAppInfo info;
    info.FillFromPdbRecord(&record);
    facts.title = info.GetTitle();
    switch (info.GetChannelType()) {
    case ChannelList: facts.kind = "list"; break;
    case ChannelGame: facts.kind = "game"; break;
    default: facts.kind = "catalog"; break;
    }
    return facts;
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : " ") + item;
    return text;
}

} // namespace

CStatusPage::CStatusPage(const CServiceContent& content, CStateStore& state, std::vector<std::string> users)
    : m_Content(content), m_State(state), m_Users(std::move(users))
{
}

std::string CStatusPage::Escape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string CStatusPage::Render() const
{
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>norvelia-service</title>\n<style>" +
                       std::string(kStyle) + "</style>\n</head>\n<body>\n<h1>norvelia-service</h1>\n";
    html += "<p class=\"meta\">version " + Escape(kNorvVersion) + " &middot; handheld application " +
            Escape(m_Content.AppVersion().empty() ? "none" : m_Content.AppVersion()) + " &middot; page of " +
            Escape(CStateStore::Now()) + "</p>\n";
    html += Channels() + Users() + Recent();
    return html + "</body>\n</html>\n";
}

std::string CStatusPage::Channels() const
{
    std::vector<Row> rows;
    for (const CatalogChannel& channel : m_Content.Channels()) {
        CatalogFacts facts = ReadFacts(channel.catalog);
        if (m_Content.IsGameChannel(channel.id)) facts.kind = "game";
        rows.push_back({channel.id, facts.kind, facts.title, FileCell(channel.catalog), FileCell(channel.defList),
                        FileCell(channel.refList)});
    }
    return "<h2>Channels</h2>\n" +
           Table({"channel", "kind", "title", "catalog", "default list", "reference list"}, rows,
                 "No channel: the content folder has no catalogs/.");
}

std::string CStatusPage::Users() const
{
    std::set<std::string> uids(m_Users.begin(), m_Users.end());
    for (const auto& entry : m_Content.Users()) uids.insert(entry.first);
    std::vector<Row> rows;
    for (const std::string& uid : uids) {
        const UserContent* user = m_Content.FindUser(uid);
        const bool checked = std::find(m_Users.begin(), m_Users.end(), uid) != m_Users.end();
        rows.push_back({uid, user && user->hasChannelsFile ? Joined(user->channels) : "the channels declared",
                        user && user->userCtx.present ? FileCell(user->userCtx) : "-",
                        checked ? "checked (--user)" : m_Users.empty() ? "any" : "refused"});
    }
    std::string html = "<h2>Users</h2>\n";
    if (m_Users.empty()) html += "<p class=\"meta\">Every user id and password is accepted.</p>\n";
    return html + Table({"user", "channels", "user context", "password"}, rows, "No user in the content folder.");
}

std::string CStatusPage::Recent() const
{
    std::vector<Row> requests;
    for (const RequestRow& r : m_State.LastRequests(kRecentRows))
        requests.push_back({r.time, r.function, r.uid, r.result});
    std::vector<Row> orders;
    for (const OrderSummary& o : m_State.LastOrders(kRecentRows))
        orders.push_back({o.time, o.uid, o.channel, o.listName, std::to_string(o.lines), o.deliveryName, o.city,
                          o.processDate});
    std::vector<Row> scores;
    for (const GameScoreRow& s : m_State.LastGameScores(kRecentRows))
        scores.push_back({s.time, s.uid, s.channel, s.game, s.points});
    return "<h2>Last requests</h2>\n" +
           Table({"time", "query", "user", "result"}, requests, "No request received yet.") +
           "<h2>Last orders</h2>\n" +
           Table({"time", "user", "channel", "list", "lines", "deliver to", "city", "process date"}, orders,
                 "No order received yet.", {4}) +
           "<h2>Last game scores</h2>\n" +
           Table({"time", "user", "channel", "game", "points"}, scores, "No game score received yet.", {4});
}
