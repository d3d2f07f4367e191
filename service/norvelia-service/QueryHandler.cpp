#include "QueryHandler.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "client/KesaRequest.h"
#include "quillio/KesaError.h"
#include "quillio/PdbFile.h"
#include "records/ItemRefRecord.h"
#include "records/OrderInfo.h"

namespace {

constexpr int kItemRefCategory = 8;

std::string Value(const CQueryArgs& query, const char* name)
{
    return query.Value(name);
}

void Message(CKesaRequest& answer, QueryOutcome& outcome, const std::string& text)
{
    answer.AddArg("Message", text);
    outcome.result = "Message: " + text;
}

// The request only reads the bytes while the body is built.
void AddFile(CKesaRequest& answer, const char* name, const ServedFile& file)
{
    answer.AddFileArg(name, file.fileName, const_cast<BYTE*>(file.bytes.data()), DWORD(file.bytes.size()));
}

std::string Upper(std::string text)
{
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string FourCCText(DWORD code)
{
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) text[size_t(i)] = char(code >> (24 - 8 * i));
    return text;
}

std::string Body(const CKesaRequest& answer)
{
    BYTE* raw = nullptr;
    const DWORD size = answer.BuildBody(&raw);
    std::string body(reinterpret_cast<const char*>(raw), size);
    std::free(raw);
    return body;
}

} // namespace

CQueryHandler::CQueryHandler(const CServiceContent& content, CStateStore& state, std::map<std::string, std::string> users)
    : m_Content(content), m_State(state), m_Users(std::move(users))
{
}

std::string CQueryHandler::Unreadable(QueryOutcome& outcome)
{
    CKesaRequest answer;
    Message(answer, outcome, "Requete illisible.");
    return Body(answer);
}

std::string CQueryHandler::Handle(const std::string& body, QueryOutcome& outcome)
{
    CQueryArgs query;
    if (!query.ParseClientBody(body)) return Unreadable(outcome);
    return Handle(query, outcome);
}

void CQueryHandler::SetStalls(std::map<std::string, int> stallMsByChannel)
{
    m_Stalls.clear();
    for (auto& [id, ms] : stallMsByChannel) m_Stalls[Upper(id)] = ms;
}

std::string CQueryHandler::Handle(const CQueryArgs& query, QueryOutcome& outcome)
{
    if (!m_Stalls.empty()) {
        auto stall = m_Stalls.find(Upper(Value(query, "CID")));
        if (stall != m_Stalls.end()) std::this_thread::sleep_for(std::chrono::milliseconds(stall->second));
    }
    CKesaRequest answer;
    outcome.function = Value(query, "function");
    outcome.uid = Value(query, "UID");
    const std::string& function = outcome.function;
    if (!Accepts(query)) {
        Message(answer, outcome, "Identifiant ou mot de passe refuse.");
    } else if (function == "DeclareChannels") {
        DeclareChannels(query, answer, outcome);
    } else if (function == "ProcessList") {
        ProcessList(query, answer, outcome);
    } else if (function == "ProcessGame") {
        ProcessGame(query, answer, outcome);
    } else if (function == "GetUpToDateCatalog") {
        GetUpToDateCatalog(query, answer, outcome);
    } else if (function == "StartGame") {
        StartGame(query, answer, outcome);
    } else {
        Message(answer, outcome, "Fonction inconnue : " + function);
    }
    return Body(answer);
}

bool CQueryHandler::Accepts(const CQueryArgs& query) const
{
    if (m_Users.empty()) return true;
    auto it = m_Users.find(Value(query, "UID"));
    if (it == m_Users.end()) return false;
    // Only some queries carry the password.
    const QueryArg* pwd = query.Find("PWD");
    return !pwd || pwd->value == it->second;
}

void CQueryHandler::DeclareChannels(const CQueryArgs& query, CKesaRequest& answer, QueryOutcome& outcome)
{
    const UserContent* user = m_Content.FindUser(outcome.uid);
    std::string cdl;
    auto add = [&](const std::string& id) {
        if (!cdl.empty()) cdl += ";";
        cdl += id;
    };
    if (user && user->hasChannelsFile) {
        for (const std::string& id : user->channels) add(id);
    } else {
        // Without subscriptions: the channels the handheld has and we serve.
        const std::string declared = Value(query, "CIDList");
        size_t at = 0;
        while ((at = declared.find_first_not_of(';', at)) != std::string::npos) {
            size_t end = declared.find(';', at);
            if (end == std::string::npos) end = declared.size();
            const std::string id = declared.substr(at, end - at);
            if (m_Content.FindChannel(id)) add(id);
            at = end;
        }
    }
    answer.AddArg("CDL", cdl);
    outcome.result = "CDL=" + cdl;

    const std::string& version = m_Content.AppVersion();
    if (!version.empty() && Value(query, "NorvVers") != version) {
        answer.AddArg("ReceiveVersion", version);
        outcome.result += " ReceiveVersion=" + version;
        if (m_Content.AppFile().present) AddFile(answer, "NorveliaPrc", m_Content.AppFile());
    }
    if (user && user->userCtx.present) {
        AddFile(answer, "UserPdb", user->userCtx);
        outcome.result += " UserPdb";
    }
}

