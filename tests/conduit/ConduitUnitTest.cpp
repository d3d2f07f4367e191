// The channel status table, the trace writer with its error reporter, and the
// progress monitor with its data-message window.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "client/Ferrylink.h"
#include "common/TestFiles.h"
#include "conduit/ChannelTable.h"
#include "conduit/NorvCondMgr.h"
#include "conduit/NorvCondMonitor.h"
#include "conduit/NorvTrace.h"
#include "conduit/RecordingUiHost.h"
#include "lexmo/Lexmo.h"
#include "palmkit/HsLog.h"

namespace {

using States = std::vector<unsigned char>;

void Load(const States& states)
{
    AllocChannelTable(int(states.size()));
    for (std::size_t i = 0; i < states.size(); ++i) MarkChannel(int(i), states[i]);
}

States Current()
{
    States s;
    for (int i = 0; i < ChannelTableSize(); ++i) s.push_back(ChannelStateAt(i));
    return s;
}

TEST(ChannelTable, NextProcessedChannel)
{
    struct Case {
        States before;
        int result;
        States after;
    };
    const Case cases[] = {
        {{}, -1, {}},
        {{2, 0}, 0, {4, 0}},
        {{4, 0}, -2, {4, 0}},
        {{1}, -2, {1}},
        {{3, 4, 3}, -1, {3, 4, 3}},
        {{3, 2, 2}, 1, {3, 4, 2}},
        {{0, 2}, 1, {0, 4}},
    };
    for (const Case& c : cases) {
        Load(c.before);
        EXPECT_EQ(NextProcessedChannel(), c.result) << ::testing::PrintToString(c.before);
        EXPECT_EQ(Current(), c.after);
    }
    FreeChannelTable();
}

TEST(ChannelTable, TakeCancelAndHandled)
{
    struct Case {
        States before;
        int taken;             // TakeNextChannel
        bool cancel;           // then CancelPendingChannels
        States after;
        bool allHandled;
    };
    const Case cases[] = {
        {{}, -1, false, {}, true},
        {{2, 0, 0}, 1, false, {2, 1, 0}, false},
        {{4, 4}, -1, false, {4, 4}, true},
        {{0, 1, 2, 3, 4}, 0, true, {3, 3, 2, 3, 4}, false},
        {{4, 3}, -1, false, {4, 3}, false},
    };
    for (const Case& c : cases) {
        Load(c.before);
        EXPECT_EQ(TakeNextChannel(), c.taken);
        if (c.cancel) CancelPendingChannels();
        EXPECT_EQ(Current(), c.after) << ::testing::PrintToString(c.before);
        EXPECT_EQ(AllChannelsHandled(), c.allHandled);
    }
    FreeChannelTable();
    EXPECT_EQ(ChannelTableSize(), 0);
    EXPECT_EQ(TakeNextChannel(), -1);
}

TEST(ChannelTable, ChangeMadeBeforeTheWaitEndsItAtOnce)
{
    AllocChannelTable(1);
    const unsigned stamp = ChannelChangeStamp();
    std::thread worker([] { MarkChannel(0, ChannelProcessed); });
    worker.join();
    const auto start = std::chrono::steady_clock::now();
    WaitChannelChange(stamp, std::chrono::seconds(30));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    SetProcessCancel(true);
    EXPECT_TRUE(IsProcessCancelled());
    SetProcessCancel(false);
    FreeChannelTable();
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override { palmkit::LogClear(); }
    void TearDown() override { CNorvTrace::Instance().Close(); }
    std::string Path() const { return m_Dir / CNorvTrace::kFileName; }
    TempDir m_Dir;
};

TEST_F(TraceTest, LinesOnlyWhileOpenAndEachRunStartsAfresh)
{
    CNorvTrace& trace = CNorvTrace::Instance();
    trace.WriteLine("before open");
    ASSERT_TRUE(trace.Open(Path()));
    NorvLog("*** Norvelia HotSync conduit  %s ***", "v.2.3.P.1");
    NorvLog("\nCNorvCondMgr::EngageStandard - FIRST STAGE\n");
    NorvLog("value %s stays %d", "100%s", 7);
    EXPECT_EQ(ReadAll(Path()),
              "*** Norvelia HotSync conduit  v.2.3.P.1 ***\n\nCNorvCondMgr::EngageStandard - FIRST STAGE\n\n"
              "value 100%s stays 7\n");
    trace.Close();
    trace.WriteLine("after close");
    ASSERT_TRUE(trace.Open(Path()));
    trace.WriteLine("second run");
    EXPECT_EQ(ReadAll(Path()), "second run\n");
    // A line longer than any buffer is in the file whole as soon as it is written.
    const std::string longLine(100000, 'x');
    trace.WriteLine(longLine);
    EXPECT_EQ(ReadAll(Path()), "second run\n" + longLine + "\n");
}

TEST_F(TraceTest, ReportErrorWritesTraceAndHotSyncLog)
{
    struct Case {
        bool toLog;
        long error;
        int activity;
        const char* trace;
    };
    const Case cases[] = {
        {true, 0, 22, "message\ncontext\n"},
        {false, 0x4003, 21, "message\ncontext : SYNCERR_NOT_FOUND\n"},
        {true, 0x4008, 21, "message\ncontext : ?????? Unknown error number : 16392\n"},
        {true, -1, 21, "message\ncontext : ?????? Unknown error number : -1\n"},
        {true, 268461072, -1, "message\ncontext : SYNCERR_LOST_CONNECTION\n"},
    };
    for (const Case& c : cases) {
        palmkit::LogClear();
        ASSERT_TRUE(CNorvTrace::Instance().Open(Path()));
        ReportError(c.toLog, c.error, c.activity, "context", "message");
        EXPECT_EQ(ReadAll(Path()), c.trace);
        const auto entries = palmkit::LogEntries();
        if (c.toLog) {
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].text, "message");
            EXPECT_EQ(entries[0].activity, c.activity);
            EXPECT_FALSE(entries[0].timestamp);
        } else {
            EXPECT_TRUE(entries.empty());
        }
    }
    // A closed trace still lets the HotSync log have the entry.
    CNorvTrace::Instance().Close();
    palmkit::LogClear();
    ReportError(true, 0, 22, "context", "alone");
    ASSERT_EQ(palmkit::LogEntries().size(), 1u);
}

