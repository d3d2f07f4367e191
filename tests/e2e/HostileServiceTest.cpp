// A service that answers what it should not: the real hotsync and conduit run
// against the reference service through a proxy that rewrites its answers.
// Whatever comes back, nothing is written outside the handheld and the
// HotSync home, every database still opens, and the exit code and the
// HotSync log tell the truth.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "conduit/KesaDatabases.h"
#include "conduit/SyncFixture.h"
#include "TamperingProxy.h"
#include "ferrylink/ScriptedService.h"
#include "lexmo/Lexmo.h"
#include "palmkit/HandheldStore.h"
#include "quillio/PdbFile.h"

namespace fs = std::filesystem;
using namespace kesa_db;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// "activity name<TAB>text" of the log's last entry: a run's verdict.
std::string LastEntry(const std::string& log)
{
    std::string last = log.substr(0, log.size() - 1);
    last = last.substr(last.rfind('\n') + 1);
    return last.substr(last.find('\t') + 1);
}

// The arguments of an answer, to change and build again.
std::vector<AnswerArg> ArgsOf(const std::string& body)
{
    std::vector<AnswerArg> args;
    for (const QueryArg& a : ParseQuery(body).args) args.push_back({a.name, a.value, a.bytes, a.isFile});
    return args;
}

void SetArg(httplib::Response& res, const AnswerArg& arg)
{
    std::vector<AnswerArg> args = ArgsOf(res.body);
    bool found = false;
    for (AnswerArg& a : args) {
        if (a.name != arg.name) continue;
        a = arg;
        found = true;
    }
    if (!found) args.push_back(arg);
    res.set_content(BuildAnswer(args), "application/octet-stream");
}

std::string BytesOf(const CPdbFile& f, const std::string& dir)
{
    const std::string path = dir + "/bytes.pdb";
    EXPECT_TRUE(f.WritePdbFile(path.c_str()));
    return ReadAll(path);
}

// A resource database with one code resource, as a file's bytes.
std::string ApplicationBytes(const char* name, const char* creator, const char* type, const std::string& dir)
{
    CPdbFile f(name, creator, type, CPdbFile::kAttrResource, 1, 0, 0);
    auto code = std::make_unique<CPdbRecord>(reinterpret_cast<const BYTE*>("code"), 4L);
    code->m_ResType = Code("code");
    code->m_ResId = 1;
    f.m_RecordSet.AddRecord(std::move(code), 0);
    return BytesOf(f, dir);
}

class HostileServiceTest : public SyncFixture {
protected:
    void SetUp() override
    {
        SyncFixture::SetUp();
        // The texts the runs write, in the catalog they use.
        ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
        StartService();
        fs::create_directories(m_Root / "scratch");
    }
    void TearDown() override
    {
        m_Proxy.reset();
        SyncFixture::TearDown();
    }

    void Tamper(TamperingProxy::Rewrite rewrite)
    {
        m_Proxy = std::make_unique<TamperingProxy>(m_Service->Port(), std::move(rewrite));
        SetServerUrl(m_Proxy->Url());
    }
    void Put(const Db& db) { ASSERT_TRUE(CHandheldStore(Handheld()).Save(*db.file)); }
    std::string Scratch() const { return m_Root / "scratch"; }