void CQueryHandler::ProcessList(const CQueryArgs& query, CKesaRequest& answer, QueryOutcome& outcome)
{
    const QueryArg* file = query.Find("IODBinData");
    CPdbFile pdb;
    const auto* data = file ? reinterpret_cast<const BYTE*>(file->bytes.data()) : nullptr;
    if (!file || file->bytes.empty() || !pdb.ReadPdbBuffer(data, file->bytes.size())) {
        return Message(answer, outcome, "Liste illisible.");
    }
    const std::string type = FourCCText(pdb.m_Type);
    if (type != "LIST" && type != "EMLS") return Message(answer, outcome, "Ce n'est pas une liste : type " + type + ".");

    COrderInfo order;
    const std::string missing = order.FillFromPdbRecords(pdb.m_RecordSet);
    if (!missing.empty()) return Message(answer, outcome, "Liste sans commande (" + missing + ").");

    OrderRecord record;
    record.uid = outcome.uid;
    record.channel = Value(query, "CID");
    record.listName = pdb.m_Name;
    record.fileName = file->value;
    record.listType = type;
    record.memberId = order.GetMemberIdStr();
    record.created = order.GetCreateDateStr();
    record.ordered = order.GetOrderingDateStr();
    record.deliveryCharges = order.GetDeliveryChargesStr();
    record.deliveryAddressId = order.GetDeliveryAddressIdStr();
    record.deliveryAlias = order.GetDeliveryAliasStr();
    record.deliveryName = order.GetNameStr();
    record.address1 = order.GetAddress1Str();
    record.address2 = order.GetAddress2Str();
    record.zip = order.GetZipStr();
    record.city = order.GetCityStr();
    record.state = order.GetStateStr();
    record.country = order.GetCountryStr();
    record.comment = order.GetFreeCommentStr();
    record.processDate = CStateStore::Now();
    record.pdb.assign(data, data + file->bytes.size());
    for (const auto& rec : pdb.m_RecordSet) {
        if ((rec->m_Attrib & 0x0F) != kItemRefCategory) continue;
        CItemRefRecord item(rec.get());
        record.lines.push_back(
            {item.GetReferenceStr(), item.GetNameStr(), int(item.GetQuantity()), item.GetPriceStr(), item.GetNeedBool()});
    }
    bool repeated = false;
    if (!m_State.AddOrder(record, &repeated))
        return Message(answer, outcome, "La commande n'a pas pu etre enregistree.");

    answer.AddArg("ProcessDate", record.processDate);
    outcome.result = std::string(repeated ? "repeated " : "") + "ProcessDate=" + record.processDate +
                     " lines=" + std::to_string(record.lines.size());
}

void CQueryHandler::ProcessGame(const CQueryArgs& query, CKesaRequest& answer, QueryOutcome& outcome)
{
    const std::string game = Value(query, "Game");
    const std::string channel = m_Content.FindGameChannel(game);
    if (channel.empty()) return Message(answer, outcome, "Jeu inconnu : " + game + ".");
    const std::string points = Value(query, "Points");
    if (!m_State.AddGameScore(outcome.uid, channel, game, points, Value(query, "Stamp")))
        return Message(answer, outcome, "Le score n'a pas pu etre enregistre.");
    answer.AddArg("Notification", "Score enregistre : " + points + " points.");
    outcome.result = "Notification score " + game + "=" + points;
}

void CQueryHandler::GetUpToDateCatalog(const CQueryArgs& query, CKesaRequest& answer, QueryOutcome& outcome)
{
    const std::string id = Value(query, "CID");
    const CatalogChannel* channel = m_Content.FindChannel(id);
    if (!channel) return Message(answer, outcome, "Chaine inconnue : " + id + ".");
    AddFile(answer, "CatalogBinData", channel->catalog);
    outcome.result = "CatalogBinData=" + channel->catalog.fileName;
    if (Value(query, "DefListRequested") == "yes" && channel->defList.present) {
        AddFile(answer, "DefListBinData", channel->defList);
        outcome.result += " DefListBinData=" + channel->defList.fileName;
    }
    if (channel->refList.present) {
        AddFile(answer, "RefListBinData", channel->refList);
        outcome.result += " RefListBinData=" + channel->refList.fileName;
    }
}

void CQueryHandler::StartGame(const CQueryArgs& query, CKesaRequest& answer, QueryOutcome& outcome)
{
    const std::string game = Value(query, "Game");
    const std::string channel = m_Content.FindGameChannel(game);
    if (channel.empty()) return Message(answer, outcome, "Jeu inconnu : " + game + ".");
    if (!m_State.AddGameStart(outcome.uid, channel, game, Value(query, "Stamp")))
        return Message(answer, outcome, "Le depart du jeu n'a pas pu etre enregistre.");
    answer.AddArg("Notification", "Bonne partie !");
    outcome.result = "Notification start " + game;
}
