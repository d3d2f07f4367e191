// The service's content folder and its answers, without HTTP.
#include <gmock/gmock.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>

#include "QueryHandler.h"
#include "ServiceContent.h"
#include "StateStore.h"
#include "WorkerPool.h"
#include "client/KesaRequest.h"
#include "client/KesaResponse.h"
#include "records/AppInfo.h"
#include "service/ServiceTestUtil.h"

namespace {

const std::string kCatalogc = NORV_BINARY_DIR "/bin/catalogc";
const std::string kSamples = NORV_SOURCE_DIR "/service/samples";

struct Arg {
    Arg(std::string n, std::string v, std::string b = {}) : name(std::move(n)), value(std::move(v)), bytes(std::move(b)) {}
    std::string name, value, bytes;
};

std::string Body(const std::vector<Arg>& args)
{
    CKesaRequest request;
    for (const Arg& a : args) {
        if (a.bytes.empty())
            request.AddArg(a.name, a.value);
        else
            request.AddFileArg(a.name, a.value, reinterpret_cast<BYTE*>(const_cast<char*>(a.bytes.data())),
                               DWORD(a.bytes.size()));
    }
    BYTE* raw = nullptr;
    const DWORD size = request.BuildBody(&raw);
    std::string body(reinterpret_cast<char*>(raw), size);
    std::free(raw);
    return body;
}

std::string PdbBytes(const CPdbFile& pdb)
{
    const auto b = pdb.ToBytes();
    return std::string(b.begin(), b.end());
}

class ServiceCoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_Content.Load(kSamples, kCatalogc, m_Work.Path(), error)) << error;
        ASSERT_TRUE(m_State.Open(m_Dir / "state.db", error)) << error;
    }
    std::vector<std::string> Ask(CQueryHandler& handler, const std::vector<Arg>& args, QueryOutcome* out = nullptr)
    {
        QueryOutcome outcome;
        const std::string answer = handler.Handle(Body(args), outcome);
        if (out) *out = outcome;
        return Parse(answer, m_Answer);
    }

    TempDir m_Work;
    TempDir m_Dir;
    CServiceContent m_Content;
    CStateStore m_State;
    CKesaResponse m_Answer;
};

using ::testing::ElementsAre;
using ::testing::StartsWith;

} // namespace

TEST_F(ServiceCoreTest, SamplesGiveCatalogsNamedAfterTheirChannel)
{
    ASSERT_EQ(m_Content.Channels().size(), 4u);
    for (const char* id : {"C1", "C2", "C7", "G1"}) {
        const CatalogChannel* c = m_Content.FindChannel(id);
        ASSERT_NE(c, nullptr) << id;
        EXPECT_EQ(c->catalogName, std::string(id) + "cat");
        EXPECT_EQ(c->catalog.fileName, std::string(id) + "cat.pdb");
        CPdbFile pdb;
        ASSERT_TRUE(pdb.ReadPdbBuffer(c->catalog.bytes.data(), c->catalog.bytes.size()));
        EXPECT_EQ(pdb.m_Name, c->catalogName);
        EXPECT_EQ(pdb.m_Type, FourCC("CATA"));
    }
    EXPECT_EQ(m_Content.FindChannel("c7"), m_Content.FindChannel("C7"));
    EXPECT_TRUE(m_Content.FindChannel("C7")->refList.present);
    EXPECT_TRUE(m_Content.FindChannel("G1")->defList.present);
    EXPECT_FALSE(m_Content.FindChannel("C1")->defList.present);
    EXPECT_EQ(m_Content.FindGameChannel("QUIZ-2001"), "G1");
    EXPECT_EQ(m_Content.AppVersion(), "2.3.1");
    ASSERT_TRUE(m_Content.AppFile().present);
    const UserContent* anne = m_Content.FindUser("anne");
    ASSERT_NE(anne, nullptr);
    EXPECT_THAT(anne->channels, ElementsAre("C1", "C2", "C7", "G1"));
    EXPECT_TRUE(anne->userCtx.present);
}

