// Both catalogs against their callers: every number in use is there, and every
// text's conversions take the values that its callers pass, in count and kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "lexmo/Lexmo.h"

namespace {

// Values a caller passes, in order: T text, I integer, F floating point,
// N integer or text (the same position gets either, by case).
struct Use {
    int number;
    const char* values;
    // Conversions the text may have beyond the values (+1: one renders empty)
    // or short of them (-1: the last value is left out on purpose).
    int slack;
    const char* caller;
};

const Use kUses[] = {
    // The credentials question of the client and the probe.
    {2090, "T", 0, "credentials question: the server's address"},
    {2091, "T", 0, "credentials question: the proxy's address"},
    {2092, "", 0, "credentials question: user name label"},
    {2093, "", 0, "credentials question: password label"},
    {2094, "", 0, "credentials question: title"},
    // HotSync conduit: progress window, status lines, HotSync log, boxes.
    {2044, "", 0, "both status lines when the monitor is created"},
    {2082, "", 0, "progress window title"},
    {2083, "", 0, "progress window cancel button"},
    {2037, "", 0, "status line 1 after start-up; status line 2 in the second stage"},
    {2038, "", 0, "status line 1 in the third stage"},
    {2066, "", 0, "status line 2 in the third stage"},
    {2062, "", 0, "status line 1 when channel processing starts"},
    {2047, "T", 0, "status line 2: channel id being received"},
    {2063, "", 0, "status line 2 when the worker ends or is cancelled"},
    {2049, "T", 0, "status line 1: channel id being installed"},
    {2027, "T", 0, "status line 1: \"Norvelia.prc\" not installed; list not updated"},
    {2023, "", 0, "HotSync log: card information unreadable"},
    {2024, "", 0, "HotSync log: database list unreadable"},
    {2006, "T", 0, "HotSync log: session not opened, server URL"},
    {2084, "", 0, "HotSync log, followed by the probe's message; test program box"},
    {2051, "T", 0, "question after a cancel: channel id"},
    {2052, "", 0, "caption of that question"},
    {2034, "TT", 0, "HotSync log: channel id, error list"},
    {2020, "", 0, "HotSync log: every channel handled"},
    {2031, "", 0, "HotSync log: user context not installed"},
    {2054, "TT", 0, "catalog unreadable: database name, name string or \"AppInfo\""},
    {2022, "TT", 0, "list unreadable: database name, name string or \"AppInfo\"/\"ItemRef(s)\""},
    {2000, "TTT", -1, "list update failed: context, name, name (the repeat left out)"},
    {2000, "TT", 0, "user context update failed: context, database name"},
    {2026, "T", 0, "new catalog unreadable: path"},
    {2028, "T", 0, "order not updated: list name"},
    {2029, "", 0, "user context not updated"},
    {2030, "T", 0, "user context file unreadable: path"},
    {2036, "", 0, "write to the handheld failed"},
    {2035, "", 0, "database not created"},
    {2032, "TT", 0, "catalog not installed: path, channel id"},
    {2033, "TT", 0, "list not installed: path, channel id"},
    {2053, "", 0, "unexpected failure while installing"},
    {2019, "TT", 0, "server query failed: channel id, error text"},
    {2018, "T", 0, "unexpected failure in the worker: exception text"},
    {2021, "", 0, "unexpected failure when processing starts"},
    // Server client: raised errors and errors stored in channels.
    {2006, "T", 0, "request not created: context"},
    {2046, "", 0, "too many authentication challenges"},
    {2045, "T", 0, "status 403: context"},
    {2011, "TT", 0, "unexpected status: context, status text"},
    {2011, "T", 1, "unexpected exception: context only"},
    {2003, "T", 0, "answer unreadable or argument missing: context"},
    {2004, "T", 0, "part without a name: context"},
    {2002, "T", 0, "argument past the buffer: context"},
    {2001, "TT", 0, "unknown channel: id, context"},
    {2007, "TT", 0, "file not opened or written: path, context or empty text"},
    {2008, "TT", 0, "file shorter than its length: path, context"},
    {2009, "", 0, "no caller passes values"},
    {2010, "T", 0, "declaration refused: the service's message"},
    {2012, "T", 0, "declaration failed: error text or \"system error\""},
    {2013, "TTT", 0, "list error: file name, channel id, error text"},
    {2050, "TT", 0, "game error: channel id or game name, error text"},
    {2014, "TTN", 0, "catalog error: channel id, error text, error number or \"000\""},
    {2015, "TTT", -1, "catalog not written: path, channel id, always-empty text"},
    {2016, "TTT", -1, "list not written: path, channel id, always-empty text"},
    // Connection probe: texts used as formats.
    {2045, "T", 0, "status 403: \"HTTP_STATUS_FORBIDDEN\""},
    {2085, "T", 0, "status 404: URL"},
    {2086, "I", 0, "other status: the status code"},
    {2060, "IF", 0, "bytes so far, kilobytes per second"},
    {2061, "I", 0, "bytes so far"},
    {2062, "I", -1, "after the last piece: total bytes (left out, see the catalogs)"},
    {2063, "", 0, "successful end"},
    {2064, "T", 0, "resolving: host name"},
    {2065, "T", 0, "resolved: address"},
    {2066, "", 0, "connecting"},
    {2067, "", 0, "request sent"},
    {2068, "", 0, "sending request"},
    {2069, "", 0, "connected"},
    {2070, "", 0, "response received"},
    {2071, "", 0, "closing connection"},
    {2072, "", 0, "connection closed"},
    {2073, "II", 0, "request complete: result, error"},
    {2074, "", 0, "request complete"},
    {2075, "I", 0, "other notification: status number"},
    {2076, "", 0, "error 12023"},
    {2077, "", 0, "error 12029"},
    {2078, "", 0, "error 12030"},
    {2079, "", 0, "error 12031"},
    {2080, "", 0, "error 12037"},
    {2081, "I", 0, "other errors: the code"},
    // Connection test program.
    {2055, "", 0, "success box"},
    {2056, "", 0, "window title and box caption"},
    {2057, "", 0, "explanation"},
    {2058, "", 0, "check button"},
    {2059, "", 0, "quit button"},
    {2084, "", 0, "failure box"},
    // The HotSync window and the HotSync action dialog.
    {4018, "T", 0, "users unreadable: why"},
    {4019, "T", 0, "no user: the HotSync home"},
    {4022, "T", 0, "synchronizing: the handheld"},
    {4024, "IT", 0, "not synchronized: status, why"},
    {4029, "TT", 0, "no backup: handheld, user"},
    {4030, "ITI", 0, "backup choice: rank, date, databases"},
    {4031, "T", 0, "restore question: the handheld"},
    {4032, "T", 0, "handheld busy: the handheld"},
    {4033, "T", 0, "restore stopped: why"},
    {4034, "ITT", 0, "restored: count, date, handheld"},
    {4035, "T", 0, "closing during a run: the cancel button"},
    {4048, "T", 0, "action dialog: the conduit"},
    // hotsync on the terminal: questions, the progress view.
    {4609, "T", 0, "answer when stopping: the answer"},
    {4610, "T", 0, "answer without a terminal: the answer"},
    {4617, "T", 0, "action kept without a terminal: the action"},
    {4618, "T", 0, "action question: the conduit"},
    {4624, "T", 0, "progress view: the cancel button"},
    // HotSync log lines of the handheld's folder and of the conduit.
    {4630, "T", 0, "database not written: name and reason"},
    {4631, "T", 0, "deletions kept: the names"},
    {4632, "T", 0, "database not deleted: name"},
    {4633, "TT", 0, "damaged catalog: name, channel"},
    {4634, "T", 0, "application refused: why"},
    {4635, "T", 0, "journal unreadable: why"},
    {4636, "T", 0, "channels left out: the names shown"},
    {4637, "TI", 0, "channels left out: the names shown, how many more"},
    {4638, "IT", 0, "one channel left out: the bound, its name"},
    {4639, "IT", 0, "channels left out: the bound, their names"},
    // The server client's and the probe's own failures.
    {4641, "I", 0, "stalled: seconds"},
    {4643, "I", 0, "query too long: seconds"},
    // The backup before a run, in the HotSync log.
    {4650, "TT", 0, "earlier backup not moved: folder, why"},
    {4651, "TT", 0, "earlier backup moved: date, where"},
    {4652, "TIT", 0, "earlier backup moved: date, databases, where"},
    {4653, "TT", 0, "damaged on the handheld: file, date of the sound copy"},
    {4654, "T", 0, "damaged everywhere: file"},
    {4655, "TT", 0, "old backup not removed: folder, why"},
    // libcurl's failures: the server or proxy.
    {4660, "T", 0, "name not found: host"},
    {4661, "T", 0, "proxy name not found: proxy"},
    {4662, "T", 0, "connection refused: host"},
    {4663, "T", 0, "timed out: host"},
    {4664, "T", 0, "certificate: host"},
    {4665, "T", 0, "TLS failed: host"},
    {4666, "T", 0, "no answer: host"},
    {4667, "T", 0, "connection broken: host"},
};

// The last number of each range of texts shown as they stand.
constexpr int kLastTerminalText = 4627;

// The settings program copies every one of its texts with KESA_GetMessage
// and shows it as it stands: labels, captions, column titles and boxes.
std::vector<Use> AllUses()
{
    std::vector<Use> uses(std::begin(kUses), std::end(kUses));
    for (int n = 3000; n <= 3057; ++n)
        if (n != 3024) uses.push_back({n, "", 0, "settings program text"});
    for (int n = 4000; n <= 4048; ++n)
        if (std::none_of(std::begin(kUses), std::end(kUses), [n](const Use& u) { return u.number == n; }))
            uses.push_back({n, "", 0, "HotSync window text"});
    for (int n = 4600; n <= kLastTerminalText; ++n)
        if (std::none_of(std::begin(kUses), std::end(kUses), [n](const Use& u) { return u.number == n; }))
            uses.push_back({n, "", 0, "hotsync terminal text"});
    for (int n : {4640, 4642, 4644, 4645, 4646}) uses.push_back({n, "", 0, "client or probe failure text"});
    return uses;
}

// Numbers each program uses, as its catalogs must carry them.
std::set<int> NumbersInUse()
{
    std::set<int> n;
    auto range = [&n](int from, int to) {
        for (int i = from; i <= to; ++i) n.insert(i);
    };
    range(3000, 3057);
    n.erase(3024);
    range(4000, 4048);
    range(4600, kLastTerminalText);
    range(4630, 4646);
    range(4650, 4655);
    range(4660, 4667);
    range(2055, 2059);
    n.insert(2084);
    n.insert(2045);
    range(2060, 2081);
    n.insert({2085, 2086});
    range(2090, 2094);
    n.insert({2000, 2006});
    range(2018, 2024);
    range(2026, 2038);
    n.insert({2044, 2047, 2049});
    range(2051, 2054);
    n.insert({2062, 2063, 2066});
    range(2082, 2084);
    range(2001, 2004);
    range(2006, 2016);
    n.insert({2045, 2046, 2050});
    return n;
}

bool Compatible(char value, char conv)
{
    const std::string integers = "diuxX";
    const std::string floats = "eEfFgG";
    switch (value) {
    case 'T': return conv == 's';
    case 'I': return integers.find(conv) != std::string::npos;
    case 'F': return floats.find(conv) != std::string::npos;
    case 'N': return conv == 's';  // a number under %s renders in decimal
    default: return false;
    }
}

// The French texts of the forms and windows, as designed.
const std::pair<int, const char*> kFrenchDesignTexts[] = {
    {2056, "Vérification de la connexion Norvelia"},
    {2057, "Pour vérifier que votre ordinateur accède correctement aux serveurs Norvelia, vous devez préalablement "
           "être connecté à Internet. Si ce n'est pas le cas, effectuer une connexion avant de lancer la vérification."},
    {2058, "&Vérifier"},
    {2059, "&Quitter"},
    {3000, "Définition du mot de passe Norvelia"},
    {3001, "Pour assurer la sécurité de vos synchronisations avec les serveur Norvelia, nous vous demandons de bien "
           "vouloir confirmer le login et le password que vous avez fournis lors de votre inscription sur le site "
           "Norvelia."},
    {3002, "Utilisateur Palm"},
    {3003, "Identification "},
    {3004, "Login Norvelia"},
    {3005, "Mot de passe"},
    {3006, "Confirmation mot de passe"},
    {3007, "Mot de Passe Norvelia"},
    {3008, "Norvelia - Gestion des mots de passe"},
    {3009, "&Valider"},
    {3010, "&Quitter"},
    {3011, "Vérifier la connexion"},
    {3012, "Vérification de la connexion aux serveurs Norvelia"},
    {3013, "Cette page vous permet de tester que la connexion aux serveurs Norvelia fonctionne correctement et, si ce "
           "n'est pas le cas, de modifier les paramètres de connexion."},
    {3014, "Mode de connexion "},
    {3015, "Utiliser les paramètres par défaut de Windows"},
    {3016, "Définir manuellement les paramètres d'identification de mon Proxy/Firewall"},
    {3017, "Paramètres d'identification de mon Proxy/Firewall "},
    {3018, "Nom d'utilisateur"},
    {3020, "Aucune information n'est envoyée à Norvelia"},
    {3021, "&Tester"},
    {3030, "Information"},
    {3032, "Serveur Norvelia"},
    {3033, "Serveurs"},
    {3034, "Configuration des serveurs Norvelia"},
    {3035, "Ici, vous pouvez facilement administrer les serveurs disponibles pour votre Norvelia : ajout, "
           "modification, suppression... "},
    {3036, "Ajouter/Modifier un serveur"},
    {3038, "Supprimer le serveur"},
    {3039, "Login et Password "},
    {3040, "Serveur par défaut"},
    {3047, "Nouveau Serveur"},
    {3048, "Nom du Serveur"},
    {3049, "URL du Serveur"},
    {3051, "est utilisé comme serveur par défaut pour les utilisateurs suivants"},
    {3052, "Connexion au Serveur"},
    {3053, "Veuillez rentrer ci-dessous vos paramètres de connexion au serveur :  "},
    {3054, "Nom de l'Utilisateur"},
    {3055, "Serveur par Défaut"},
};

class MessageTable : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { loaded_ = KESA_LoadMessages(GetParam()); }
    int loaded_ = 0;
};