TEST(SyncErrorNames, KnownAndUnknown)
{
    const std::pair<long, const char*> cases[] = {
        {0x4001, "SYNCERR_UNKNOWN"},
        {0x400B, "SYNCERR_FILE_ALREADY_EXIST"},
        {0x4010, "SYNCERR_BAD_ARG_WRAPPER"},
        {0x4019, "SYNCERR_UNKNOWN_REQUEST"},
        {268452867, "SYNCERR_TOO_MANY_OPEN_FILES"},
        {268452869, "SYNCERR_REMOTE_CANCEL_SYNC"},
        {268452881, "SYNCERR_LOCAL_CANCEL_SYNC"},
        {0x4008, "?????? Unknown error number : 16392"},
        {0x401A, "?????? Unknown error number : 16410"},
    };
    for (const auto& [value, name] : cases) EXPECT_EQ(SyncErrorName(value), name) << value;
}

TEST(ProbeUrl, BesideTheServerUrl)
{
    const std::pair<const char*, const char*> cases[] = {
        {"http://127.0.0.1:8470/Tidepost/xxx/yyy", "http://127.0.0.1:8470/Tidepost/xxx/test.bin"},
        {"http://host/Tidepost/", "http://host/Tidepost/test.bin"},
        {"no-slash", "/test.bin"},
        {"", "/test.bin"},
    };
    for (const auto& [url, probe] : cases) EXPECT_EQ(CNorvCondMgr::ProbeUrl(url), probe) << url;
}

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
        platform::SetUiHost(&m_Host);
    }
    void TearDown() override { platform::SetUiHost(nullptr); }

    LRESULT Send(DWORD kind, std::size_t size, const std::string& text)
    {
        return SendTo(m_Monitor.GetWindow(), kind, size, text);
    }
    static LRESULT SendTo(HWND window, DWORD kind, std::size_t size, const std::string& text)
    {
        std::vector<unsigned char> bytes(size, 0);
        for (std::size_t i = 0; i < 4 && i < size; ++i) bytes[i] = static_cast<unsigned char>(kind >> (8 * i));
        if (size > 4) std::memcpy(bytes.data() + 4, text.data(), std::min(text.size(), size - 4));
        COPYDATASTRUCT data;
        data.cbData = DWORD(size);
        data.lpData = bytes.data();
        return platform::SendCopyData(window, 0, data);
    }

    RecordingUiHost m_Host;
    CNorvCondMonitor m_Monitor;
};

