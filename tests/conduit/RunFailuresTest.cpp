// The run's result codes for the failures that end it, with the Sync Manager
// calls that fail here standing in for a handheld that does not answer.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

#include <filesystem>

#include "conduit/ConduitModule.h"
#include "conduit/NorvCondMgr.h"
#include "conduit/RecordingUiHost.h"
#include "conduit/SyncFixture.h"
#include "lexmo/Lexmo.h"
#include "palmkit/Handheld.h"
#include "palmkit/HandheldStore.h"
#include "palmkit/HsLog.h"
#include "palmkit/InstallAide.h"
#include "palmkit/SyncMgr.h"
#include "quillio/PdbFile.h"
#include "winreg/WinReg.h"

namespace {

std::atomic<long> g_registerError{0};
std::atomic<long> g_cardError{0};
std::atomic<bool> g_cardThrows{false};
std::atomic<long> g_listError{0};
std::atomic<int> g_unregistered{0};
std::atomic<long> g_installError{0};

template <typename Fn>
Fn Real(const char* name)
{
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

} // namespace

// These take the place of the Sync Manager's calls in this program.
extern "C" {

long SyncRegisterConduit(CONDHANDLE* handle)
{
    if (const long e = g_registerError.load()) return e;
    static const auto real = Real<long (*)(CONDHANDLE*)>("SyncRegisterConduit");
    return real(handle);
}

long SyncUnRegisterConduit(CONDHANDLE handle)
{
    ++g_unregistered;
    static const auto real = Real<long (*)(CONDHANDLE)>("SyncUnRegisterConduit");
    return real(handle);
}

long SyncReadSingleCardInfo(CSyncCardInfo* info)
{
    if (g_cardThrows.load()) throw std::runtime_error("the handheld went away");
    if (const long e = g_cardError.load()) return e;
    static const auto real = Real<long (*)(CSyncCardInfo*)>("SyncReadSingleCardInfo");
    return real(info);
}

long SyncReadDBList(BYTE cardNo, WORD start, BYTE searchFlags, CSyncDbListEntry* list, WORD* count)
{
    if (const long e = g_listError.load()) return e;
    static const auto real = Real<long (*)(BYTE, WORD, BYTE, CSyncDbListEntry*, WORD*)>("SyncReadDBList");
    return real(cardNo, start, searchFlags, list, count);
}

long PltInstallFile(const char* user, const char* path)
{
    if (const long e = g_installError.load()) return e;
    static const auto real = Real<long (*)(const char*, const char*)>("PltInstallFile");
    return real(user, path);
}

} // extern "C"

namespace {

class RunFailuresTest : public SyncFixture {
protected:
    void SetUp() override
    {
        SyncFixture::SetUp();
        Set("HKCU\\Software\\U.S. Robotics\\Pilot Desktop\\Core", "HotSyncPath", Home() + "/hotsync");
        StartService();
    }
};

TEST_F(RunFailuresTest, ResultCodesAndHotSyncLog)
{
    const std::string notADir = m_Root / "plain-file";
    std::ofstream(notADir) << "not a directory\n";
    struct Case {
        const char* name;
        long registerError, cardError, listError;
        std::string pathName;     // empty: the user's directory
        long result;
        std::vector<std::pair<int, std::string>> log;
        std::string traceLine;
        int unregistered;
        bool cardThrows = false;   // result -1: the run threw
    };
    const Case cases[] = {
        {"registration refused", SYNCERR_BAD_OPERATION, 0, 0, "", SYNCERR_BAD_OPERATION,
         {{21, "Norvelia"}}, "", 0},
        {"work directory", 0, 0, 0, notADir + "/", 4192,
         {{22, "Failed to create " + notADir + "/Src directory"},
          {21, "Norvelia Internet Client initialization failed..."},
          {21, "Norvelia"}},
         "", 1},
        {"card information", 0, SYNCERR_NOT_FOUND, 0, "", 4100,
         {{21, "Les informations de la carte mémoire de l'organiseur n'ont pas pu être lues."}, {21, "Norvelia"}},
         "CNorvCondMgr::EngageStandard : SYNCERR_NOT_FOUND", 1},
        {"database list", 0, 0, SYNCERR_LOST_CONNECTION, "", 4100,
         {{21, "La liste des bases de données de l'organiseur n'a pas pu être lue."}, {21, "Norvelia"}},
         "CNorvCondMgr::EngageStandard : ?????? Unknown error number : -1", 1},
        // The caller makes -1 of the exception; the last stage still runs.
        {"exception", 0, 0, 0, "", -1, {{21, "Norvelia"}},
         "CNorvCondMgr::EngageStandard : unexpected exception, the run ends", 1, true},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(palmkit::Attach(Handheld(), UserDir(), "Anne"), palmkit::AttachResult::Ok);
        palmkit::LogClear();
        g_registerError = c.registerError;
        g_cardError = c.cardError;
        g_listError = c.listError;
        g_cardThrows = c.cardThrows;
        g_unregistered = 0;
        long result = -2;
        {
            CNorvCondMgr manager;
            manager.m_UserName = "Anne";
            manager.m_PathName = c.pathName.empty() ? UserDir() : c.pathName;
            try {
                result = manager.EngageStandard();
            } catch (const std::runtime_error&) {
                result = -1;
            }
        }
        g_registerError = 0;
        g_cardError = 0;
        g_listError = 0;
        g_cardThrows = false;
        palmkit::Detach();

        EXPECT_EQ(result, c.result) << c.name;
        std::vector<std::pair<int, std::string>> log;
        for (const auto& e : palmkit::LogEntries()) log.emplace_back(e.activity, e.text);
        EXPECT_EQ(log, c.log) << c.name;
        EXPECT_EQ(g_unregistered.load(), c.unregistered) << c.name;
        const std::vector<std::string> lines = Lines(Trace());
        const std::string trace = Trace();
        const std::string end = "\nCNorvCondMgr::EngageStandard - LAST STAGE\n\n";
        EXPECT_TRUE(trace.size() > end.size() && trace.compare(trace.size() - end.size(), end.size(), end) == 0)
            << c.name;
        if (!c.traceLine.empty()) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), c.traceLine), lines.end()) << c.name << "\n" << trace;
        }
    }
}

} // namespace

