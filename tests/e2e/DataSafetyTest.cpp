// What a person relies on when a run is stopped, retried or undone, through
// the real hotsync, conduit and reference service: a stop during the
// connection check, a form the service accepted before a stop, a journal
// write cut off, backups kept through retries with the service down.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/ChildProcess.h"
#include "common/LoopbackServer.h"
#include "conduit/KesaDatabases.h"
#include "conduit/SyncFixture.h"
#include "lexmo/Lexmo.h"
#include "palmkit/HandheldStore.h"
#include "quillio/PdbFile.h"

namespace fs = std::filesystem;
using namespace kesa_db;
using ::testing::HasSubstr;

namespace {

class DataSafetyTest : public SyncFixture {
protected:
    void Put(const Db& db) { ASSERT_TRUE(CHandheldStore(Handheld()).Save(*db.file)); }
    bool OnHandheld(const std::string& name) const { return CHandheldStore(Handheld()).Find(name).has_value(); }

    // hotsync sync in the background, its output in the test's folder.
    std::unique_ptr<ChildProcess> StartSync(const std::string& extra = "--no-backup")
    {
        auto child = std::make_unique<ChildProcess>(
            std::vector<std::string>{NORV_BINARY_DIR "/bin/hotsync", "sync", "--user", "Anne", "--handheld",
                                     Handheld(), extra},
            m_Root / "sync.out");
        EXPECT_TRUE(child->Started());
        return child;
    }
    std::string Sql(const std::string& query)
    {
        return RunCommand("sqlite3 " + (m_Root / "state.db") + " \"" + query + "\"").output;
    }
    // Waits (bounded) until `query` gives `want`.
    bool WaitForSql(const std::string& query, const std::string& want)
    {
        for (int i = 0; i < 1500; ++i) {
            if (Sql(query) == want) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    std::vector<std::string> Generations() const
    {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto& set : fs::directory_iterator(UserDir() + "Backup", ec))
            for (const auto& g : fs::directory_iterator(set.path(), ec))
                if (g.is_directory() && g.path().filename().string()[0] != '.') out.push_back(g.path().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

// SIGTERM while the service holds the connection check, silent after the
// request or trickling a byte a second: the run ends at once, as it does
// during any other query, not at the check's own bound of two minutes.
TEST_F(DataSafetyTest, SigtermEndsTheConnectionCheckAtOnceWhateverTheServer)
{
    ::unsetenv("NORVELIA_STALL_SECONDS");
    for (const bool trickle : {false, true}) {
        SCOPED_TRACE(trickle ? "trickling" : "silent");
        std::atomic<bool> asked{false}, done{false};
        LoopbackServer server;
        server.Routes().Get(".*", [&](const httplib::Request&, httplib::Response& res) {
            asked = true;
            if (trickle) {
                res.set_chunked_content_provider("application/octet-stream", [&](size_t offset, httplib::DataSink& sink) {
                    if (offset >= 120 || done) return false;
                    std::this_thread::sleep_for(std::chrono::seconds(1));
                    return sink.write("x", 1);
                });
                return;
            }
            for (int i = 0; i < 3000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            res.set_content("", "application/octet-stream");
        });
        server.Start();
        SetServerUrl(server.Url("/Tidepost/xxx/yyy"));
        auto run = StartSync();
        for (int i = 0; i < 1500 && !asked; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(asked) << ReadAll(m_Root / "sync.out");
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        run->Signal(SIGTERM);
        const int code = run->Wait(std::chrono::seconds(20));
        done = true;
        EXPECT_EQ(code, 143) << ReadAll(m_Root / "sync.out");
        ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
        EXPECT_THAT(ReadAll(m_Root / "sync.out"), HasSubstr(KESA_FormatMessage(4144, KESA_FormatMessage(4151))));
        EXPECT_THAT(HotSyncLog(), HasSubstr("Opération abandonnée : le programme s'arrête"));
    }
}

// A form (type EMLS) the service accepted leaves the handheld, as in a run
// that ends normally, also when SIGTERM stops the run before its end; it is
// never sent again.
TEST_F(DataSafetyTest, AFormTheServiceAcceptedLeavesTheHandheldAfterAStop)
{
    StartService({"--stall", "C7:3000"});
    Put(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")).Add(1, Item("POM-01", "Pommes", "2.10")));
    Put(Db("Formulaire", "EMLS", AppInfoOf(2, "C7cat", "Formulaire"))
            .Add(5, Order(kDay1))
            .Add(8, Ref("POM-01", "Pommes", "1", "2.10", true)));
    auto run = StartSync();
    // Accepted, then held on the channel's catalog: stopped there.
    ASSERT_TRUE(WaitForSql("SELECT count(*) FROM orders WHERE list_name = 'Formulaire'", "1\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    run->Signal(SIGTERM);
    ASSERT_EQ(run->Wait(std::chrono::seconds(30)), 143) << ReadAll(m_Root / "sync.out");
    EXPECT_FALSE(OnHandheld("Formulaire")) << HotSyncLog();
    EXPECT_TRUE(OnHandheld("C7cat"));
    EXPECT_THAT(HotSyncLog(), HasSubstr("Formulaire"));

    m_Service.reset();
    StartService();
    const RunResult next = Sync("--no-backup");
    EXPECT_EQ(next.code, 0) << next.output << HotSyncLog();
    EXPECT_FALSE(OnHandheld("Formulaire"));
    EXPECT_EQ(Sql("SELECT count(*) FROM orders WHERE list_name = 'Formulaire'"), "1\n");
}

// A journal write cut off (a SIGKILL between its temporary file and the
// rename) leaves its temporary file; the next run takes it away.
TEST_F(DataSafetyTest, WhatACutOffJournalWriteLeftIsGoneAfterTheNextRun)
{
    StartService();
    Put(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")).Add(1, Item("POM-01", "Pommes", "2.10")));
    Put(Db("Courses", "LIST", AppInfoOf(2, "C7cat", "Courses")).Add(5, Order(kDay1)));
    const std::string left = UserDir() + ".Orders.journal.tmp.AbC123";
    std::ofstream(left) << "# Orders the service accepted; half written";
    const std::string other = UserDir() + ".notes.tmp.AbC123"; // not the journal's: stays
    std::ofstream(other) << "x";
    const RunResult run = Sync("--no-backup");
    EXPECT_EQ(run.code, 0) << run.output << HotSyncLog();
    EXPECT_FALSE(fs::exists(left));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_FALSE(fs::exists(UserDir() + "Orders.journal"));
}

// With the service out of reach for a while after an order, every retry
// fails before the exchange. The backup from before the order stays, and
// retries of an unchanged handheld add none; also while the person changes
// the handheld between retries, the newer backups make room, never it.
TEST_F(DataSafetyTest, RetriesWithTheServiceDownKeepTheBackupFromBeforeTheOrder)
{
    StartService();
    Put(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")).Add(1, Item("POM-01", "Pommes", "2.10")));
    Put(Db("Courses", "LIST", AppInfoOf(2, "C7cat", "Courses"))
            .Add(5, Order(kDay1))
            .Add(8, Ref("POM-01", "Pommes", "3", "2.10", true)));
    ASSERT_EQ(Sync().code, 0) << HotSyncLog();
    ASSERT_EQ(Generations().size(), 1u);
    const std::string beforeOrder = Generations().front();
    m_Service.reset(); // out of reach from now on

    for (int retry = 0; retry < 4; ++retry) {
        const RunResult r = Sync();
        EXPECT_EQ(r.code, 1) << r.output;
    }
    // The one the order run left, and none for the unchanged retries.
    EXPECT_EQ(Generations().size(), 2u);
    const std::string log = HotSyncLog();
    int unchanged = 0;
    for (std::size_t at = log.find("pas de nouvelle sauvegarde."); at != std::string::npos;
         at = log.find("pas de nouvelle sauvegarde.", at + 1))
        ++unchanged;
    EXPECT_EQ(unchanged, 3) << log;

    for (int retry = 0; retry < 4; ++retry) {
        Put(Db("Note" + std::to_string(retry), "DATA")); // the person's own change
        const RunResult r = Sync();
        EXPECT_EQ(r.code, 1) << r.output;
    }
    const std::vector<std::string> kept = Generations();
    EXPECT_EQ(kept.size(), 3u);
    ASSERT_TRUE(std::find(kept.begin(), kept.end(), beforeOrder) != kept.end());
    CPdbFile list;
    ASSERT_TRUE(list.ReadPdbFile((beforeOrder + "/Courses.pdb").c_str()));
    EXPECT_NE(OrderIn(list).GetCreateDateDWord(), 0u) << "the order waits in the backup from before it was placed";
}

} // namespace