TEST_F(ServiceCoreTest, ListsOfAChannelNameItsCatalogAndKeepTheirFormatVersion)
{
    // A reference list that names another catalog, in format 2.3.
    TempDir content;
    std::filesystem::create_directories(content / "catalogs/K9");
    std::filesystem::copy_file(kSamples + "/catalogs/C2/catalog.json", content / "catalogs/K9/catalog.json");
    {
        std::ofstream(content / "catalogs/K9/reflist.json")
            << R"({"kind": "list", "name": "Ref", "appInfo": {"title": "Ref", "listOrCatalogName": "Elsewhere",
                   "channelType": 2, "formatNum": 2}})";
    }
    CServiceContent other;
    std::string error;
    ASSERT_TRUE(other.Load(content.Path(), kCatalogc, m_Work / "k9", error)) << error;
    const CatalogChannel* k9 = other.FindChannel("K9");
    ASSERT_NE(k9, nullptr);
    CPdbFile ref;
    ASSERT_TRUE(ref.ReadPdbBuffer(k9->refList.bytes.data(), k9->refList.bytes.size()));
    CPdbRecord block(ref.m_AppInfo.data(), long(ref.m_AppInfo.size()));
    CAppInfo info;
    info.FillFromPdbRecord(&block);
    EXPECT_EQ(info.GetListOrCatalogName(), "K9cat");
    EXPECT_EQ(info.GetTitle(), "Ref");
    EXPECT_EQ(info.GetChannelType(), ChannelList);
    ASSERT_GE(ref.m_AppInfo.size(), 262u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ref.m_AppInfo.data() + 259), 3), "2.3");
    EXPECT_EQ(k9->refList.fileName, "K9ref.pdb");
}

TEST_F(ServiceCoreTest, BrokenContentIsReported)
{
    TempDir content;
    std::filesystem::create_directories(content / "catalogs/B1");
    { std::ofstream(content / "catalogs/B1/catalog.json") << R"({"kind": "catalog"})"; }
    CServiceContent broken;
    std::string error;
    EXPECT_FALSE(broken.Load(content.Path(), kCatalogc, m_Work / "b", error));
    EXPECT_THAT(error, ::testing::HasSubstr("catalogc failed"));

    std::filesystem::remove(content / "catalogs/B1/catalog.json");
    EXPECT_FALSE(broken.Load(content.Path(), kCatalogc, m_Work / "b", error));
    EXPECT_THAT(error, ::testing::HasSubstr("no catalog.json or catalog.pdb"));
}

TEST_F(ServiceCoreTest, DeclarationNamesTheSubscriptionsTheApplicationAndTheUserContext)
{
    CQueryHandler handler(m_Content, m_State, {});
    QueryOutcome outcome;
    auto args = Ask(handler,
                    {{"function", "DeclareChannels"}, {"UID", "anne"}, {"PWD", "x"}, {"CIDList", "C1"},
                     {"NorvVers", "2.3"}},
                    &outcome);
    EXPECT_THAT(args, ElementsAre("CDL=C1;C2;C7;G1", "ReceiveVersion=2.3.1",
                                  "NorveliaPrc=norvelia.prc:" + std::to_string(m_Content.AppFile().bytes.size()),
                                  StartsWith("UserPdb=USERCTX.pdb:")));
    EXPECT_EQ(outcome.function, "DeclareChannels");
    EXPECT_EQ(outcome.uid, "anne");

    // Up to date, and a user without a folder: the declared channels we serve.
    args = Ask(handler, {{"function", "DeclareChannels"}, {"UID", "bob"}, {"PWD", ""}, {"CIDList", "c7;ZZ;;G1"},
                         {"NorvVers", "2.3.1"}});
    EXPECT_THAT(args, ElementsAre("CDL=c7;G1"));
}

