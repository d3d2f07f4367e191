// Whole synchronizations with the real programs: hotsync loading the conduit,
// a handheld directory, the settings store and norvelia-service on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
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
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

class EndToEndTest : public SyncFixture {
protected:
    void SetUp() override
    {
        SyncFixture::SetUp();
        Set(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "NorvVers", "2.3.0");
        ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
    }

    void Put(const Db& db) { ASSERT_TRUE(CHandheldStore(Handheld()).Save(*db.file)); }
    std::optional<CPdbFile*> Load(const std::string& name)
    {
        m_Loaded = std::make_unique<CPdbFile>();
        if (!CHandheldStore(Handheld()).Load(name, *m_Loaded)) return std::nullopt;
        return m_Loaded.get();
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& e : CHandheldStore(Handheld()).List()) names.push_back(e.name);
        return names;
    }
    // Rows of the service's state, columns joined by "|".
    std::vector<std::string> Sql(const std::string& query) const
    {
        return Lines(RunCommand("sqlite3 -separator '|' " + (m_Root / "state.db") + " \"" + query + "\"").output);
    }
    // "activity<TAB>text" of the HotSync log entries written from `from` on.
    std::vector<std::string> LogEntries(std::size_t from = 0) const
    {
        std::vector<std::string> out;
        for (const std::string& line : Lines(HotSyncLog().substr(from))) {
            // "time<TAB>activity name<TAB>text": the name goes.
            std::string entry = line.substr(line.find('\t') + 1);
            const std::size_t space = entry.find(' '), tab = entry.find('\t');
            if (space < tab) entry.erase(space, tab - space);
            out.push_back(entry);
        }
        return out;
    }
    static std::string Entry(int activity, const std::string& text) { return std::to_string(activity) + "\t" + text; }

    // A handheld with an outdated catalog and a list whose order waits to be
    // sent, a game and its score, and a user context without user id.
    void PutUsualHandheld()
    {
        Put(Db("C7cat", "CATA", AppInfoOf(2, "C7cat"))
                .Add(1, Item("POM-01", "Pommes", "2.10"))
                .Add(1, Item("FRA-09", "Fraises", "4.80")));
        Put(Db("Courses", "LIST", AppInfoOf(2, "C7cat", "Courses"))
                .Add(5, Order(kDay1))
                .Add(8, Ref("POM-01", "Pommes", "3", "2.10", true))
                .Add(8, Ref("POI-02", "Poires", "1", "2.90", false))
                .Add(8, Ref("FRA-09", "Fraises", "2", "4.80", true)));
        Put(Db("G1cat", "CATA", AppInfoOf(3, "G1cat")));
        Put(Db("Mon quiz", "LIST", AppInfoOf(3, "G1cat")).Add(8, Ref("QUIZ-2001", "Quiz", "7", "0", false)));
        Put(Db("USERCTX", "USER")
                .Add(6, Address("7", "ancien"))
                .Add(6, Address("0", "maison"))
                .Add(6, Address("0", "vacances")));
    }

    std::unique_ptr<CPdbFile> m_Loaded;
};

std::string Signed(DWORD value)
{
    return std::to_string(std::int32_t(value));
}

// The entries of failed runs and skipped steps.
std::vector<std::string> Problems(const std::vector<std::string>& entries)
{
    std::vector<std::string> out;
    for (const std::string& e : entries)
        if (e.rfind("21\t", 0) == 0 || e.rfind("22\t", 0) == 0) out.push_back(e);
    return out;
}

std::vector<std::string> ItemNames(const CPdbFile& f)
{
    std::vector<std::string> names;
    for (const auto& r : f.m_RecordSet)
        if ((r->m_Attrib & 0x0F) == 1) names.push_back(CItemRecord(r.get()).GetNameStr());
    return names;
}

} // namespace

