// What a person meets of norvelia-service: its command line, standard forms
// (curl -F), empty posts, and the status page, through HTTP.
#include <gmock/gmock.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "QueryArgs.h"
#include "StatusPage.h"
#include "common/TestRun.h"
#include "platform/Version.h"
#include "service/ServiceTestUtil.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const std::string kService = NORV_BINARY_DIR "/bin/norvelia-service";

std::vector<std::string> PostForm(ServiceProcess& service, const httplib::MultipartFormDataItems& items)
{
    httplib::Client client("127.0.0.1", service.Port());
    auto res = client.Post("/Tidepost/srv", items);
    if (!res) return {"<no answer>"};
    EXPECT_EQ(res->status, 200);
    CKesaResponse answer;
    return Parse(res->body, answer);
}

std::string PdbText(const CPdbFile& pdb)
{
    const auto bytes = pdb.ToBytes();
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(StatusPage, EscapesEveryMarkupCharacter)
{
    const struct {
        const char* text;
        const char* html;
    } cases[] = {
        {"plain text 42", "plain text 42"},
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"a & b", "a &amp; b"},
        {"\"quoted\" 'single'", "&quot;quoted&quot; &#39;single&#39;"},
        {"&amp;", "&amp;amp;"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CStatusPage::Escape(c.text), c.html) << c.text;
}

TEST(QueryArgs, ClientBodiesAreReadOrRefused)
{
    CQueryArgs args;
    const std::string body = "-----------------------------7d02e419b08\r\n"
                             "Content-Disposition: form-data; name=\"function\"\r\n\r\nStartGame\r\n"
                             "-----------------------------7d02e419b08\r\n"
                             "Content-Disposition: form-data; name=\"IODBinData\"; filename=\"l.pdb\"\r\n"
                             "Content-Type: application/octet-stream\r\n\r\nA\r\n\r\nB\r\n"
                             "-----------------------------7d02e419b08--\r\n";
    ASSERT_TRUE(args.ParseClientBody(body));
    EXPECT_EQ(args.Value("function"), "StartGame");
    ASSERT_NE(args.Find("IODBinData"), nullptr);
    EXPECT_EQ(args.Find("IODBinData")->value, "l.pdb");
    EXPECT_EQ(args.Find("IODBinData")->bytes, "A\r\n\r\nB");
    EXPECT_EQ(args.Find("Function"), nullptr) << "names keep their case";

    for (const std::string& bad : {std::string(), std::string(39, '-'),
                                   std::string("-----------------------------7d02e419b08\r\nno name\r\n") +
                                       "-----------------------------7d02e419b08--\r\n"})
        EXPECT_FALSE(args.ParseClientBody(bad)) << bad;
}

class ServiceFrontTest : public ::testing::Test {
protected:
    TempDir m_Dir;
};

TEST_F(ServiceFrontTest, StandardFormsAreQueriesLikeTheClientsOwn)
{
    const std::string state = m_Dir / "state.db";
    ServiceProcess service({"--user", "anne:secret"}, state);
    ASSERT_TRUE(service.Running()) << service.Stderr();

    EXPECT_THAT(PostForm(service, {{"function", "DeclareChannels", "", ""},
                                   {"UID", "anne", "", ""},
                                   {"PWD", "secret", "", ""},
                                   {"CIDList", "C1;C7", "", ""},
                                   {"NorvVers", "2.3.1", "", ""}}),
                ElementsAre("CDL=C1;C2;C7;G1", ::testing::StartsWith("UserPdb=USERCTX.pdb:")));
    EXPECT_THAT(PostForm(service, {{"function", "DeclareChannels", "", ""},
                                   {"UID", "anne", "", ""},
                                   {"PWD", "guess", "", ""}}),
                ElementsAre("Message=Identifiant ou mot de passe refuse."));

    // A file field, binary and holding blank lines, as curl -F IODBinData=@file sends it.
    auto list = MakeList("Mes courses", "C7", {{"POM-01", "Pommes", "3", "2,40"}});
    const std::vector<std::string> processed = PostForm(
        service, {{"function", "ProcessList", "", ""},
                  {"UID", "anne", "", ""},
                  {"CID", "C7", "", ""},
                  {"IODBinData", PdbText(*list), "Mes courses.pdb", "application/octet-stream"}});
    ASSERT_EQ(processed.size(), 1u);
    EXPECT_THAT(processed[0], ::testing::StartsWith("ProcessDate="));
    EXPECT_THAT(PostForm(service, {{"function", "ProcessGame", "", ""},
                                   {"UID", "anne", "", ""},
                                   {"Game", "QUIZ-2001", "", ""},
                                   {"Points", "12", "", ""},
                                   {"Stamp", "60", "", ""}}),
                ElementsAre("Notification=Score enregistre : 12 points."));
    EXPECT_EQ(service.Stop(), 0);
    EXPECT_THAT(Rows(state, "SELECT uid, channel, list_name, file_name, length(pdb) FROM orders"),
                ElementsAre("anne|C7|Mes courses|Mes courses.pdb|" + std::to_string(PdbText(*list).size())));
    EXPECT_THAT(Rows(state, "SELECT reference, quantity FROM order_lines"), ElementsAre("POM-01|3"));
}

TEST_F(ServiceFrontTest, EmptyOrUnreadablePostsGetAMessage)
{
    ServiceProcess service({}, m_Dir / "state.db");
    ASSERT_TRUE(service.Running()) << service.Stderr();
    const struct {
        const char* body;
        const char* type;
    } cases[] = {
        {"", "application/octet-stream"},
        {"function=DeclareChannels", "application/x-www-form-urlencoded"},
        {"no boundary here", "multipart/form-data; boundary=xyz"},
        {"--xyz\r\nContent-Disposition: form-data\r\n\r\nnameless\r\n--xyz--\r\n", "multipart/form-data; boundary=xyz"},
        {"--xyz--\r\n", "multipart/form-data; boundary=xyz"},
        {"anything", "multipart/form-data"},
    };
    httplib::Client client("127.0.0.1", service.Port());
    for (const auto& c : cases) {
        auto res = client.Post("/Tidepost/srv", c.body, c.type);
        ASSERT_TRUE(res) << c.body;
        EXPECT_EQ(res->status, 200) << c.body;
        CKesaResponse answer;
        EXPECT_THAT(Parse(res->body, answer), ElementsAre("Message=Requete illisible.")) << c.body << " / " << c.type;
    }
    // The connection is still usable after each of them.
    auto probe = client.Get("/Tidepost/test.bin");
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->status, 200);
}