TEST_F(ServiceCoreTest, ConfiguredUsersRefuseOtherCredentials)
{
    CQueryHandler handler(m_Content, m_State, {{"anne", "secret"}});
    EXPECT_THAT(Ask(handler, {{"function", "DeclareChannels"}, {"UID", "anne"}, {"PWD", "wrong"}}),
                ElementsAre(StartsWith("Message=")));
    EXPECT_THAT(Ask(handler, {{"function", "StartGame"}, {"UID", "eve"}, {"Game", "QUIZ-2001"}}),
                ElementsAre(StartsWith("Message=")));
    // Queries without a password are judged on the user id.
    EXPECT_THAT(Ask(handler, {{"function", "StartGame"}, {"UID", "anne"}, {"Game", "QUIZ-2001"}, {"Stamp", "5"}}),
                ElementsAre(StartsWith("Notification=")));
    EXPECT_THAT(Ask(handler, {{"function", "DeclareChannels"}, {"UID", "anne"}, {"PWD", "secret"}}),
                ::testing::Contains("CDL=C1;C2;C7;G1"));
}

TEST_F(ServiceCoreTest, ListIsRecordedWithItsLinesAndDated)
{
    CQueryHandler handler(m_Content, m_State, {});
    auto list = MakeList("Mes courses", "C7", {{"POM-01", "Pommes", "3", "2,40"}, {"CAR-03", "Carottes", "1", "1,20"}});
    auto args = Ask(handler, {{"function", "ProcessList"}, {"UID", "anne"}, {"PWD", "secret"}, {"CID", "C7"},
                              {"IODBinData", "Mes courses.pdb", PdbBytes(*list)}});
    ASSERT_EQ(args.size(), 1u);
    EXPECT_THAT(args[0], ::testing::MatchesRegex("ProcessDate=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}"));

    const std::string db = m_Dir / "state.db";
    EXPECT_THAT(Rows(db, "SELECT uid, channel, list_name, file_name, list_type, member_id, delivery_alias, city, "
                         "comment FROM orders"),
                ElementsAre("anne|C7|Mes courses|Mes courses.pdb|LIST|M-1042|maison|Paris|Sonner deux fois"));
    EXPECT_THAT(Rows(db, "SELECT position, reference, name, quantity, price, need FROM order_lines ORDER BY position"),
                ElementsAre("0|POM-01|Pommes|3|2.40|1", "1|CAR-03|Carottes|1|1.20|1"));
    EXPECT_THAT(Rows(db, "SELECT length(pdb) FROM orders"), ElementsAre(std::to_string(PdbBytes(*list).size())));
}

TEST_F(ServiceCoreTest, BadListsAreAnsweredWithAMessage)
{
    CQueryHandler handler(m_Content, m_State, {});
    CPdbFile noOrder("Vide", "KESA", "LIST", 0, 1, 0, 0);
    CPdbFile catalog("C1cat", "KESA", "CATA", 0, 1, 0, 0);
    for (const std::string& bytes : {PdbBytes(noOrder), PdbBytes(catalog), std::string("garbage")}) {
        EXPECT_THAT(Ask(handler, {{"function", "ProcessList"}, {"UID", "anne"}, {"CID", "C7"},
                                  {"IODBinData", "x.pdb", bytes}}),
                    ElementsAre(StartsWith("Message=")));
    }
    EXPECT_THAT(Ask(handler, {{"function", "ProcessList"}, {"UID", "anne"}, {"CID", "C7"}}),
                ElementsAre(StartsWith("Message=")));
    EXPECT_TRUE(Rows(m_Dir / "state.db", "SELECT id FROM orders").empty());
}