TEST_F(EndToEndTest, AFullRunAndTheOneAfterIt)
{
    StartService();
    PutUsualHandheld();
    const DWORD oldGameStamp = CHandheldStore(Handheld()).Find("G1cat")->modDate;

    RunResult run = Sync("--quiet");
    ASSERT_EQ(run.code, 0) << run.output << HotSyncLog();

    // The active order reached the service with its needed lines only.
    EXPECT_THAT(Sql("SELECT list_name, channel, list_type, created, member_id FROM orders"),
                ElementsAre("Courses|C7|LIST|2001-05-03T10:20:30|"));
    EXPECT_THAT(Sql("SELECT reference, name, quantity, price, need FROM order_lines ORDER BY position"),
                ElementsAre("POM-01|Pommes|3|2.10|1", "FRA-09|Fraises|2|4.80|1"));
    // The order has its process date and is no longer active; the lines follow the new catalog.
    const COrderInfo order = OrderIn(**Load("Courses"));
    EXPECT_EQ(order.GetCreateDateDWord(), 0u);
    EXPECT_NE(order.GetProcessDateDWord(), 0u);
    EXPECT_EQ(order.GetMemberIdStr(), "anne");
    EXPECT_THAT(RefsIn(**Load("Courses")), ElementsAre("POM-01 Pommes Reinette 2.40", "POI-02 Poires Williams 3.10"));
    EXPECT_THAT(ItemNames(**Load("C7cat")), ElementsAre("Pommes Reinette", "Poires Williams", "Carottes"));
    // Channels new to the handheld, the game's default list and the application arrived.
    EXPECT_THAT(Names(), ElementsAre("C1cat", "C2cat", "C7cat", "Courses", "G1cat", "Norvelia", "Quiz score",
                                     "USERCTX"));
    EXPECT_EQ(Get(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "NorvVers"), "2.3.1");
    // The user context: the server's addresses replace stored ones and those of the same alias.
    EXPECT_THAT(AddressesIn(**Load("USERCTX")), ElementsAre("0:vacances", "1:maison", "2:bureau", "user anne"));
    EXPECT_THAT(Get(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "PWD"), HasSubstr("not found"));
    // The score went with the old game's stamp; the game started with the new one's.
    EXPECT_THAT(Sql("SELECT channel, game, points, stamp FROM game_scores"),
                ElementsAre("G1|QUIZ-2001|7|" + Signed(oldGameStamp)));
    EXPECT_THAT(Sql("SELECT game, stamp FROM game_starts"),
                ElementsAre("QUIZ-2001|" + Signed(CHandheldStore(Handheld()).Find("G1cat")->modDate)));
    EXPECT_THAT(Problems(LogEntries()), IsEmpty());
    EXPECT_THAT(LogEntries(), Contains(Entry(20, "Norvelia")));

    // Right after: nothing is sent again, and what the first run left stays
    // (the user context merged again, in another order).
    auto contents = [&](const char* name) {
        std::vector<std::vector<BYTE>> records;
        for (const auto& r : (*Load(name))->m_RecordSet) records.push_back(r->m_Data);
        std::sort(records.begin(), records.end());
        return records;
    };
    std::map<std::string, std::vector<std::vector<BYTE>>> records;
    for (const char* name : {"Courses", "USERCTX", "C7cat"}) records[name] = contents(name);
    const std::size_t logSize = HotSyncLog().size();
    run = Sync("--quiet");
    ASSERT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(Sql("SELECT count(*) FROM orders"), std::vector<std::string>{"1"});
    EXPECT_EQ(Names().size(), 8u);
    for (const char* name : {"Courses", "USERCTX", "C7cat"}) EXPECT_TRUE(contents(name) == records[name]) << name;
    EXPECT_THAT(Problems(LogEntries(logSize)), IsEmpty());
    EXPECT_THAT(LogEntries(logSize), Contains(Entry(20, "Norvelia")));
}

// Everything from handheld init and user add on runs with the usual umask,
// which would let every account read what is created.
class PrivateFilesTest : public EndToEndTest {
protected:
    void SetUp() override
    {
        m_Umask = ::umask(022);
        EndToEndTest::SetUp();
    }
    void TearDown() override
    {
        EndToEndTest::TearDown();
        ::umask(m_Umask);
    }
    mode_t m_Umask = 0;
};

TEST_F(PrivateFilesTest, NothingOfTheUserIsOpenToOtherAccounts)
{
    Set(kProduct, "Trace", "on"); // the answers are kept too
    StartService();
    PutUsualHandheld();
    const RunResult run = Sync("--quiet");
    ASSERT_EQ(run.code, 0) << run.output << HotSyncLog();
    EXPECT_EQ(run.output, "");

    // What holds the user's data is there, so that the walk below sees it.
    for (const std::string& path : {Home() + "/users.dat", Home() + "/NorvTrace.log", Home() + "/norvtrace0.bin",
                                    UserDir() + "HotSync.log", UserDir() + "Dst/USERCTX.pdb", UserDir() + "Install",
                                    UserDir() + "Backup", Handheld() + "/USERCTX.pdb", Handheld() + "/handheld.json"})
        EXPECT_TRUE(fs::exists(path)) << path;
    bool backedUp = false;
    for (const auto& e : fs::recursive_directory_iterator(UserDir() + "Backup"))
        backedUp = backedUp || e.path().filename() == "USERCTX.pdb";
    EXPECT_TRUE(backedUp) << "no backup of the user context";
    std::vector<std::string> open;
    for (const std::string& root : {Home(), Handheld()}) {
        const auto check = [&](const fs::path& p) {
            const fs::perms mode = fs::symlink_status(p).permissions();
            if ((mode & (fs::perms::group_all | fs::perms::others_all)) != fs::perms::none) open.push_back(p.string());
        };
        check(root);
        for (const auto& e : fs::recursive_directory_iterator(root)) check(e.path());
    }
    EXPECT_THAT(open, IsEmpty());
}