namespace {

// Whole runs in this process, watched through a recording progress view.
class RunStagesTest : public RunFailuresTest {
protected:
    void SetUp() override
    {
        RunFailuresTest::SetUp();
        // This process may have opened another test's registry already.
        winreg::SetStorePath(m_Root / "registry.db");
        platform::SetUiHost(&m_Host);
    }
    void TearDown() override
    {
        platform::SetUiHost(nullptr);
        winreg::SetStorePath("");
        g_installError = 0;
        RunFailuresTest::TearDown();
    }

    long Run()
    {
        EXPECT_EQ(palmkit::Attach(Handheld(), UserDir(), "Anne"), palmkit::AttachResult::Ok);
        palmkit::LogClear();
        long result = -2;
        {
            CNorvCondMgr manager;
            manager.m_UserName = "Anne";
            manager.m_PathName = UserDir();
            result = manager.EngageStandard();
        }
        m_Log.clear();
        for (const auto& e : palmkit::LogEntries()) m_Log.push_back(std::to_string(e.activity) + "\t" + e.text);
        palmkit::Detach();
        return result;
    }
    bool Logged(const std::string& entry) const
    {
        return std::find(m_Log.begin(), m_Log.end(), entry) != m_Log.end();
    }
    std::string UserKey() const { return std::string(kProduct) + "\\Users\\Anne\\Norvelia"; }
    // The recorded calls whose name starts with one of the prefixes, in order.
    std::vector<std::string> Calls(std::initializer_list<const char*> prefixes)
    {
        std::vector<std::string> out;
        for (const std::string& c : m_Host.view.calls)
            for (const char* p : prefixes)
                if (c.rfind(p, 0) == 0) out.push_back(c);
        return out;
    }

