// The worker and the HotSync thread sharing the channel status table, against
// the reference service: a run through, a cancel in the middle, and a worker
// that stops or ends before the channels do.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "conduit/ChannelTable.h"
#include "conduit/NorvCondMgr.h"
#include "conduit/NorvTrace.h"
#include "conduit/RecordingUiHost.h"
#include "conduit/SyncFixture.h"
#include "lexmo/Lexmo.h"
#include "palmkit/HsLog.h"
#include "quillio/KesaError.h"

namespace {

class WorkerThreadsTest : public SyncFixture {
protected:
    void SetUp() override
    {
        SyncFixture::SetUp();
        ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
        platform::SetUiHost(&m_Host);
        ASSERT_TRUE(CNorvTrace::Instance().Open(m_Root / "NorvTrace.log"));
        SetProcessCancel(false);
    }
    void TearDown() override
    {
        CNorvTrace::Instance().Close();
        platform::SetUiHost(nullptr);
        FreeChannelTable();
        SyncFixture::TearDown();
    }

    // A manager with its server session open and the worker started.
    std::unique_ptr<CNorvCondMgr> Started(std::vector<std::string> serviceArgs = {}, int channels = 4)
    {
        palmkit::LogClear();
        StartService(std::move(serviceArgs));
        auto manager = std::make_unique<CNorvCondMgr>();
        manager->m_Ferrylink.Initialize(nullptr, m_Root / "", m_Root / "");
        manager->m_Ferrylink.SetUID("anne");
        manager->m_Ferrylink.SetPWD("pwd");
        manager->m_Monitor.Create("start");
        EXPECT_TRUE(manager->m_Ferrylink.SRVQRY_OpenSession(m_Service->Url() + "/srv"));
        manager->ProcessAllChannels();
        EXPECT_EQ(ChannelTableSize(), channels);
        return manager;
    }

    static std::vector<int> States()
    {
        std::vector<int> s;
        for (int i = 0; i < ChannelTableSize(); ++i) s.push_back(ChannelStateAt(i));
        return s;
    }

    // "activity<TAB>text" of each HotSync log entry.
    static std::vector<std::string> Log()
    {
        std::vector<std::string> lines;
        for (const auto& e : palmkit::LogEntries()) lines.push_back(std::to_string(e.activity) + "\t" + e.text);
        return lines;
    }