TEST_F(ServiceFrontTest, StatusPageShowsContentAndWhatWasReceivedEscaped)
{
    const std::string state = m_Dir / "state.db";
    ServiceProcess service({"--user", "anne:secret", "--user", "<b>bob</b>:pw"}, state);
    ASSERT_TRUE(service.Running()) << service.Stderr();
    httplib::Client client("127.0.0.1", service.Port());

    auto empty = client.Get("/");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 200);
    EXPECT_EQ(empty->get_header_value("Content-Type"), "text/html; charset=utf-8");
    for (const char* none : {"No request received yet.", "No order received yet.", "No game score received yet."})
        EXPECT_THAT(empty->body, HasSubstr(none));

    // Values a sender chooses, markup included.
    const std::string evil = "<script>alert('x')</script>";
    auto list = MakeList(evil, "C7", {{"R-1", "Poires", "2", "1,00"}});
    PostForm(service, {{"function", "ProcessList", "", ""},
                       {"UID", "anne", "", ""},
                       {"CID", "C7", "", ""},
                       {"IODBinData", PdbText(*list), "l.pdb", ""}});
    PostForm(service, {{"function", "ProcessGame", "", ""},
                       {"UID", "anne", "", ""},
                       {"Game", "QUIZ-2001", "", ""},
                       {"Points", "17", "", ""}});
    PostForm(service, {{"function", evil, "", ""}, {"UID", "anne", "", ""}});

    // A request is recorded once its answer is out: wait (bounded) for the last one's row.
    std::string html;
    for (int i = 0; i < 100 && html.find("Fonction inconnue") == std::string::npos; ++i) {
        if (i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        auto page = client.Get("/");
        ASSERT_TRUE(page);
        html = page->body;
    }
    EXPECT_THAT(html, Not(HasSubstr("<script"))) << "no value from a request is markup";
    EXPECT_THAT(html, Not(HasSubstr("<b>bob")));
    const std::string cells[] = {
        // channels: id, kind, title, catalog, lists
        "<td>C1</td><td>catalog</td><td>Le Petit Epicier</td><td>C1cat.pdb (",
        "<td>C7</td><td>list</td>",
        "<td>G1</td><td>game</td>",
        "<td>C7ref.pdb (",
        // users
        "<td>anne</td><td>C1 C2 C7 G1</td><td>USERCTX.pdb (",
        "<td>&lt;b&gt;bob&lt;/b&gt;</td><td>the channels declared</td><td>-</td><td>checked (--user)</td>",
        // last requests, newest first
        "<td>Message: Fonction inconnue : &lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;</td>",
        "<td>ProcessGame</td><td>anne</td><td>Notification score QUIZ-2001=17</td>",
        // orders and scores
        "<td>anne</td><td>C7</td><td>&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;</td><td class=\"num\">1</td>",
        "<td>anne</td><td>G1</td><td>QUIZ-2001</td><td class=\"num\">17</td>",
    };
    for (const std::string& cell : cells) EXPECT_THAT(html, HasSubstr(cell));
    EXPECT_LT(html.find("Fonction inconnue"), html.find("<td>ProcessGame</td>"));
    EXPECT_THAT(html, HasSubstr("<p class=\"meta\">version " + std::string(kNorvVersion)));

    EXPECT_EQ(service.Stop(), 0);
    EXPECT_THAT(Rows(state, "SELECT count(*) FROM requests WHERE function LIKE '%status%' OR function LIKE 'GET /'"),
                ElementsAre("0"))
        << "looking at the page is not recorded";
}