TEST_F(EndToEndTest, ListsInstalledByOneRunSurviveTheNext)
{
    StartService();
    for (int run = 0; run < 2; ++run) {
        const RunResult r = Sync("--quiet");
        ASSERT_EQ(r.code, 0) << r.output;
        EXPECT_THAT(Names(), ElementsAre("C1cat", "C2cat", "C7cat", "G1cat", "Mes courses", "Norvelia", "Quiz score",
                                         "USERCTX"))
            << "run " << run;
    }
    EXPECT_THAT(Problems(LogEntries()), IsEmpty());
    EXPECT_EQ(Sql("SELECT count(*) FROM orders"), std::vector<std::string>{"0"});
}

TEST_F(EndToEndTest, FormsBrokenListsIdleOrdersAndCatalogsThatCannotBeInstalled)
{
    // The samples, and a channel whose catalog has no AppInfo block.
    const std::string content = m_Root / "content";
    fs::copy(NORV_SOURCE_DIR "/service/samples", content, fs::copy_options::recursive);
    fs::create_directories(content + "/catalogs/C9");
    const std::string c9 = content + "/catalogs/C9/catalog.pdb";
    ASSERT_TRUE(Db("C9cat", "CATA").Add(1, Item("X", "x", "1")).file->WritePdbFile(c9.c_str()));
    std::ofstream(content + "/users/anne/channels", std::ios::app) << "C9\n";
    m_Service = std::make_unique<ServiceProcess>(std::vector<std::string>{}, m_Root / "state.db", content);
    ASSERT_TRUE(m_Service->Running()) << m_Service->Stderr();
    SetServerUrl(m_Service->Url() + "/xxx/yyy");

    Put(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")));
    Put(Db("Form", "EMLS", AppInfoOf(2, "C7cat")).Add(5, Order(kDay1)).Add(8, Ref("POM-01", "P", "1", "1", true)));
    Put(Db("Idle", "LIST", AppInfoOf(2, "C7cat")).Add(5, Order("")).Add(8, Ref("POM-01", "P", "1", "1", true)));
    Put(Db("Broken", "LIST").Add(5, Order(kDay1)));
    Put(Db("C1cat", "CATA").Add(1, Item("OLD", "old", "1")));

    const RunResult run = Sync("--quiet");
    ASSERT_EQ(run.code, 4) << run.output;

    // The accepted form left; the idle order stayed home; the broken list is gone.
    EXPECT_THAT(Sql("SELECT list_name, list_type FROM orders"), ElementsAre("Form|EMLS"));
    EXPECT_FALSE(Load("Form"));
    EXPECT_FALSE(Load("Broken"));
    EXPECT_EQ(OrderIn(**Load("Idle")).GetCreateDateDWord(), 0u);
    // The old C1cat, unreadable, was not replaced; C9cat was created, then removed.
    EXPECT_THAT(ItemNames(**Load("C1cat")), ElementsAre("old"));
    EXPECT_FALSE(Load("C9cat"));
    const std::string dst = UserDir() + "Dst/";
    // C9's catalog without AppInfo is the service's fault, not a write error of the handheld.
    EXPECT_THAT(Problems(LogEntries()), ElementsAre(Entry(22, KESA_FormatMessage(2035)),
                                                    Entry(22, KESA_FormatMessage(2032, dst + "C1cat.pdb", "C1")),
                                                    Entry(22, KESA_FormatMessage(4100, "C9"))));
    for (const std::string& entry : {Entry(8, KESA_FormatMessage(2022, "Broken", "AppInfo")),
                                     Entry(-1, KESA_FormatMessage(4120, "Broken", KESA_FormatMessage(4128))),
                                     Entry(8, KESA_FormatMessage(2054, "C1cat", "AppInfo"))})
        EXPECT_THAT(LogEntries(), Contains(entry));
    EXPECT_THAT(LogEntries(), Not(Contains(Entry(9, KESA_FormatMessage(2036)))));
    // The verdict names each failure; the form's order was placed.
    const std::string form = Entry(40, KESA_FormatMessage(4170, "Form", "C7", ""));
    EXPECT_EQ(LogEntries().back(),
              Entry(31, KESA_FormatMessage(4142, 4,
                                           KESA_FormatMessage(4161, "Broken") + ", " + KESA_FormatMessage(4160, "C1") +
                                               ", " + KESA_FormatMessage(4163, "C1") + ", " +
                                               KESA_FormatMessage(4163, "C9"))));
    EXPECT_THAT(LogEntries(), Contains(::testing::StartsWith(form.substr(0, form.find(':'))))); 
}

TEST_F(EndToEndTest, AListAnsweredWithAMessageKeepsTheErrorInItsOrder)
{
    StartService();
    // A service that refuses every order, answering only "Message".
    const auto isOrder = [](const Query& q) { return q.Get("function") == "ProcessList"; };
    TamperingProxy proxy(
        m_Service->Port(),
        [&](const Query& q, httplib::Response& res) {
            if (isOrder(q)) res.set_content(BuildAnswer({Text("Message", "Commande refusée")}), "application/octet-stream");
        },
        isOrder);
    SetServerUrl(proxy.Url());
    Put(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")));
    Put(Db("Form", "EMLS", AppInfoOf(2, "C7cat")).Add(5, Order(kDay1)));
    Put(Db("Courses", "LIST", AppInfoOf(2, "C7cat")).Add(5, Order(kDay1)));

    const RunResult run = Sync("--quiet");
    ASSERT_EQ(run.code, 4) << run.output;

    // The form in error is kept like a list, with its dates; the list loses both.
    const std::string formError = KESA_FormatMessage(2013, "Form.pdb", "C7", "Commande refusée");
    const std::string listError = KESA_FormatMessage(2013, "Courses.pdb", "C7", "Commande refusée");
    EXPECT_EQ(OrderErrorIn(**Load("Form")), formError);
    EXPECT_EQ(OrderIn(**Load("Form")).GetCreateDateStr(), kDay1);
    EXPECT_EQ(OrderErrorIn(**Load("Courses")), listError);
    EXPECT_EQ(OrderIn(**Load("Courses")).GetCreateDateDWord(), 0u);
    EXPECT_EQ(OrderIn(**Load("Courses")).GetProcessDateDWord(), 0u);
    EXPECT_THAT(Problems(LogEntries()), ElementsAre(Entry(22, listError), Entry(22, formError)));
    EXPECT_EQ(Sql("SELECT count(*) FROM orders"), std::vector<std::string>{"0"});
    // Each refusal is told with the service's own words, and the verdict names both lists.
    const auto entries = LogEntries();
    EXPECT_THAT(entries, Contains(Entry(43, KESA_FormatMessage(4173, "Courses", "C7", "Commande refusée"))));
    EXPECT_THAT(entries, Contains(Entry(43, KESA_FormatMessage(4173, "Form", "C7", "Commande refusée"))));
    EXPECT_EQ(entries.back(), Entry(31, KESA_FormatMessage(4142, 2, KESA_FormatMessage(4161, "Courses") + ", " +
                                                                         KESA_FormatMessage(4161, "Form"))));
}

namespace {

// What each database of a handheld holds; the order dates, which differ from
// run to run, are left out. Every database must be readable.
std::map<std::string, std::string> Contents(const std::string& dir)
{
    std::map<std::string, std::string> out;
    const CHandheldStore store(dir);
    for (const auto& entry : store.List()) {
        EXPECT_FALSE(entry.damaged) << entry.name;
        CPdbFile f;
        EXPECT_TRUE(store.Load(entry.name, f)) << entry.name;
        std::string text = std::to_string(f.m_Type) + std::string(f.m_AppInfo.begin(), f.m_AppInfo.end());
        for (const auto& r : f.m_RecordSet) {
            std::string data(r->m_Data.begin(), r->m_Data.end());
            if ((r->m_Attrib & 0x0F) == 5) data.replace(0, std::min<size_t>(12, data.size()), 12, '\0');
            text += "|" + std::to_string(r->m_Attrib & 0x0F) + ":" + data;
        }
        out[entry.name] = text;
    }
    return out;
}

pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace

TEST_F(EndToEndTest, ARunKilledAtAnyMomentLeavesEveryDatabaseWholeAndTheNextRunSucceeds)
{
    StartService();
    PutUsualHandheld();
    const std::string pristine = m_Root / "pristine";
    fs::copy(Handheld(), pristine, fs::copy_options::recursive);
    const auto before = Contents(Handheld());
    auto restore = [&] {
        fs::remove_all(Handheld());
        fs::copy(pristine, Handheld(), fs::copy_options::recursive);
        // As before the first run: the journal would otherwise complete the
        // pristine order from the record of the runs before.
        fs::remove(UserDir() + "Orders.journal");
        Set(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "NorvVers", "2.3.0");
    };

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Sync("--quiet").code, 0);
    const auto runTime =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const auto after = Contents(Handheld());

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> moment(0, runTime.count());
    for (int round = 0; round < 20; ++round) {
        restore();
        const long killAfter = moment(random);
        const pid_t pid = Spawn({NORV_BINARY_DIR "/bin/hotsync", "sync", "--user", "Anne", "--handheld", Handheld(),
                                 "--quiet"});
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(killAfter));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);

        const auto now = Contents(Handheld());
        std::set<std::string> names;
        for (const auto* m : {&before, &after, &now})
            for (const auto& [name, text] : *m) names.insert(name);
        for (const std::string& name : names) {
            const auto find = [&](const auto& m) { return m.count(name) ? m.at(name) : std::string("<absent>"); };
            const std::string b = find(before), a = find(after), n = find(now);
            // A database replaced is deleted before the new one is written.
            const bool ok = n == b || n == a || (n == "<absent>" && a != b);
            EXPECT_TRUE(ok) << "round " << round << ", killed after " << killAfter << " ms: " << name;
        }

        const std::size_t logSize = HotSyncLog().size();
        const RunResult next = Sync("--quiet");
        EXPECT_EQ(next.code, 0) << "round " << round << ": " << next.output;
        EXPECT_THAT(LogEntries(logSize), Contains(Entry(20, "Norvelia"))) << "round " << round;
        EXPECT_THAT(LogEntries(logSize), Not(Contains(::testing::StartsWith("21\t")))) << "round " << round;
    }
}