TEST_P(MessageTable, CarriesEveryNumberInUseAndNothingElse)
{
    const std::set<int> inUse = NumbersInUse();
    EXPECT_EQ(loaded_, static_cast<int>(inUse.size()));
    for (int n : inUse) EXPECT_FALSE(lexmo::MessageText(n).empty()) << n;
    // Every number in use is in the table of callers, and the other way round.
    std::set<int> used;
    for (const Use& u : AllUses()) used.insert(u.number);
    EXPECT_EQ(used, inUse);
}

TEST_P(MessageTable, ConversionsMatchWhatCallersPass)
{
    for (const Use& u : AllUses()) {
        const std::string text = lexmo::MessageText(u.number);
        const std::string conv = lexmo::Conversions(text);
        const int values = static_cast<int>(std::string(u.values).size());
        const int have = static_cast<int>(conv.size());
        SCOPED_TRACE(std::to_string(u.number) + " (" + u.caller + "): \"" + text + "\"");
        if (u.slack >= 0) {
            EXPECT_GE(have, values);
            EXPECT_LE(have, values + u.slack);
        } else {
            EXPECT_LE(have, values);
            EXPECT_GE(have, values + u.slack);
        }
        for (int i = 0; i < std::min(have, values); ++i)
            EXPECT_TRUE(Compatible(u.values[i], conv[static_cast<size_t>(i)])) << "value " << i << " %" << conv[static_cast<size_t>(i)];
    }
}