    // Every database opens; no file outside the handheld, the HotSync home and
    // what the fixture made.
    void ExpectSafe()
    {
        for (const auto& e : CHandheldStore(Handheld()).List()) EXPECT_FALSE(e.damaged) << e.path;
        const std::set<std::string> allowed = {"home", "handheld", "scratch", "registry.db", "state.db"};
        for (const auto& e : fs::directory_iterator(m_Root.Path())) {
            const std::string name = e.path().filename().string();
            EXPECT_TRUE(allowed.count(name) || name.rfind("registry.db", 0) == 0 || name.rfind("state.db", 0) == 0)
                << "written outside: " << e.path();
        }
    }
    void PutShopper()
    {
        Put(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")).Add(1, Item("POM-01", "Pommes", "2.10")));
        Put(Db("Courses", "LIST", AppInfoOf(2, "C7cat", "Courses"))
                .Add(5, Order(kDay1))
                .Add(8, Ref("POM-01", "Pommes", "3", "2.10", true)));
    }
    // The version recorded, or "" when none is.
    std::string NorvVers()
    {
        const std::string key = std::string(kProduct) + "\\Users\\Anne\\Norvelia";
        return Tool("norvreg", "get '" + key + "' NorvVers").code == 0 ? Get(key, "NorvVers") : "";
    }

    std::unique_ptr<TamperingProxy> m_Proxy;
};

// What comes as the new application is installed only when it is one; its
// version is recorded only then.
TEST_F(HostileServiceTest, OnlyTheApplicationIsInstalledAsTheApplication)
{
    Put(Db("MemoDB", "DATA").Add(0, Item("M", "memo", "0")));
    PutShopper();
    const std::string memo = ReadAll(Handheld() + "/MemoDB.pdb");
    struct Case {
        std::string bytes;
        std::string why;
    };
    const Case cases[] = {
        {"", KESA_FormatMessage(4138)},
        {std::string("MZ\x90\0", 4) + std::string(256, '\x07'), KESA_FormatMessage(4138)},
        {BytesOf(*Db("MemoDB", "DATA").Add(0, Item("M", "memo", "0")).file, Scratch()), KESA_FormatMessage(4139)},
        // Under a new name, each of the three marks alone is missing.
        {BytesOf(*Db("NewApp", "appl").Add(0, Item("M", "memo", "0")).file, Scratch()), KESA_FormatMessage(4139)},
        {ApplicationBytes("NewApp", "XXXX", "appl", Scratch()), KESA_FormatMessage(4139)},
        {ApplicationBytes("NewApp", "KESA", "DATA", Scratch()), KESA_FormatMessage(4139)},
        {ApplicationBytes("MemoDB", "KESA", "appl", Scratch()), KESA_FormatMessage(4118, "MemoDB")},
        {ApplicationBytes("Courses", "KESA", "appl", Scratch()), KESA_FormatMessage(4118, "Courses")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases) + ": " + c.why);
        Tamper([&](const Query& q, httplib::Response& res) {
            if (q.Get("function") == "DeclareChannels") SetArg(res, File("NorveliaPrc", "norvelia.prc", c.bytes));
        });
        const std::size_t from = HotSyncLog().size();
        const RunResult run = Sync("--no-backup");
        EXPECT_EQ(run.code, 4) << run.output;
        EXPECT_THAT(HotSyncLog().substr(from), HasSubstr(KESA_FormatMessage(4137, c.why)));
        EXPECT_EQ(LastEntry(HotSyncLog()), "31 problems\t" + KESA_FormatMessage(4141, KESA_FormatMessage(4165)));
        EXPECT_EQ(NorvVers(), "");
        EXPECT_EQ(ReadAll(Handheld() + "/MemoDB.pdb"), memo);
        EXPECT_FALSE(fs::exists(UserDir() + "Install")) << "left in the install queue";
        for (const char* file : {"/NewApp.prc", "/NewApp.pdb"}) EXPECT_FALSE(fs::exists(Handheld() + file));
        ExpectSafe();
        PutShopper();
    }
    // The real one goes in, and its version with it.
    m_Proxy.reset();
    StartService();
    ASSERT_EQ(Sync("--no-backup").code, 0);
    EXPECT_NE(NorvVers(), "");
}

