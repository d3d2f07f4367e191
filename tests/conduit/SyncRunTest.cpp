// hotsync sync with the real conduit against the reference service: the
// trace of a run, its HotSync log and result, and the runs that stop early.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "conduit/SyncFixture.h"

namespace {

class SyncRunTest : public SyncFixture {};

// The position of each line in order; -1 for a line not found after the previous one.
std::vector<long> InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& wanted)
{
    std::vector<long> at;
    auto from = lines.begin();
    for (const std::string& w : wanted) {
        auto it = std::find(from, lines.end(), w);
        at.push_back(it == lines.end() ? -1 : long(it - lines.begin()));
        if (it != lines.end()) from = it + 1;
    }
    return at;
}

TEST_F(SyncRunTest, DeclaresAndProcessesTheUsersChannels)
{
    StartService();
    const RunResult r = Sync();
    ASSERT_EQ(r.code, 0) << r.output;

    const std::vector<std::string> lines = Lines(Trace());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "*** Norvelia HotSync conduit  v.2.3.P.1 ***");
    EXPECT_EQ(lines[1], "*** Norvelia PDA software  ***");
    const std::vector<std::string> stages = {
        "CNorvCondMgr::InitFerrylink : default UID = anne, PWD = ********",
        "CNorvCondMgr::EngageStandard - FIRST STAGE",
        "CNorvCondMgr::EngageStandard - SECOND STAGE",
        "CNorvCondMgr::EngageStandard - THIRD STAGE",
        "CNorvCondMgr::EngageStandard : NbChannelsToProcess = 0",
        ">>>>>>>>>>>>>> Opening HTTP connection to " + m_Service->Url() + "/xxx/yyy",
        "CNorvCondMgr::ProcessAllChannels - SERVER REQUEST : STEP 1 Catalogs declaration",
        "CNorvCondMgr::EngageStandard - NbChannelsToProcess = 4",
        "CNorvCondMgr::EngageStandard - FOURTH STAGE",
        "CNorvCondMgr::EngageStandard - Start=65535 ; End=0",
        "CNorvCondMgr::EngageStandard - FIFTH STAGE",
        "Toutes les chaînes ont été synchronisées.",
        "CNorvCondMonitor::ProcessAllChannels",
        "CNorvCondMgr::EngageStandard - LAST STAGE",
    };
    const std::vector<long> at = InOrder(lines, stages);
    for (std::size_t i = 0; i < stages.size(); ++i) EXPECT_GE(at[i], 0) << stages[i];
    // Stage headers stand between empty lines.
    ASSERT_GT(at[1], 0);
    EXPECT_EQ(lines[std::size_t(at[1]) - 1], "");
    EXPECT_EQ(lines[std::size_t(at[1]) + 1], "");
    for (const char* channel : {"C1", "C2", "C7", "G1"}) {
        const std::string processing =
            std::string("CNorvCondMgr::ProcessAllChannels - SERVER REQUEST : STEP 2 Processing channel ") + channel;
        EXPECT_NE(std::find(lines.begin(), lines.end(), processing), lines.end()) << channel;
    }
    EXPECT_EQ(Trace().find("s3cret-pwd"), std::string::npos);

    EXPECT_TRUE(std::filesystem::is_directory(UserDir() + "Src"));
    EXPECT_TRUE(std::filesystem::is_directory(UserDir() + "Dst"));
    const std::string log = HotSyncLog();
    EXPECT_NE(log.find("\t-1 info\tToutes les chaînes ont été synchronisées.\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\t20 done\tNorvelia\n"), std::string::npos) << log;
    // The new handheld application reached the handheld through the install queue.
    EXPECT_EQ(Get(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "NorvVers"), "2.3.1");
}

TEST_F(SyncRunTest, ZeroChannelsCountAsAllHandled)
{
    StartService();
    Set(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "UID", "nobody");
    const RunResult r = Sync();
    ASSERT_EQ(r.code, 0) << r.output;
    const std::vector<std::string> lines = Lines(Trace());
    const std::vector<long> at = InOrder(lines, {"CNorvCondMgr::EngageStandard - NbChannelsToProcess = 0",
                                                 "CNorvCondMgr::EngageStandard - FIFTH STAGE",
                                                 "Toutes les chaînes ont été synchronisées."});
    for (long a : at) EXPECT_GE(a, 0) << Trace();
    EXPECT_NE(HotSyncLog().find("\t-1 info\tToutes les chaînes ont été synchronisées.\n"), std::string::npos);
}

// The conduit ends both runs with 0; nothing was exchanged in either, and
// hotsync's verdict and exit code say so.
TEST_F(SyncRunTest, RunsThatStopEarlyStillEndWithZero)
{
    struct Case {
        const char* name;
        std::string url;          // "" for the running service's
        std::string logText;      // an entry of the HotSync log
        bool lastErrorWritten;
        int exitCode;
    };
    StartService();
    const std::string served = m_Service->Url();
    const std::string probeFailed =
        "\t21 failed\tLa connexion au serveur Norvelia a échoué. Vérifiez votre connexion à Internet et vos paramètres de "
        "connexion. (";
    // The service stopped: nothing answers on its port any more.
    const Case cases[] = {
        {"session", served + "/bad url", "\t22 warning\tImpossible de communiquer avec le serveur Norvelia (" + served +
                                             "/bad url).\n", false, 1},
        {"unreachable", "", probeFailed, true, 1},
    };
    for (const Case& c : cases) {
        if (c.url.empty()) m_Service->Stop();
        SetServerUrl(c.url.empty() ? served + "/xxx/yyy" : c.url);
        std::filesystem::remove(UserDir() + "HotSync.log");
        const RunResult r = Sync();
        EXPECT_EQ(r.code, c.exitCode) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.url.empty() ? "Non synchronisé : La connexion au serveur Norvelia a échoué"
                                              : "Non synchronisé : Impossible de communiquer avec le serveur"),
                  std::string::npos)
            << r.output;
        const std::string log = HotSyncLog();
        EXPECT_NE(log.find(c.logText), std::string::npos) << c.name << "\n" << log;
        EXPECT_NE(log.find("\t20 done\tNorvelia\n"), std::string::npos) << c.name << "\n" << log;
        const std::string trace = Trace();
        EXPECT_EQ(trace.find("FIRST STAGE") != std::string::npos, !c.lastErrorWritten) << c.name;
        EXPECT_NE(trace.find("CNorvCondMgr::EngageStandard - LAST STAGE"), std::string::npos) << c.name;
        const std::string code = Get("HKCU\\Software\\Norvelia\\Tidepost", "LastErrorCode");
        if (c.lastErrorWritten) {
            EXPECT_FALSE(code.empty());
            EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << code;
            // The probe's own message closes the entry.
            const std::size_t at = log.find(probeFailed);
            ASSERT_NE(at, std::string::npos);
            const std::size_t end = log.find('\n', at);
            EXPECT_EQ(log[end - 1], ')');
            EXPECT_GT(end - at, probeFailed.size() + 1);
        }
    }
}

} // namespace