    RecordingUiHost m_Host;
    std::vector<std::string> m_Log;
};

// The progress view through a whole run on a handheld without the
// service's databases: both status lines, both bars and the cancel button,
// each in the order the run sets them (the worker owns line 2 and bar 2 once
// processing started, so the two are checked apart).
TEST_F(RunStagesTest, AWholeRunShowsEachStageOnTheProgressView)
{
    // Some databases of another creator, to be counted through.
    {
        CPdbFile other("Memo", "memo", "DATA", 0, 1, 0, 0);
        ASSERT_TRUE(CHandheldStore(Handheld()).Save(other));
        CPdbFile another("Date", "date", "DATA", 0, 1, 0, 0);
        ASSERT_TRUE(CHandheldStore(Handheld()).Save(another));
    }
    ASSERT_EQ(Run(), 0);
    const auto M = [](int n) { return std::string(KESA_FormatMessage(n)); };
    // The handheld's databases, then the channels to install twice each.
    std::vector<std::string> line1 = {"status1 " + M(2044), "bar1 off", "status1 " + M(2037)};
    const long databases = 2;
    line1.push_back("range1 0 " + std::to_string(databases));
    line1.push_back("pos1 0");
    line1.push_back("bar1 on");
    for (long i = 1; i <= databases; ++i) line1.push_back("pos1 " + std::to_string(i));
    line1.push_back("status1 " + M(2038));
    line1.push_back("status1 " + M(2062));
    line1.push_back("range1 0 8");
    line1.push_back("pos1 0");
    // Every channel of the service is new to this handheld: all four come.
    int installed = 0;
    for (const char* id : {"C1", "C2", "C7", "G1"}) {
        line1.push_back("status1 " + KESA_FormatMessage(2049, id));
        line1.push_back("pos1 " + std::to_string(++installed));
        line1.push_back("pos1 " + std::to_string(++installed));
    }
    EXPECT_EQ(Calls({"status1", "range1", "pos1", "bar1"}), line1);

    std::vector<std::string> line2 = {"status2 " + M(2044), "bar2 off", "status2 " + M(2037), "status2 " + M(2066),
                                      "range2 0 8", "pos2 0", "bar2 on"};
    int position = 0;
    for (const char* id : {"C1", "C2", "C7", "G1"}) {
        line2.push_back("status2 " + KESA_FormatMessage(2047, id));
        line2.push_back("pos2 " + std::to_string(++position));
        line2.push_back("pos2 " + std::to_string(++position));
    }
    line2.push_back("status2 " + M(2063));
    EXPECT_EQ(Calls({"status2", "range2", "pos2", "bar2"}), line2);

    EXPECT_EQ(Calls({"title", "button", "show", "hide", "cancel"}),
              (std::vector<std::string>{"title " + M(2082), "button " + M(2083), "show", "cancel off", "cancel off",
                                        "hide"}));
    // The application reached the install queue: its version is the user's now.
    EXPECT_EQ(Get(UserKey(), "NorvVers"), "2.3.1");
    // The user context came from the service: the stored password goes.
    EXPECT_NE(Get(UserKey(), "PWD").find("not found"), std::string::npos);
    EXPECT_TRUE(Logged("20\tNorvelia"));
}

// What the run does on its way that no result code shows.
TEST_F(RunStagesTest, StepsThatOnlyTheTraceTheLogAndTheSettingsShow)
{
    // Alone on the handheld, a "KESA" database of a type the conduit does
    // not know still makes the range searched later, but is not read.
    {
        CPdbFile odd("Oddity", "KESA", "ZZZZ", 0, 1, 0, 0);
        ASSERT_TRUE(CHandheldStore(Handheld()).Save(odd));
    }
    ASSERT_EQ(Run(), 0);
    const std::string trace = Trace();
    EXPECT_EQ(trace.find("Start=65535 ; End=0"), std::string::npos);
    EXPECT_EQ(trace.find("Ouverture PDB"), std::string::npos);
    const std::size_t at = trace.find("CNorvCondMgr::EngageStandard - Start=");
    ASSERT_NE(at, std::string::npos);
    int start = -1, end = -2;
    ASSERT_EQ(std::sscanf(trace.c_str() + at, "CNorvCondMgr::EngageStandard - Start=%d ; End=%d", &start, &end), 2);
    EXPECT_EQ(start, end);

    // The application refused by the install aide: the version stays, status line 1 says so.
    Set(UserKey(), "NorvVers", "1.0");
    g_installError = 3;
    ASSERT_EQ(Run(), 0);
    g_installError = 0;
    EXPECT_EQ(Get(UserKey(), "NorvVers"), "1.0");
    const auto& history = m_Host.view.status1History;
    EXPECT_NE(std::find(history.begin(), history.end(), KESA_FormatMessage(2027, "Norvelia.prc")), history.end());

    // "Abandon" pressed as the second stage starts: the run goes to its last
    // stage without a word to the server.
    m_Host.view.cancelOnStatus2 = KESA_FormatMessage(2037);
    ASSERT_EQ(Run(), 0);
    EXPECT_EQ(Trace().find("THIRD STAGE"), std::string::npos);
    EXPECT_NE(Trace().find("LAST STAGE"), std::string::npos);
    EXPECT_EQ(m_Log, std::vector<std::string>{"20\tNorvelia"});
}

// Without a HotSync folder in the settings the trace goes to the folder
// that was current when the conduit was loaded.
TEST_F(RunStagesTest, TraceFallsBackToTheLoadDirectory)
{
    const std::string load = m_Root / "load";
    std::filesystem::create_directories(load);
    const std::string here = std::filesystem::current_path();
    ASSERT_EQ(::chdir(load.c_str()), 0);
    ConduitStartup();
    ASSERT_EQ(::chdir(here.c_str()), 0);
    for (const char* setting : {"", "*NODEF*"}) {
        SCOPED_TRACE(setting);
        std::filesystem::remove(load + "/NorvTrace.log");
        Set("HKCU\\Software\\U.S. Robotics\\Pilot Desktop\\Core", "HotSyncPath", setting);
        EXPECT_EQ(Run(), 0);
        EXPECT_NE(ReadAll(load + "/NorvTrace.log").find("LAST STAGE"), std::string::npos);
    }
    ConduitShutdown();
}

// The message library cannot be loaded: said once in the HotSync log, and the run goes on.
TEST_F(RunStagesTest, MissingMessageLibraryIsReportedAndTheRunGoesOn)
{
    Set(kProduct, "MsgDLL", "Missing.dll");
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(Logged("22\tMessages DLL load failure"));
    EXPECT_TRUE(Logged("20\tNorvelia"));
    EXPECT_NE(Trace().find("FIFTH STAGE"), std::string::npos);
    ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
}

} // namespace