// A reference list whose header is not one of the channel's lists leaves
// the lists' headers alone; the next run is clean.
TEST_F(HostileServiceTest, AForeignListHeaderIsNotWrittenOverTheLists)
{
    PutShopper();
    CPdbFile oneByte("Ref", "KESA", "LIST", 0, 1, 0, 0);
    oneByte.m_AppInfo = {0x02};
    CPdbFile otherChannel("Ref", "KESA", "LIST", 0, 1, 0, 0);
    otherChannel.m_AppInfo = AppInfoOf(2, "C1cat", "Ref");
    for (CPdbFile* ref : {&oneByte, &otherChannel}) {
        const std::string bytes = BytesOf(*ref, Scratch());
        Tamper([&](const Query& q, httplib::Response& res) {
            if (q.Get("function") == "GetUpToDateCatalog" && q.Get("CID") == "C7")
                SetArg(res, File("RefListBinData", "C7ref.pdb", bytes));
        });
        const std::size_t from = HotSyncLog().size();
        EXPECT_EQ(Sync("--no-backup").code, 4);
        CPdbFile after;
        ASSERT_TRUE(CHandheldStore(Handheld()).Load("Courses", after));
        EXPECT_EQ(after.m_AppInfo, AppInfoOf(2, "C7cat", "Courses"));
        // The service's file is at fault, not the handheld.
        EXPECT_THAT(HotSyncLog().substr(from), HasSubstr(KESA_FormatMessage(4109, "Courses", "C7")));
        EXPECT_THAT(HotSyncLog().substr(from), Not(HasSubstr(KESA_FormatMessage(2036))));
        ExpectSafe();
    }
    m_Proxy.reset();
    SetServerUrl(m_Service->Url() + "/xxx/yyy");
    const std::size_t from = HotSyncLog().size();
    EXPECT_EQ(Sync("--no-backup").code, 0);
    EXPECT_THAT(HotSyncLog().substr(from), Not(HasSubstr("existe déjà")));
}

// A process date the handheld cannot hold is reported; the order keeps its
// dates and is not sent again.
TEST_F(HostileServiceTest, AnUnreadableProcessDateLeavesTheOrderAsItWas)
{
    for (const char* date : {"garbage", "9999-99-99T99:99:99", "1800-01-01T00:00:00", "2200-01-01T00:00:00"}) {
        SCOPED_TRACE(date);
        PutShopper();
        Tamper([&](const Query& q, httplib::Response& res) {
            if (q.Get("function") == "ProcessList") SetArg(res, Text("ProcessDate", date));
        });
        const std::size_t from = HotSyncLog().size();
        EXPECT_EQ(Sync("--no-backup").code, 4);
        EXPECT_THAT(HotSyncLog().substr(from), HasSubstr(KESA_FormatMessage(4117, "Courses", "C7", date)));
        CPdbFile list;
        ASSERT_TRUE(CHandheldStore(Handheld()).Load("Courses", list));
        EXPECT_EQ(OrderIn(list).GetCreateDateStr(), Order(kDay1).GetCreateDateStr());
        ExpectSafe();
        fs::remove(UserDir() + "Orders.journal");
    }
}

// Received names with a NUL byte, "../" or an absolute path write nothing
// outside, and the log shows the whole name.
TEST_F(HostileServiceTest, HostileFileNamesStayInsideAndAreLoggedWhole)
{
    for (const std::string& name : {std::string("C7\0tail.pdb", 11), std::string("../../../escape.pdb"),
                                   (m_Root / "escape.pdb")}) {
        Tamper([&](const Query& q, httplib::Response& res) {
            if (q.Get("function") == "GetUpToDateCatalog" && q.Get("CID") == "C7")
                SetArg(res, File("CatalogBinData", name, "not a database"));
        });
        const RunResult run = Sync("--no-backup");
        EXPECT_EQ(run.code, 4) << run.output;
        EXPECT_EQ(LastEntry(HotSyncLog()), "31 problems\t" + KESA_FormatMessage(4141, KESA_FormatMessage(4160, "C7")));
        ExpectSafe();
    }
    // The log file writes a backslash as two.
    EXPECT_THAT(HotSyncLog(), HasSubstr("Dst/C7\\\\x00tail.pdb de la chaîne C7 n'a pas pu être enregistré."));
}