TEST_P(MessageTable, EveryPercentSignIsAConversion)
{
    // Texts shown as they stand and texts used as formats both read right
    // only without literal percent signs.
    for (int n : NumbersInUse()) {
        const std::string text = lexmo::MessageText(n);
        EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '%')), lexmo::Conversions(text).size())
            << n << ": " << text;
    }
}

TEST_P(MessageTable, TextsFitTheBuffersOfTheirCallers)
{
    // The settings program copies captions into 64 bytes and texts into 2048.
    for (int n : {3023, 3030}) EXPECT_LT(lexmo::MessageText(n).size(), 64u) << n;
    for (int n : NumbersInUse()) {
        if (n >= 3000) {
            EXPECT_LT(lexmo::MessageText(n).size(), 2048u) << n;
        }
    }
    // The probe keeps at most 99 characters of the error-code suffix and
    // formats each status line into 512 bytes.
    EXPECT_LE(KESA_FormatMessage(2081, UINT32_MAX).size(), 99u);
    for (int n = 2060; n <= 2081; ++n) EXPECT_LT(lexmo::MessageText(n).size(), 400u) << n;
}

INSTANTIATE_TEST_SUITE_P(Catalogs, MessageTable, ::testing::Values("Lexmo.dll", "LexmoUs.dll"),
                         [](const auto& info) { return std::string(info.param).substr(0, std::string(info.param).find('.')); });