TEST_F(ServiceCoreTest, CatalogAnswerFollowsTheDefaultListRequest)
{
    CQueryHandler handler(m_Content, m_State, {});
    const auto g1 = m_Content.FindChannel("G1");
    const std::string catalog = "CatalogBinData=G1cat.pdb:" + std::to_string(g1->catalog.bytes.size());
    EXPECT_THAT(Ask(handler, {{"function", "GetUpToDateCatalog"}, {"UID", "anne"}, {"CID", "g1"},
                              {"DefListRequested", "yes"}}),
                ElementsAre(catalog, "DefListBinData=G1def.pdb:" + std::to_string(g1->defList.bytes.size())));
    EXPECT_THAT(Ask(handler, {{"function", "GetUpToDateCatalog"}, {"UID", "anne"}, {"CID", "G1"},
                              {"DefListRequested", "no"}}),
                ElementsAre(catalog));
    EXPECT_THAT(Ask(handler, {{"function", "GetUpToDateCatalog"}, {"UID", "anne"}, {"CID", "C7"},
                              {"DefListRequested", "no"}}),
                ElementsAre(StartsWith("CatalogBinData=C7cat.pdb:"), StartsWith("RefListBinData=C7ref.pdb:")));
    EXPECT_THAT(Ask(handler, {{"function", "GetUpToDateCatalog"}, {"UID", "anne"}, {"CID", "XX"}}),
                ElementsAre("Message=Chaine inconnue : XX."));
}

TEST_F(ServiceCoreTest, GamesAreRecordedAndUnknownQueriesGetAMessage)
{
    CQueryHandler handler(m_Content, m_State, {});
    EXPECT_THAT(Ask(handler, {{"function", "ProcessGame"}, {"UID", "anne"}, {"Game", "QUIZ-2001"}, {"Points", "17"},
                              {"Stamp", "3600"}}),
                ElementsAre("Notification=Score enregistre : 17 points."));
    EXPECT_THAT(Ask(handler, {{"function", "StartGame"}, {"UID", "anne"}, {"Game", "QUIZ-2001"}, {"Stamp", "99"}}),
                ElementsAre("Notification=Bonne partie !"));
    EXPECT_THAT(Ask(handler, {{"function", "ProcessGame"}, {"UID", "anne"}, {"Game", "NOPE"}}),
                ElementsAre("Message=Jeu inconnu : NOPE."));
    EXPECT_THAT(Ask(handler, {{"function", "Reboot"}, {"UID", "anne"}}), ElementsAre("Message=Fonction inconnue : Reboot"));

    QueryOutcome outcome;
    const std::string answer = handler.Handle("too short", outcome);
    EXPECT_THAT(Parse(answer, m_Answer), ElementsAre("Message=Requete illisible."));

    const std::string db = m_Dir / "state.db";
    EXPECT_THAT(Rows(db, "SELECT uid, channel, game, points, stamp FROM game_scores"),
                ElementsAre("anne|G1|QUIZ-2001|17|3600"));
    EXPECT_THAT(Rows(db, "SELECT uid, channel, game, stamp FROM game_starts"), ElementsAre("anne|G1|QUIZ-2001|99"));
}

TEST(WorkerPool, StartsWorkersAsConnectionsComeUpToItsBound)
{
    // Each job stands for a connection held open until released.
    for (std::size_t bound : {1u, 2u, 5u}) {
        SCOPED_TRACE(bound);
        std::mutex mutex;
        std::condition_variable cv;
        bool release = false;
        int running = 0, done = 0;
        CWorkerPool pool(bound);
        for (int i = 0; i < 6; ++i) {
            pool.enqueue([&] {
                std::unique_lock<std::mutex> lock(mutex);
                ++running;
                cv.notify_all();
                cv.wait(lock, [&] { return release; });
                ++done;
            });
        }
        {
            std::unique_lock<std::mutex> lock(mutex);
            ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return running == int(bound); }));
        }
        EXPECT_EQ(pool.Threads(), bound);
        {
            std::lock_guard<std::mutex> lock(mutex);
            release = true;
        }
        cv.notify_all();
        pool.shutdown(); // the queued jobs run before the workers end
        EXPECT_EQ(done, 6);
        EXPECT_EQ(pool.Threads(), 0u);
    }
}