TEST_F(ServiceFrontTest, CommandLineVersionUsageAndSignals)
{
    const RunResult version = RunCommand(kService + " --version");
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.output, "norvelia-service " + std::string(kNorvVersion) + "\n");
    EXPECT_EQ(RunCommand(kService + " --help").code, 0);

    for (const char* usage : {"--no-such-option", "--delay -5", "--fail 42", "--listen nowhere", "--user nobody",
                              "stray-argument"})
        // A line taken for a good one would listen: cut after 10 s.
        EXPECT_EQ(RunCommand("timeout 10 " + kService + " " + usage + " --content " + m_Dir.Path()).code, 2) << usage;

    // A TMPDIR that names no folder is reported, and the service serves until Ctrl-C.
    const RunResult noTmp = RunCommand("TMPDIR=" + (m_Dir / "none") + " timeout -s INT 2 " + kService +
                                       " --listen 127.0.0.1:0 --content " + m_Dir.Path() + " --state " +
                                       (m_Dir / "tmp-state.db"));
    EXPECT_EQ(noTmp.code, 124) << noTmp.output; // timeout ended it
    EXPECT_THAT(noTmp.output,
                HasSubstr("norvelia-service: warning: TMPDIR (" + (m_Dir / "none") + ") is not a folder; using /tmp\n"));
    // That content folder is empty: said at once.
    EXPECT_THAT(noTmp.output, HasSubstr("norvelia-service: warning: " + m_Dir.Path() +
                                        " holds no catalog, so no channel is served: expected catalogs/"));

    const RunResult noState = RunCommand("timeout 10 " + kService + " --content " + m_Dir.Path() + " --state " +
                                         m_Dir.Path() + "/missing/state.db");
    EXPECT_EQ(noState.code, 1);
    EXPECT_EQ(noState.output, "norvelia-service: cannot open " + m_Dir.Path() +
                                  "/missing/state.db: unable to open database file (No such file or directory)\n");

    // Without --state: ${XDG_STATE_HOME}/norvelia-service/state.db; Ctrl-C ends it with 130.
    const std::string xdg = m_Dir / "xdg";
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string restore = saved ? saved : "";
    ::setenv("XDG_STATE_HOME", xdg.c_str(), 1);
    {
        ServiceProcess service({}, "", m_Dir.Path());
        ASSERT_TRUE(service.Running()) << service.Stderr();
        httplib::Client client("127.0.0.1", service.Port());
        ASSERT_TRUE(client.Get("/Tidepost/test.bin"));
        EXPECT_EQ(service.Stop(SIGINT), 130);
        EXPECT_THAT(service.Stderr(), HasSubstr("norvelia-service: stopping (signal 2)\n"));
    }
    if (saved)
        ::setenv("XDG_STATE_HOME", restore.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
    EXPECT_THAT(Rows(xdg + "/norvelia-service/state.db", "SELECT function FROM requests"), ElementsAre("test.bin"));
    EXPECT_EQ(std::filesystem::status(xdg + "/norvelia-service").permissions(), std::filesystem::perms::owner_all);
}