// A backup from before an order, put back onto the handheld, brings the order
// back active: the restore says it was placed, and the next run records it
// from the journal without carrying it to the service again.
TEST_F(EndToEndTest, ARestoredOrderIsNeverSentAgain)
{
    StartService();
    PutUsualHandheld();
    ASSERT_EQ(Sync("--quiet").code, 0);
    ASSERT_EQ(Sync("--quiet").code, 0);
    // Every request that carried the order, whatever the service made of it.
    const auto carried = [&] { return Sql("SELECT count(*) FROM requests WHERE function = 'ProcessList'"); };
    ASSERT_EQ(carried(), std::vector<std::string>{"1"});
    const std::string date = Sql("SELECT process_date FROM orders").at(0);
    const std::string shown = date.substr(0, 10) + " " + date.substr(11, 5);
    // In the run's language, as the conduit speaks.
    const std::string told =
        KESA_FormatMessage(4950) + "\n  " + KESA_FormatMessage(4951, "Courses", "C7", shown) + "\n";

    const std::string restore = "restore --user Anne --handheld " + Handheld() + " --generation 2";
    RunResult r = Tool("hotsync", restore + " --list");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_THAT(r.output, HasSubstr("  Courses  ")) << "the generation from before the first run";
    EXPECT_THAT(r.output, HasSubstr(told)) << r.output;
    r = Tool("hotsync", restore + " --yes");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_THAT(r.output, HasSubstr(told)) << r.output;
    ASSERT_NE(OrderIn(**Load("Courses")).GetCreateDateDWord(), 0u) << "the restored order is active again";

    const std::size_t logSize = HotSyncLog().size();
    r = Sync();
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(carried(), std::vector<std::string>{"1"}) << "the restored order went to the service again";
    const COrderInfo order = OrderIn(**Load("Courses"));
    EXPECT_EQ(order.GetCreateDateDWord(), 0u);
    EXPECT_EQ(order.GetProcessDateStr().substr(0, 16), date.substr(0, 16));
    EXPECT_THAT(LogEntries(logSize), Contains(Entry(-1, KESA_FormatMessage(4133, "Courses", "C7", date))));
    EXPECT_THAT(LogEntries(logSize), Contains(Entry(41, KESA_FormatMessage(4171, "Courses", "C7", shown))));
}
