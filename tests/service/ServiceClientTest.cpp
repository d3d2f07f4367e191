// The client against the real norvelia-service program: a whole run over the
// sample content, then the test switches.
#include <gmock/gmock.h>
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/TestRun.h"
#include "client/Ferrylink.h"
#include "lexmo/Lexmo.h"
#include "quillio/KesaError.h"
#include "service/ServiceTestUtil.h"
#include "winreg/WinReg.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class ServiceClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        KESA_LoadMessages("Lexmo.dll");
        static TempDir registry;
        winreg::SetStorePath(registry / "registry.db");
    }
    TempDir m_Dir;
};

// The item reference of the first line of a list file, as the conduit takes
// a game's reference.
std::string FirstReference(const std::string& path)
{
    CPdbFile pdb;
    if (!pdb.ReadPdbFile(path.c_str())) return "<unreadable>";
    for (const auto& rec : pdb.m_RecordSet)
        if (rec->m_Attrib == 8 && rec->Size() > 0) return CItemRefRecord(rec.get()).GetReferenceStr();
    return "";
}

} // namespace

TEST_F(ServiceClientTest, DeclareProcessEveryChannelAndStartAGame)
{
    const std::string state = m_Dir / "state.db";
    ServiceProcess service({"--user", "anne:secret", "--user", "bob:pw"}, state);
    ASSERT_TRUE(service.Running()) << service.Stderr();
    EXPECT_EQ(service.Stdout(), "norvelia-service: http://127.0.0.1:" + std::to_string(service.Port()) + "/Tidepost/\n");

    TempDir src, dst;
    CFerrylink link;
    link.Initialize(nullptr, src.Path(), dst.Path());
    link.SetUID("anne");
    link.SetPWD("secret");
    link.SetKesaVers("2.3");
    // What the handheld holds: a catalog, a list with an order, a game.
    link.AddCatalog("C1", ChannelCatalog, true);
    link.AddCatalog("c7", ChannelList, true);
    auto list = MakeList("Mes courses", "C7", {{"POM-01", "Pommes", "3", "2,40"}, {"CAR-03", "Carottes", "1", "1,20"}});
    link.AddList("C7", "Mes courses", list.get());
    link.AddGameScoreTimestamp("G1", "3600");
    link.AddGameScore("G1", "QUIZ-2001", "17");

    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_DeclareCatalogs();
    ASSERT_EQ(link.GetNbChannelsToProcess(), 4u);
    EXPECT_EQ(link.GetNewKesaVers(), "2.3.1");
    EXPECT_EQ(link.GetNorveliaFilepath(), dst / "norvelia.prc");
    EXPECT_EQ(ReadAll(dst / "norvelia.prc"), ReadAll(NORV_SOURCE_DIR "/service/samples/app/norvelia.prc"));
    EXPECT_EQ(link.GetUserPdbFilepath(), dst / "USERCTX.pdb");

    for (unsigned i = 0; i < link.GetNbChannelsToProcess(); ++i) {
        link.SRVQRY_ProcessChannel(int(i));
        EXPECT_EQ(link.GetChannelData(int(i))->GetErrorMessageList(), "") << i;
    }
    EXPECT_EQ(link.WaitAllChannelsProcessed(), 4u);
    EXPECT_EQ(link.GetNbChannelsToInstall(), 4);

    CChannelData* c7 = link.GetChannelData("C7");
    EXPECT_FALSE(c7->GetNthListPdb(0)->GetProcessDate().empty());
    EXPECT_EQ(c7->GetNewCatalogPdbFilepath(), dst / "C7cat.pdb");
    EXPECT_EQ(c7->GetRefListPdbFilepath(), dst / "C7ref.pdb");
    EXPECT_FALSE(c7->HasDefList()) << "the handheld has the list: no default list asked for";
    CPdbFile catalog;
    ASSERT_TRUE(catalog.ReadPdbFile(c7->GetNewCatalogPdbFilepath().c_str()));
    EXPECT_EQ(catalog.m_Name, "C7cat");

    CChannelData* g1 = link.GetChannelData("G1");
    ASSERT_TRUE(g1->HasDefList());
    EXPECT_FALSE(g1->HasGameError());
    EXPECT_TRUE(link.GetChannelData("C2")->HasNewCatalog());

    const std::string game = FirstReference(g1->GetDefListPdbFilepath());
    EXPECT_EQ(game, "QUIZ-2001");
    link.SRVQRY_StartGame(game, "3600");
    link.SRVQRY_CloseSession();
    EXPECT_EQ(service.Stop(), 0);

    EXPECT_THAT(Rows(state, "SELECT uid, channel, list_name, file_name FROM orders"),
                ElementsAre("anne|c7|Mes courses|Mes courses.pdb"))
        << "the channel keeps the spelling the handheld gave first";
    EXPECT_THAT(Rows(state, "SELECT reference, quantity, price FROM order_lines ORDER BY position"),
                ElementsAre("POM-01|3|2.40", "CAR-03|1|1.20"));
    EXPECT_THAT(Rows(state, "SELECT uid, channel, game, points, stamp FROM game_scores"),
                ElementsAre("anne|G1|QUIZ-2001|17|3600"));
    EXPECT_THAT(Rows(state, "SELECT uid, channel, game, stamp FROM game_starts"), ElementsAre("anne|G1|QUIZ-2001|3600"));
    // Rows are written once the answer is out: requests on other connections may pass.
    EXPECT_THAT(Rows(state, "SELECT function, uid FROM requests ORDER BY id"),
                ::testing::UnorderedElementsAre("DeclareChannels|anne", "GetUpToDateCatalog|anne", "ProcessList|anne",
                            "GetUpToDateCatalog|anne", "ProcessGame|anne", "GetUpToDateCatalog|anne",
                            "GetUpToDateCatalog|anne", "StartGame|anne"));
    // One log line per request.
    const std::string log = service.Stderr();
    size_t lines = 0;
    for (size_t at = log.find(" POST /Tidepost/srv 200 "); at != std::string::npos;
         at = log.find(" POST /Tidepost/srv 200 ", at + 1))
        ++lines;
    EXPECT_EQ(lines, 8u) << log;
    EXPECT_THAT(log, HasSubstr(" POST /Tidepost/srv 200 StartGame anne Notification start QUIZ-2001\n"));
}

