// The run's result codes for the failures that end it, with the Sync Manager
// calls that fail here standing in for a handheld that does not answer.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <stdexcept>

#include "conduit/NorvCondMgr.h"
#include "conduit/SyncFixture.h"
#include "palmkit/Handheld.h"
#include "palmkit/HsLog.h"
#include "palmkit/SyncMgr.h"

namespace {

std::atomic<long> g_registerError{0};
std::atomic<long> g_cardError{0};
std::atomic<bool> g_cardThrows{false};
std::atomic<long> g_listError{0};
std::atomic<int> g_unregistered{0};

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
