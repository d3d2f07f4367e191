// The session over the platform's HTTP client, the same cases on Linux
// (libcurl) and on Windows under Wine (WinInet), against a plain-socket server.
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/AnsweringUiHost.h"
#include "common/RawHttpServer.h"
#include "MessagesFixture.h"
#include "Multipart.h"
#include "client/KesaSession.h"
#include "seam/TransferAbort.h"
#include "seam/Ui.h"
#include "quillio/KesaError.h"
#include "winreg/WinReg.h"

namespace {

using namespace multipart;

const std::string kAnswer = TextPart("Notification", "ok") + FilePart("UserPdb", "u.pdb", "DB\r\n\r\nX") + Closing();

// The error number a request raises; 0 when the answer arrives whole.
int Outcome(CKesaSession& session, CKesaRequest& request)
{
    try {
        return session.ProcessRequest(&request)->GetArgCount() == 2 ? 0 : -1;
    } catch (const CKesaError& e) {
        return e.Number();
    }
}

class Transport : public MessagesTest {
protected:
    void SetUp() override
    {
        m_Dir = (std::filesystem::path(::testing::TempDir()) / "norvtransport").string();
        std::filesystem::create_directories(m_Dir);
        winreg::SetStorePath(m_Dir + "/registry.db");
        ::unsetenv("http_proxy");
        SetProduct("Mode", "0");
        SetProduct("Trace", "off");
        SetProduct("ProxyUser", "ann");
        SetProduct("ProxyPassword", "s3cret");
        platform::SetUiHost(&ui);
    }
    void TearDown() override
    {
        platform::SetUiHost(nullptr);
        winreg::SetStorePath("");
        std::error_code ec;
        std::filesystem::remove_all(m_Dir, ec);
    }
    static void SetProduct(const char* name, const std::string& text)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Norvelia\\Tidepost", 0, KEY_ALL_ACCESS, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1));
        RegCloseKey(key);
    }
    std::string m_Dir;
    AnsweringUiHost ui;
};

TEST_F(Transport, BodyGoesOutWholeAndTheAnswerComesBackWhole)
{
    RawHttpServer server([](const RawRequest&, int) { return RawHttpServer::Answer(200, kAnswer); });
    std::string pdb;
    for (int i = 0; i < 200000; ++i) pdb += static_cast<char>(i * 7);
    CKesaRequest request;
    request.AddArg("function", "ProcessList");
    request.AddFileArg("IODBinData", "L.pdb", reinterpret_cast<BYTE*>(pdb.data()), static_cast<DWORD>(pdb.size()));
    BYTE* raw = nullptr;
    const DWORD size = request.BuildBody(&raw);
    const std::string expected(reinterpret_cast<char*>(raw), size);
    std::free(raw);

    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url("/kesa/srv.php?v=2#top")));
    EXPECT_EQ(session.GetObjectPath(), "/kesa/srv.php?v=2");
    auto response = session.ProcessRequest(&request);
    EXPECT_EQ(response->FindArg("Notification")->GetValue(), "ok");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(response->FindArg("UserPdb")->GetData()), 7), "DB\r\n\r\nX");
    EXPECT_EQ(Outcome(session, request), 0);
    const auto got = server.Received();
    ASSERT_EQ(got.size(), 2u);
    for (const RawRequest& r : got) {
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.target, "/kesa/srv.php?v=2");
        EXPECT_EQ(r.body, expected);
        EXPECT_EQ(r.Header("Content-Length"), std::to_string(size));
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Transport, UrlsAndStatuses)
{
    CKesaSession session;
    EXPECT_FALSE(session.Open("not a url"));
    EXPECT_TRUE(session.Open("http://host/x"));
    EXPECT_EQ(session.GetPort(), 80);

    struct Case {
        int status;
        int error;
    };
    for (const Case c : {Case{200, 0}, Case{206, 0}, Case{403, 2045}, Case{404, 2011}, Case{500, 2011}, Case{204, 2011}}) {
        RawHttpServer server([&](const RawRequest&, int) { return RawHttpServer::Answer(c.status, kAnswer); });
        ASSERT_TRUE(session.Open(server.Url()));
        CKesaRequest request;
        request.AddArg("function", "DeclareChannels");
        EXPECT_EQ(Outcome(session, request), c.error) << c.status;
        EXPECT_EQ(server.Received().size(), 1u) << c.status; // never retried
    }
}

// One redirect on the way: the request that reaches the answer has `method`,
// and a POST its body.
void FollowsOneRedirect(int status, const std::string& method)
{
    RawHttpServer server([&](const RawRequest&, int index) {
        return index == 0 ? RawHttpServer::Answer(status, "moved", "Location: /kesa/moved\r\n")
                          : RawHttpServer::Answer(200, kAnswer);
    });
    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;
    request.AddArg("function", "DeclareChannels");
    EXPECT_EQ(Outcome(session, request), 0) << status;
    const auto got = server.Received();
    ASSERT_EQ(got.size(), 2u) << status;
    EXPECT_EQ(got[1].target, "/kesa/moved") << status;
    EXPECT_EQ(got[1].method, method) << status;
    if (method == "POST") {
        EXPECT_EQ(got[1].body, got[0].body) << status;
    }
}