    RecordingUiHost m_Host;
};

struct Failure {
    const char* name;
    std::function<void()> thrower;
    std::string logged;          // the HotSync log's text, activity 22
};

// The worker's query of C2 fails: the errors that carry their own text
// report it, any other CKesaError says which channel failed; the worker goes
// on after a CKesaError and ends after anything else.
TEST_F(WorkerThreadsTest, AFailedChannelIsSkippedAndReportedByItsKind)
{
    struct Case {
        Failure failure;
        std::vector<int> states;
    };
    const Case cases[] = {
        {{"2000", [] { throw CKesaError(2000, "own text 2000"); }, "own text 2000"}, {4, 3, 4, 4}},
        {{"2003", [] { throw CKesaError(2003, "own text 2003"); }, "own text 2003"}, {4, 3, 4, 4}},
        {{"2006", [] { throw CKesaError(2006, "own text 2006"); }, "own text 2006"}, {4, 3, 4, 4}},
        {{"2010", [] { throw CKesaError(2010, "refused"); }, KESA_FormatMessage(2019, "C2", "refused")},
         {4, 3, 4, 4}},
        {{"framework", [] { throw std::runtime_error("out of order"); }, KESA_FormatMessage(2018, "out of order")},
         {4, 3, 3, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failure.name);
        m_Host.view.throwOnStatus = KESA_FormatMessage(2047, "C2");
        m_Host.view.thrower = c.failure.thrower;
        CNorvTrace::Instance().Close();
        ASSERT_TRUE(CNorvTrace::Instance().Open(m_Root / "NorvTrace.log"));
        auto manager = Started();
        EXPECT_TRUE(manager->InstallProcessedChannels());
        manager->StopWorker();
        EXPECT_EQ(States(), c.states);
        // Installing without a handheld adds its own entries.
        const std::vector<std::string> log = Log();
        EXPECT_EQ(std::count(log.begin(), log.end(), "22\t" + c.failure.logged), 1);
        const bool c3Taken = ReadAll(m_Root / "NorvTrace.log").find("Processing channel C7") != std::string::npos;
        EXPECT_EQ(c3Taken, c.states[2] == ChannelHandled);
        FreeChannelTable();
        manager.reset();
        m_Service.reset();
    }
}

// Channel processing cannot start (the declaration failed): reported with
// the error's text, or 2021 for what is no exception class; no table, no worker.
TEST_F(WorkerThreadsTest, ProcessingThatCannotStartLeavesNothingToInstall)
{
    const Failure cases[] = {
        {"CKesaError", [] { throw CKesaError(2010, "declaration refused"); }, "declaration refused"},
        {"framework", [] { throw std::runtime_error("no memory"); }, "no memory"},
        {"other", [] { throw 42; }, KESA_FormatMessage(2021)},
    };
    for (const Failure& c : cases) {
        SCOPED_TRACE(c.name);
        m_Host.view.throwOnStatus = KESA_FormatMessage(2062);
        m_Host.view.thrower = c.thrower;
        auto manager = Started({}, 0);
        EXPECT_FALSE(manager->m_WorkerRunning.load());
        EXPECT_EQ(NextProcessedChannel(), -1);
        EXPECT_TRUE(manager->InstallProcessedChannels());
        EXPECT_EQ(Log(), std::vector<std::string>{"22\t" + c.logged});
        manager.reset();
        m_Service.reset();
    }
}

TEST_F(WorkerThreadsTest, EveryChannelProcessedThenHandled)
{
    auto manager = Started();
    EXPECT_TRUE(manager->InstallProcessedChannels());
    EXPECT_EQ(States(), (std::vector<int>{4, 4, 4, 4}));
    EXPECT_TRUE(AllChannelsHandled());
    // The worker may still be finding that no channel is left.
    manager->StopWorker();
    EXPECT_FALSE(manager->m_WorkerRunning.load());
    EXPECT_FALSE(IsProcessCancelled());
    EXPECT_EQ(m_Host.view.status2, KESA_FormatMessage(2063));
}

// The worker holds at C2 until the install loop cleared the cancel as it
// starts (the second clearing of the run): a press before that is forgotten.
TEST_F(WorkerThreadsTest, CancelWhileTheSecondChannelIsProcessed)
{
    m_Host.view.cancelOnStatus2 = KESA_FormatMessage(2047, "C2");
    m_Host.view.cancelAfterClears = 2;
    auto manager = Started();
    // The cancel ends the loop with the channels that were never started skipped.
    EXPECT_FALSE(manager->InstallProcessedChannels());
    EXPECT_EQ(States(), (std::vector<int>{4, 4, 3, 3}));
    EXPECT_FALSE(AllChannelsHandled());
    EXPECT_TRUE(IsProcessCancelled());
    manager->StopWorker();
    const std::string trace = ReadAll(m_Root / "NorvTrace.log");
    EXPECT_NE(trace.find("CNorvCondMonitor -> User ask to stop the synchronization\n"), std::string::npos);
    EXPECT_EQ(trace.find("Processing channel C7"), std::string::npos);
    EXPECT_EQ(m_Host.view.status2, KESA_FormatMessage(2063));
    // C2, finished after the cancel, is installed only after a "Yes" (C1 too
    // when the loop reaches it after the press).
    const std::string asked = KESA_FormatMessage(2052) + "|" + KESA_FormatMessage(2051, "C2");
    EXPECT_NE(std::find(m_Host.messages.begin(), m_Host.messages.end(), asked), m_Host.messages.end());
}

// The worker finishes the channel in progress before it sees the cancel, so
// the install loop may take that channel first: it must still ask, and "No"
// must leave it as it was.
TEST_F(WorkerThreadsTest, EveryChannelInstalledAfterTheCancelIsAskedFor)
{
    for (bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        m_Host.answerYes = yes;
        m_Host.messages.clear();
        m_Host.view.cancelled = false;
        m_Host.view.cancelOnStatus2 = KESA_FormatMessage(2047, "C2");
        m_Host.view.cancelAfterClears = 2;
        m_Host.view.clears = 0;
        m_Host.view.slowPos2Ms = 300;
        SetProcessCancel(false);
        CNorvTrace::Instance().Close();
        ASSERT_TRUE(CNorvTrace::Instance().Open(m_Root / "NorvTrace.log"));
        auto manager = Started({"--delay", "30"});
        EXPECT_FALSE(manager->InstallProcessedChannels());
        manager->StopWorker();
        const std::string trace = ReadAll(m_Root / "NorvTrace.log");
        const std::string asked = KESA_FormatMessage(2052) + "|" + KESA_FormatMessage(2051, "C2");
        const bool c2Asked = std::find(m_Host.messages.begin(), m_Host.messages.end(), asked) != m_Host.messages.end();
        const std::size_t at = trace.find("Installing new catalog : ");
        const bool c2Installed = at != std::string::npos && trace.find("C2cat.pdb\n", at) != std::string::npos;
        if (yes) {
            EXPECT_TRUE(c2Asked);
            EXPECT_TRUE(c2Installed) << trace;
        } else {
            // The first "No" ends the loop: one question, and C2 untouched.
            EXPECT_EQ(m_Host.messages.size(), 1u);
            EXPECT_FALSE(c2Installed);
        }
        FreeChannelTable();
    }
}

// A cancel the install loop has seen stays seen: every channel it installs
// afterwards is asked for, even once the view no longer reports the press.
TEST_F(WorkerThreadsTest, ACancelSeenIsAskedForEvenWhenTheViewForgetsThePress)
{
    auto manager = Started();
    // The worker processes every channel and ends before the cancel.
    for (int i = 0; i < 600 && manager->m_WorkerRunning.load(); ++i)
        WaitChannelChange(ChannelChangeStamp(), std::chrono::milliseconds(50));
    ASSERT_FALSE(manager->m_WorkerRunning.load());
    ASSERT_EQ(States(), (std::vector<int>{2, 2, 2, 2}));
    // The worker had set the process-wide flag; the user presses "Abandon"
    // as the install loop clears the cancel (the run's second clearing), and
    // the view forgets the press once the loop has read it.
    SetProcessCancel(true);
    m_Host.view.pressAtClear = 2;
    m_Host.view.forgetAfterReads = 1;
    m_Host.answerYes = false;
    EXPECT_FALSE(manager->InstallProcessedChannels());
    EXPECT_EQ(m_Host.messages,
              std::vector<std::string>{KESA_FormatMessage(2052) + "|" + KESA_FormatMessage(2051, "C1")});
    EXPECT_EQ(ReadAll(m_Root / "NorvTrace.log").find("Installing new catalog"), std::string::npos);
}

// The install loop waits for the worker's next change, not for its bound:
// with a bound of an hour, a run still goes at the worker's pace (a blind
// wait would hold the test until CTest's time-out).
TEST_F(WorkerThreadsTest, TheInstallLoopWakesAtEachChangeOfTheTable)
{
    auto manager = Started({"--delay", "50"});
    manager->m_IdleWait = std::chrono::hours(1);
    EXPECT_TRUE(manager->InstallProcessedChannels());
    EXPECT_EQ(States(), (std::vector<int>{4, 4, 4, 4}));
}

TEST_F(WorkerThreadsTest, WorkerStoppedEarlyLeavesNoChannelWaiting)
{
    auto manager = Started({"--delay", "50"});
    // Stops after the channel in progress, if any.
    manager->StopWorker();
    const std::vector<int> stopped = States();
    EXPECT_EQ(stopped.back(), ChannelWaiting);
    // The loop does not wait for channels that nobody will process.
    EXPECT_TRUE(manager->InstallProcessedChannels());
    for (int s : States()) EXPECT_TRUE(s == ChannelHandled || s == ChannelSkipped) << s;
    EXPECT_EQ(NextProcessedChannel(), -1);
}

TEST_F(WorkerThreadsTest, ManagerEndingJoinsItsWorker)
{
    auto manager = Started({"--delay", "50"});
    manager.reset();
    // The worker stopped between two channels: the last one was never taken.
    EXPECT_EQ(ChannelStateAt(3), ChannelWaiting);
}

} // namespace