TEST_F(ServiceClientTest, SwitchesMakeTheServiceFailAsAsked)
{
    TempDir empty;
    const std::string state = m_Dir / "state.db";
    {
        ServiceProcess service({"--basic-auth", "kesa:door"}, state, empty.Path());
        ASSERT_TRUE(service.Running()) << service.Stderr();
        httplib::Client client("127.0.0.1", service.Port());
        auto refused = client.Get("/Tidepost/test.bin");
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 401);
        EXPECT_EQ(refused->get_header_value("WWW-Authenticate"), "Basic realm=\"Norvelia\"");
        client.set_basic_auth("kesa", "door");
        auto probe = client.Get("/Tidepost/test.bin");
        ASSERT_TRUE(probe);
        EXPECT_EQ(probe->status, 200);
        EXPECT_EQ(probe->body.size(), 1024u);
        EXPECT_EQ(client.Get("/elsewhere")->status, 404);
    }
    {
        ServiceProcess service({"--fail", "500"}, state, empty.Path());
        ASSERT_TRUE(service.Running()) << service.Stderr();
        CFerrylink link;
        ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
        const CKesaError e = Raised([&] { link.SRVQRY_StartGame("Q", "1"); });
        EXPECT_EQ(e.Number(), 2050);
        EXPECT_EQ(e.Argument(),
                  KESA_FormatMessage(2050, "Q", KESA_FormatMessage(2011, "CKesaSession::ProcessRequest", "500")));
    }
    {
        ServiceProcess service({"--broken"}, state, empty.Path());
        ASSERT_TRUE(service.Running()) << service.Stderr();
        CFerrylink link;
        ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
        const CKesaError e = Raised([&] { link.SRVQRY_DeclareCatalogs(); });
        EXPECT_EQ(e.Number(), 2012);
        EXPECT_EQ(e.Argument(), KESA_FormatMessage(2012, KESA_FormatMessage(2003, "CKesaSession::ProcessRequest")));
    }
    {
        ServiceProcess service({"--user", "anne:secret"}, state, empty.Path());
        ASSERT_TRUE(service.Running()) << service.Stderr();
        CFerrylink link;
        link.SetUID("anne");
        link.SetPWD("guess");
        ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
        const CKesaError e = Raised([&] { link.SRVQRY_DeclareCatalogs(); });
        EXPECT_EQ(e.Number(), 2010);
        EXPECT_EQ(e.Argument(), KESA_FormatMessage(2010, "Identifiant ou mot de passe refuse."));
    }
    EXPECT_THAT(Rows(state, "SELECT function, result FROM requests ORDER BY id"),
                ::testing::UnorderedElementsAre("GET /Tidepost/test.bin|401", "test.bin|1024 bytes", "GET /elsewhere|404",
                                                "POST /Tidepost/srv|500", "POST /Tidepost/srv|broken",
                                                "DeclareChannels|Message: Identifiant ou mot de passe refuse."));
}

TEST_F(ServiceClientTest, BadCommandLinesAndContentStopAtOnce)
{
    TempDir empty;
    ServiceProcess badListen({"--listen", "nowhere"}, m_Dir / "s.db", empty.Path());
    EXPECT_FALSE(badListen.Running());
    ServiceProcess badContent({}, m_Dir / "s.db", empty / "missing");
    EXPECT_FALSE(badContent.Running());

    // An address in use is refused, not shared (a run that listens is cut after 10 s).
    ServiceProcess first({}, m_Dir / "s.db", empty.Path());
    ASSERT_TRUE(first.Running()) << first.Stderr();
    const std::string address = "127.0.0.1:" + std::to_string(first.Port());
    const RunResult second = RunCommand("timeout 10 " NORV_BINARY_DIR "/bin/norvelia-service --listen " + address +
                                        " --content " + empty.Path() + " --state " + (m_Dir / "s2.db"));
    EXPECT_EQ(second.code, 1);
    EXPECT_EQ(second.output, "norvelia-service: cannot listen on " + address + ": Address already in use\n");
}

TEST_F(ServiceClientTest, IdleConnectionsDoNotHoldOtherClients)
{
    TempDir empty;
    ServiceProcess service({}, m_Dir / "state.db", empty.Path());
    ASSERT_TRUE(service.Running()) << service.Stderr();
    // Connections that send half a request header and wait.
    struct Idle {
        std::vector<int> fds;
        ~Idle()
        {
            for (int fd : fds) ::close(fd);
        }
    } idle;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(service.Port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string half = "GET /Tidepost/test.bin HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (int i = 0; i < 64; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        idle.fds.push_back(fd);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::send(fd, half.data(), half.size(), MSG_NOSIGNAL), ssize_t(half.size()));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // let the service take them all

    // Answered within a second when idle; 3 s leaves room for a loaded machine,
    // while eight stalled workers made it wait 5 s or more.
    httplib::Client client("127.0.0.1", service.Port());
    client.set_read_timeout(30, 0);
    const auto start = std::chrono::steady_clock::now();
    auto answer = client.Get("/Tidepost/test.bin");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_LT(elapsed, std::chrono::seconds(3))
        << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << " ms";
}