TEST_F(Transport, RedirectsTurnAPostIntoAGet)
{
    for (int status : {301, 302, 303}) FollowsOneRedirect(status, "GET");
}

TEST_F(Transport, RedirectsKeepThePostAndItsBody)
{
    // Set by the Windows build's test environment.
    if (std::getenv("NORV_UNDER_WINE"))
        GTEST_SKIP() << "Wine's wininet follows a 307 with the POST but without its body (Windows' sends it again)";
    for (int status : {307, 308}) FollowsOneRedirect(status, "POST");
}

// A server challenge: mode 0 asks the person (declined: a refusal), mode 1
// answers with the stored credentials, other modes give up at once. WinInet
// may meet the second challenge with the credentials itself: three sends.
TEST_F(Transport, ChallengesByMode)
{
    struct Case {
        const char* mode;
        bool answer;  // the person's answer in mode 0
        int error;
        size_t asked;
    };
    const std::string expected = "Basic YW5uOnMzY3JldA=="; // ann:s3cret
    for (const Case c : {Case{"0", true, 0, 1}, Case{"0", false, 2046, 1}, Case{"1", false, 0, 0},
                         Case{"2", true, 2046, 0}}) {
        RawHttpServer server([&](const RawRequest& r, int) {
            if (r.Header("Authorization") == expected) return RawHttpServer::Answer(200, kAnswer);
            return RawHttpServer::Answer(401, "who?", "WWW-Authenticate: Basic realm=\"kesa\"\r\n");
        });
        SetProduct("Mode", c.mode);
        ui.answers.clear();
        if (c.answer) ui.answers = {{"ann", "s3cret"}};
        ui.prompts.clear();
        CKesaSession session;
        ASSERT_TRUE(session.Open(server.Url()));
        CKesaRequest request;
        request.AddArg("function", "DeclareChannels");
        EXPECT_EQ(Outcome(session, request), c.error) << c.mode << c.answer;
        const auto got = server.Received();
        ASSERT_FALSE(got.empty());
        EXPECT_LE(got.size(), c.error ? 1 : 3) << c.mode << c.answer;
        EXPECT_EQ(got.back().body, got.front().body) << c.mode << c.answer;
        EXPECT_EQ(got.back().Header("Authorization") == expected, c.error == 0) << c.mode << c.answer;
        ASSERT_EQ(ui.prompts.size(), c.asked) << c.mode << c.answer;
        if (c.asked) {
            EXPECT_NE(ui.prompts[0].find("127.0.0.1"), std::string::npos) << ui.prompts[0];
        }
    }
}

// A server that says nothing: the stall bound ends the query, and a stop of
// the program ends it at once, whatever the bound. (Under Wine the call
// closed from outside returns only when the server speaks: 5 s.)
TEST_F(Transport, ASilentServerStallsAndAStopEndsItAtOnce)
{
    struct Case {
        long stallSeconds;
        bool stop;
        const char* says;
    };
    for (const Case c : {Case{1, false, "Délai dépassé : aucune donnée reçue ni envoyée pendant 1 seconde"},
                         Case{600, true, "Opération abandonnée : le programme s'arrête"}}) {
        std::mutex mutex;
        std::condition_variable released;
        bool done = false;
        RawHttpServer server([&](const RawRequest&, int) {
            std::unique_lock<std::mutex> lock(mutex);
            released.wait_for(lock, std::chrono::seconds(5), [&] { return done; });
            return RawHttpServer::Answer(200, kAnswer);
        });
        CKesaSession session;
        session.SetStallTimeout(c.stallSeconds);
        ASSERT_TRUE(session.Open(server.Url()));
        std::thread stopper;
        if (c.stop) {
            stopper = std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                platform::AbortTransfers();
            });
        }
        CKesaRequest request;
        request.AddArg("function", "DeclareChannels");
        std::string said;
        try {
            session.ProcessRequest(&request);
        } catch (const CKesaError& e) {
            EXPECT_EQ(e.Number(), 2006);
            said = e.Argument();
        }
        if (stopper.joinable()) stopper.join();
        platform::ResumeTransfers();
        {
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        released.notify_all();
        EXPECT_EQ(said, c.says);
    }
}

TEST_F(Transport, NoServerIsACommunicationError)
{
    int port = 0;
    {
        RawHttpServer gone([](const RawRequest&, int) { return std::string(); });
        port = gone.Port();
    }
    CKesaSession session;
    ASSERT_TRUE(session.Open("http://127.0.0.1:" + std::to_string(port) + "/kesa/srv"));
    CKesaRequest request;
    request.AddArg("function", "DeclareChannels");
    try {
        session.ProcessRequest(&request);
        ADD_FAILURE() << "no error";
    } catch (const CKesaError& e) {
        EXPECT_EQ(e.Number(), 2006);
        EXPECT_FALSE(e.Argument().empty());
    }
}

} // namespace