// An answer that trickles a byte now and then ends at the query's overall
// bound; only its channel fails.
TEST_F(HostileServiceTest, ATricklingAnswerFailsItsChannelAlone)
{
    Tamper([](const Query& q, httplib::Response& res) {
        if (q.Get("function") != "GetUpToDateCatalog" || q.Get("CID") != "C2") return;
        res.body.clear();
        res.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
            if (offset >= 200) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return sink.write("x", 1);
        });
    });
    ::setenv("NORVELIA_QUERY_SECONDS", "2", 1);
    const RunResult run = Sync("--no-backup");
    ::unsetenv("NORVELIA_QUERY_SECONDS");
    EXPECT_EQ(run.code, 4) << run.output;
    EXPECT_THAT(HotSyncLog(), HasSubstr("la requête a duré plus de 2 secondes"));
    EXPECT_EQ(LastEntry(HotSyncLog()), "31 problems\t" + KESA_FormatMessage(4141, KESA_FormatMessage(4160, "C2")));
    EXPECT_TRUE(CHandheldStore(Handheld()).Find("C1cat")) << HotSyncLog();
    EXPECT_FALSE(CHandheldStore(Handheld()).Find("C2cat"));
    ExpectSafe();
}

// A declaration that fails leaves the conduit's log as it is, and hotsync
// reports the run as failed.
TEST_F(HostileServiceTest, AFailedDeclarationFailsTheRun)
{
    PutShopper();
    struct Case {
        int status;
        std::string body;
        const char* reason;
    };
    const Case cases[] = {
        {500, "", "Erreur de communication avec le serveur Norvelia"},
        {200, BuildAnswer({Text("Message", "Identifiant ou mot de passe refuse.")}),
         "Identifiant ou mot de passe refuse."},
        {200, "\x01\x02 unreadable", "incomplète ou illisible"},
        {401, "", "Identification refusée"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        Tamper([&](const Query& q, httplib::Response& res) {
            if (q.Get("function") != "DeclareChannels") return;
            res.status = c.status;
            res.set_content(c.body, "application/octet-stream");
        });
        const RunResult run = Sync("--no-backup");
        EXPECT_EQ(run.code, 1) << run.output;
        EXPECT_THAT(run.output, HasSubstr(KESA_FormatMessage(4143, "")));
        EXPECT_THAT(LastEntry(HotSyncLog()), HasSubstr(c.reason));
        EXPECT_THAT(LastEntry(HotSyncLog()), ::testing::StartsWith("32 not-synchronized\t"));
        EXPECT_THAT(HotSyncLog(), HasSubstr("Toutes les chaînes ont été synchronisées."));
        ExpectSafe();
    }
}

// A declaration of hundreds of channels takes a bounded number of new ones
// and names those left out.
TEST_F(HostileServiceTest, TooManyChannelsAreLeftForLaterRuns)
{
    Tamper([](const Query& q, httplib::Response& res) {
        if (q.Get("function") != "DeclareChannels") return;
        std::string cdl;
        for (int i = 0; i < 300; ++i) cdl += "X" + std::to_string(1000 + i) + ";";
        SetArg(res, Text("CDL", cdl));
    });
    ::setenv("NORVELIA_MAX_NEW_CHANNELS", "3", 1);
    const RunResult run = Sync("--no-backup");
    ::unsetenv("NORVELIA_MAX_NEW_CHANNELS");
    EXPECT_EQ(run.code, 4) << run.output;
    // Without a terminal, each status is one line, never the same one twice running.
    const std::vector<std::string> lines = Lines(run.output);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_NE(lines[i], lines[i - 1]) << run.output;
    EXPECT_THAT(HotSyncLog(), HasSubstr(KESA_FormatMessage(4119, 3, "X1003, X1004, X1005, X1006, X1007" +
                                                                          KESA_FormatMessage(4108, 292))));
    ExpectSafe();
}

} // namespace