TEST_F(MonitorTest, CreateShowsTheTextOnBothLines)
{
    EXPECT_EQ(m_Monitor.GetWindow(), nullptr);
    m_Monitor.Destroy(); // never created: nothing happens
    m_Monitor.Create("Synchronisation Norvelia en cours");
    EXPECT_NE(m_Monitor.GetWindow(), nullptr);
    EXPECT_EQ(m_Host.view.title, "Norvelia - Progression");
    EXPECT_EQ(m_Host.view.cancelText, "&Abandon");
    EXPECT_EQ(m_Host.view.status1, "Synchronisation Norvelia en cours");
    EXPECT_EQ(m_Host.view.status2, "Synchronisation Norvelia en cours");
    EXPECT_TRUE(m_Host.view.shown);
    m_Monitor.Create("again");
    EXPECT_EQ(m_Host.view.views.load(), 1);
    m_Monitor.Destroy();
    EXPECT_EQ(m_Host.view.views.load(), 0);
    EXPECT_EQ(m_Monitor.GetWindow(), nullptr);
    EXPECT_FALSE(m_Monitor.IsCancelled());
}

TEST_F(MonitorTest, DataMessagesOfKindOneAndTwoOnly)
{
    m_Monitor.Create("start");
    struct Case {
        DWORD kind;
        std::size_t size;
        bool used;
    };
    const Case cases[] = {
        {1, 260, true}, {2, 260, true}, {0, 260, false}, {3, 260, false},
        {1, 259, false}, {1, 261, false}, {2, 4, false},
    };
    for (const Case& c : cases) {
        const std::string text = "kind " + std::to_string(c.kind) + " size " + std::to_string(c.size);
        const LRESULT r = Send(c.kind, c.size, text);
        EXPECT_EQ(r != 0, c.used) << text;
        EXPECT_EQ(m_Host.view.status1 == text, c.used) << text;
    }
    // A text without its zero byte ends with the message.
    EXPECT_EQ(Send(1, 260, std::string(300, 'x')), 1);
    EXPECT_EQ(m_Host.view.status1, std::string(256, 'x'));

    // The server client's sending side reaches the same window.
    CFerrylink client;
    client.SetIPC(m_Monitor.GetWindow());
    client.SendIPCMsg(2, "Réception du catalogue");
    EXPECT_EQ(m_Host.view.status1, "Réception du catalogue");
    m_Monitor.Destroy();
    EXPECT_EQ(Send(1, 260, "gone"), 0);
    client.SendIPCMsg(1, "gone");
    EXPECT_EQ(m_Host.view.status1, "Réception du catalogue");
    client.SetIPC(nullptr);
}

// A monitor whose pauses are counted instead of slept.
class PauseCountingMonitor final : public CNorvCondMonitor {
public:
    mutable std::vector<int> pauses;

protected:
    void Sleep(int milliseconds) const override { pauses.push_back(milliseconds); }
};

// The pauses let a person read the view: 50 ms after a bar moved, 100 or
// 300 ms after a status text of kind 1 or 2. A view nobody watches makes none.
TEST_F(MonitorTest, OnlyAWatchedViewPauses)
{
    for (bool watched : {true, false}) {
        SCOPED_TRACE(watched ? "watched" : "not watched");
        m_Host.view.interactive = watched;
        PauseCountingMonitor monitor;
        monitor.Create("start");
        monitor.SetPos1(1);
        monitor.SetPos2(1);
        for (DWORD kind : {1u, 2u, 3u}) SendTo(monitor.GetWindow(), kind, 260, "text");
        const std::vector<int> expected = watched ? std::vector<int>{50, 50, 100, 300} : std::vector<int>{};
        EXPECT_EQ(monitor.pauses, expected);
        monitor.Destroy();
    }
}

} // namespace