TEST(Catalogs, BothLanguagesCarryTheSameConversions)
{
    std::vector<std::string> french;
    ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
    for (int n : NumbersInUse()) french.push_back(lexmo::Conversions(lexmo::MessageText(n)));
    ASSERT_GT(KESA_LoadMessages("LexmoUs.dll"), 0);
    size_t i = 0;
    for (int n : NumbersInUse()) EXPECT_EQ(lexmo::Conversions(lexmo::MessageText(n)), french[i++]) << n;
}

TEST(Catalogs, FrenchCarriesTheDesignedTexts)
{
    ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
    for (const auto& [n, text] : kFrenchDesignTexts) EXPECT_EQ(lexmo::MessageText(n), text) << n;
}

TEST(Catalogs, SharedNumbersReadWellForEachCaller)
{
    ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
    EXPECT_EQ(KESA_FormatMessage(2014, "C7", "délai dépassé", 2006),
              "Le catalogue de la chaîne C7 n'a pas pu être obtenu : délai dépassé (code 2006)");
    EXPECT_EQ(KESA_FormatMessage(2014, "C7", "aucun catalogue", "000"),
              "Le catalogue de la chaîne C7 n'a pas pu être obtenu : aucun catalogue (code 000)");
    EXPECT_EQ(KESA_FormatMessage(2000, "CNorvCondMgr::PerformListPostSynchro", "ListeC7", "ListeC7"),
              "Erreur inattendue dans CNorvCondMgr::PerformListPostSynchro pendant la mise à jour de la base ListeC7.");
    EXPECT_EQ(KESA_FormatMessage(2000, "CNorvCondMgr::PerformUserCtxPostSynchro", "UserCtx"),
              "Erreur inattendue dans CNorvCondMgr::PerformUserCtxPostSynchro pendant la mise à jour de la base UserCtx.");
    EXPECT_EQ(KESA_FormatMessage(2062), "Échange de données avec le serveur Norvelia...");
    EXPECT_EQ(KESA_FormatText(KESA_FormatMessage(2062), 0u), KESA_FormatMessage(2062));
    EXPECT_EQ(KESA_FormatMessage(2084) + ". (" + KESA_FormatMessage(2077) + ")",
              "La connexion au serveur Norvelia a échoué. Vérifiez votre connexion à Internet et vos paramètres de "
              "connexion. (Impossible de se connecter au serveur.)");
    EXPECT_EQ(KESA_FormatText(KESA_FormatMessage(2060), 8190u, 7.99), "8190 octets reçus (8.0 Ko/s)");
    EXPECT_EQ(std::string("Timeout") + KESA_FormatMessage(2081, 28u), "Timeout (erreur 28)");

    ASSERT_GT(KESA_LoadMessages("LexmoUs.dll"), 0);
    EXPECT_EQ(KESA_FormatMessage(2014, "C7", "no catalog", "000"),
              "The catalog of channel C7 could not be obtained: no catalog (code 000)");
    EXPECT_EQ(KESA_FormatMessage(2027, "Norvelia.prc"), "Norvelia.prc could not be updated on the handheld.");
}

} // namespace
