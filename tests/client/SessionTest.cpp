#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "MessagesFixture.h"
#include "common/AnsweringUiHost.h"
#include "common/Digest.h"
#include "common/TestCertificates.h"
#include "common/Tinyproxy.h"
#include "common/TlsServer.h"
#include "Multipart.h"
#include "TestServer.h"
#include "client/KesaSession.h"
#include "seam/TransferAbort.h"
#include "seam/Ui.h"
#include "quillio/KesaError.h"
#include "winreg/WinReg.h"

namespace {

// The credentials question's text: who asks, and its address.
inline std::string Asks(bool proxy, const std::string& address)
{
    return std::string(proxy ? "Le proxy " : "Le serveur ") + address + " demande votre identifiant et votre mot de passe.";
}

using namespace multipart;
namespace fs = std::filesystem;

const char* const kContext = "CKesaSession::ProcessRequest";

std::string Base64(const std::string& in)
{
    static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
        out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], t[v & 63]};
    }
    if (i + 1 == in.size()) {
        const unsigned v = (unsigned char)in[i] << 16;
        out += {t[v >> 18], t[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == in.size()) {
        const unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
        out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], '='};
    }
    return out;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Session : public MessagesTest {
protected:
    void SetUp() override
    {
        std::string tmpl = ::testing::TempDir() + "norvsession-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_Dir = tmpl;
        winreg::SetStorePath(m_Dir + "/registry.db");
        // Only what a test sets may steer libcurl towards a proxy.
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
            ::unsetenv(name);
        platform::SetUiHost(&ui);
    }
    void TearDown() override
    {
        platform::SetUiHost(nullptr);
        winreg::SetStorePath("");
        std::error_code ec;
        fs::remove_all(m_Dir, ec);
    }

    static void Put(HKEY root, const char* path, const std::string& name, const std::string& text)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root, path, 0, KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void SetProduct(const std::string& name, const std::string& text)
    {
        Put(HKEY_LOCAL_MACHINE, "Software\\Norvelia\\Tidepost", name, text);
    }
    void SetHotSyncHome() { Put(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "HotSyncPath", m_Dir + "/hotsync"); }

    // The error a request raises (number 0 when none).
    static CKesaError Failure(CKesaSession& session, CKesaRequest& request)
    {
        try {
            session.ProcessRequest(&request);
        } catch (const CKesaError& e) {
            return e;
        }
        return CKesaError();
    }

    std::string m_Dir;
    AnsweringUiHost ui;
};

const std::string kAnswer = TextPart("Notification", "ok") + FilePart("UserPdb", "u.pdb", "DB\r\n\r\nX") + Closing();

TEST_F(Session, WorkedExampleGoesOutByteForByte)
{
    TestServer server([](const httplib::Request&, httplib::Response& res, int) {
        res.status = 200;
        res.set_content(kAnswer, "application/octet-stream");
    });
    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url("/kesa/srv.php?v=2")));
    EXPECT_EQ(session.GetServer(), "127.0.0.1");
    EXPECT_EQ(session.GetPort(), server.Port());
    EXPECT_EQ(session.GetObjectPath(), "/kesa/srv.php?v=2");
    CKesaRequest request;
    request.AddArg("function", "StartGame");
    request.AddArg("UID", "u42");
    auto response = session.ProcessRequest(&request);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->GetArgCount(), 2);
    EXPECT_EQ(response->FindArg("Notification")->GetValue(), "ok");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(response->FindArg("UserPdb")->GetData()), 7), "DB\r\n\r\nX");

    const auto received = server.Received();
    ASSERT_EQ(received.size(), 1u);
    const ReceivedRequest& r = received[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/kesa/srv.php?v=2");
    EXPECT_EQ(r.body, "-----------------------------7d02e419b08\r\n"
                      "Content-Disposition: form-data; name=\"function\"\r\n\r\nStartGame\r\n"
                      "-----------------------------7d02e419b08\r\n"
                      "Content-Disposition: form-data; name=\"UID\"\r\n\r\nu42\r\n"
                      "-----------------------------7d02e419b08--\r\n");
    EXPECT_EQ(r.body.size(), 241u);
    EXPECT_EQ(r.Header("Content-Length"), "241");
    EXPECT_FALSE(r.Has("Content-Type"));
    EXPECT_FALSE(r.Has("User-Agent"));
    EXPECT_FALSE(r.Has("Expect"));
    EXPECT_FALSE(r.Has("Authorization"));
}

TEST_F(Session, BinaryBodyAndKeepAliveWithinASession)
{
    TestServer server([](const httplib::Request&, httplib::Response& res, int) { res.set_content(kAnswer, "x/y"); });
    std::string pdb;
    for (int i = 0; i < 100000; ++i) pdb += static_cast<char>(i * 7);
    CKesaRequest request;
    request.AddArg("function", "ProcessList");
    request.AddFileArg("IODBinData", "L.pdb", reinterpret_cast<BYTE*>(pdb.data()), static_cast<DWORD>(pdb.size()));
    BYTE* raw = nullptr;
    const DWORD size = request.BuildBody(&raw);
    const std::string expected(reinterpret_cast<char*>(raw), size);
    std::free(raw);

    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url()));
    session.ProcessRequest(&request);
    session.ProcessRequest(&request);
    const auto received = server.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].body, expected);
    EXPECT_EQ(received[1].body, expected);
    EXPECT_EQ(received[0].remotePort, received[1].remotePort); // one connection
}

TEST_F(Session, PortDecidesTls)
{
    CKesaSession session;
    ASSERT_TRUE(session.Open("http://example.test:443/a/b"));
    EXPECT_EQ(session.GetRequestUrl(), "https://example.test:443/a/b");
    ASSERT_TRUE(session.Open("https://example.test/x"));
    EXPECT_EQ(session.GetPort(), 443);
    EXPECT_EQ(session.GetRequestUrl(), "https://example.test:443/x");
    ASSERT_TRUE(session.Open("http://example.test"));
    EXPECT_EQ(session.GetPort(), 80);
    EXPECT_EQ(session.GetObjectPath(), "/");

    // https on another port goes in clear: our plain server answers it.
    TestServer server([](const httplib::Request&, httplib::Response& res, int) { res.set_content(kAnswer, "x/y"); });
    ASSERT_TRUE(session.Open("https://127.0.0.1:" + std::to_string(server.Port()) + "/t"));
    CKesaRequest request;
    request.AddArg("function", "StartGame");
    EXPECT_EQ(session.ProcessRequest(&request)->GetArgCount(), 2);
    session.Close(); // before the server stops, so it has no connection to wait for
}

// A proxy on 127.0.0.1 that records the request line of every connection and
// refuses each with 403: it shows what the client asked the proxy for, which
// tells a TLS tunnel (CONNECT host:port) from a request in clear (POST http://...).
// A listening socket on 127.0.0.1 at a port the system picks.
int ListenOnLoopback(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd, 8);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

class RecordingProxy {
public:
    RecordingProxy()
    {
        m_Fd = ListenOnLoopback(m_Port);
        m_Thread = std::thread([this] { Serve(); });
    }
    ~RecordingProxy()
    {
        m_Stop = true;
        m_Thread.join();
        ::close(m_Fd);
    }
    RecordingProxy(const RecordingProxy&) = delete;
    RecordingProxy& operator=(const RecordingProxy&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_Port); }
    std::vector<std::string> Lines() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Lines;
    }

private:
    void Serve()
    {
        while (!m_Stop) {
            pollfd p{m_Fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int c = ::accept(m_Fd, nullptr, nullptr);
            if (c < 0) continue;
            std::string head;
            char buf[1024];
            // The head only, bounded in size and time.
            for (int i = 0; i < 100 && head.find("\r\n\r\n") == std::string::npos && head.size() < 65536; ++i) {
                pollfd q{c, POLLIN, 0};
                if (::poll(&q, 1, 50) <= 0) continue;
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                head.append(buf, size_t(n));
            }
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                m_Lines.push_back(head.substr(0, head.find("\r\n")));
            }
            static const char reply[] = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            (void)::send(c, reply, sizeof reply - 1, MSG_NOSIGNAL);
            ::shutdown(c, SHUT_WR);
            ::close(c);
        }
    }

    int m_Fd = -1;
    int m_Port = 0;
    std::atomic<bool> m_Stop{false};
    std::thread m_Thread;
    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Lines;
};

TEST_F(Session, OnlyPort443GoesOverTlsWhateverTheScheme)
{
    RecordingProxy proxy;
    ::setenv("http_proxy", proxy.Url().c_str(), 1);
    ::setenv("https_proxy", proxy.Url().c_str(), 1);
    CKesaRequest request;
    request.AddArg("function", "StartGame");
    for (const char* url : {"http://service.invalid:443/kesa/srv", "https://service.invalid:8443/kesa/srv",
                            "https://service.invalid/kesa/srv"}) {
        CKesaSession session;
        ASSERT_TRUE(session.Open(url));
        EXPECT_NE(Failure(session, request).Number(), 0) << url; // the proxy refuses
    }
    ::unsetenv("http_proxy");
    ::unsetenv("https_proxy");
    const auto lines = proxy.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "CONNECT service.invalid:443 HTTP/1.1");
    EXPECT_EQ(lines[1], "POST http://service.invalid:8443/kesa/srv HTTP/1.1");
    EXPECT_EQ(lines[2], "CONNECT service.invalid:443 HTTP/1.1");
}

TEST_F(Session, OpenCloseAndUnopened)
{
    CKesaSession never;
    never.Close();
    never.Close();
    EXPECT_FALSE(never.IsOpen());
    CKesaRequest request;
    CKesaError e = Failure(never, request);
    EXPECT_EQ(e.Number(), 2006);
    EXPECT_EQ(e.Argument(), "Impossible de communiquer avec le serveur Norvelia (CKesaSession::ProcessRequest).");

    CKesaSession session;
    EXPECT_FALSE(session.Open("not a url"));
    EXPECT_FALSE(session.IsOpen());
    EXPECT_FALSE(session.Open("http://host:99999/x"));
    EXPECT_TRUE(session.Open("http://host:8080/x"));
    EXPECT_TRUE(session.IsOpen());
    session.Close();
    session.Close();
    EXPECT_FALSE(session.IsOpen());
}

TEST_F(Session, StatusesBecomeTheirErrors)
{
    std::atomic<int> status{403};
    TestServer server([&](const httplib::Request&, httplib::Response& res, int) {
        res.status = status;
        res.set_content(kAnswer, "x/y");
    });
    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;
    request.AddArg("function", "DeclareChannels");

    CKesaError e = Failure(session, request);
    EXPECT_EQ(e.Number(), 2045);
    EXPECT_EQ(e.Argument(), "Accès refusé par le serveur Norvelia (erreur 403, CKesaSession::ProcessRequest).");
    for (int s : {404, 500, 302, 204}) {
        status = s;
        e = Failure(session, request);
        EXPECT_EQ(e.Number(), 2011) << s;
        EXPECT_EQ(e.Argument(), "Erreur de communication avec le serveur Norvelia (CKesaSession::ProcessRequest) " +
                                    std::to_string(s))
            << s;
    }
    status = 206;
    EXPECT_EQ(session.ProcessRequest(&request)->GetArgCount(), 2);
    EXPECT_EQ(server.Count(), 6); // no retry for any of them
    EXPECT_TRUE(ui.messages.empty());
}

// Redirects as the platform follows them: a POST kept on 307 and 308, turned
// into a GET on 301, 302 and 303; five at most; never to the other scheme.
TEST_F(Session, RedirectsAreFollowedWithinBounds)
{
    struct Case {
        int status;
        int hops;             // redirects before the answer; -1: for ever
        std::string location; // empty: the next hop on this server
        std::string method;   // of the last request
        int error;            // 0: the answer arrives
        std::string says;     // in the error's text
    };
    const Case cases[] = {
        {307, 1, "", "POST", 0, ""},
        {308, 2, "", "POST", 0, ""},
        {302, 1, "", "GET", 0, ""},
        {303, 5, "", "GET", 0, ""},
        {302, -1, "", "GET", 2006, "Maximum (5) redirects followed"},
        {307, 1, "https://127.0.0.1:1/kesa/srv", "POST", 2006, "vers un autre protocole (de http vers https ou l'inverse)"},
    };
    for (const Case& c : cases) {
        TestServer server([&](const httplib::Request& req, httplib::Response& res, int index) {
            if (c.hops < 0 || index < c.hops) {
                res.status = c.status;
                res.set_header("Location", c.location.empty() ? "/kesa/hop" + std::to_string(index + 1) : c.location);
                res.set_content("moved", "text/plain");
                return;
            }
            res.set_content(req.method == "POST" && req.body.find("DeclareChannels") == std::string::npos
                                ? std::string("lost body")
                                : kAnswer,
                            "x/y");
        });
        CKesaSession session;
        ASSERT_TRUE(session.Open(server.Url()));
        CKesaRequest request;
        request.AddArg("function", "DeclareChannels");
        if (c.error) {
            CKesaError e = Failure(session, request);
            EXPECT_EQ(e.Number(), c.error) << c.status;
            EXPECT_NE(e.Argument().find(c.says), std::string::npos) << c.status << ": " << e.Argument();
            EXPECT_EQ(server.Count(), c.hops < 0 ? 6 : 1) << c.status;
            continue;
        }
        EXPECT_EQ(session.ProcessRequest(&request)->GetArgCount(), 2) << c.status;
        const auto got = server.Received();
        ASSERT_EQ(got.size(), size_t(c.hops + 1)) << c.status;
        EXPECT_EQ(got.back().target, "/kesa/hop" + std::to_string(c.hops)) << c.status;
        EXPECT_EQ(got.back().method, c.method) << c.status;
        if (c.method == "POST") {
            EXPECT_EQ(got.back().body, got.front().body) << c.status;
        }
    }
}

TEST_F(Session, ShortAndMalformedAnswers)
{
    std::string answer;
    std::mutex mutex;
    TestServer server([&](const httplib::Request&, httplib::Response& res, int) {
        std::lock_guard<std::mutex> lock(mutex);
        res.set_content(answer, "x/y");
    });
    auto answerWith = [&](std::string text) {
        std::lock_guard<std::mutex> lock(mutex);
        answer = std::move(text);
    };
    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;

    for (const std::string& s : {std::string(), std::string(39, '-')}) {
        answerWith(s);
        CKesaError e = Failure(session, request);
        EXPECT_EQ(e.Number(), 2003);
        EXPECT_EQ(e.Argument(),
                  "La réponse du serveur Norvelia est incomplète ou illisible (CKesaSession::ProcessRequest).");
    }
    answerWith(B);
    EXPECT_EQ(session.ProcessRequest(&request)->GetArgCount(), 0);
    // The parser's own error reaches the caller unchanged.
    answerWith(B + "\r\nno name\r\n\r\nx\r\n" + Closing());
    CKesaError e = Failure(session, request);
    EXPECT_EQ(e.Number(), 2004);
    EXPECT_EQ(e.Argument(), "La réponse du serveur Norvelia est mal formée (CKesaResponse::InitializeFromBuffer - 1).");
}

// An answer of exactly `size` bytes: one file part padded to fit.
std::string AnswerOfSize(size_t size)
{
    const std::string empty = FilePart("F", "f.bin", "") + Closing();
    std::string data(size - empty.size(), 'z');
    for (size_t i = 0; i < data.size(); i += 1000) data[i] = static_cast<char>('a' + i % 26);
    return FilePart("F", "f.bin", data) + Closing();
}

TEST_F(Session, AnswersAroundTheReadSizeArriveWhole)
{
    for (size_t size : {size_t(65535), size_t(65536), size_t(65537), size_t(3 * 65536 + 1)}) {
        const std::string answer = AnswerOfSize(size);
        ASSERT_EQ(answer.size(), size);
        TestServer server([&](const httplib::Request&, httplib::Response& res, int) { res.set_content(answer, "x/y"); });
        CKesaSession session;
        ASSERT_TRUE(session.Open(server.Url()));
        CKesaRequest request;
        auto response = session.ProcessRequest(&request);
        ASSERT_EQ(response->GetBufferLength(), size);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(response->GetBuffer()), size), answer);
        ASSERT_EQ(response->GetArgCount(), 1);
        EXPECT_EQ(response->GetArg(0)->GetLength(), size - (FilePart("F", "f.bin", "") + Closing()).size());
    }
}

// A refused connection is told in the catalog's language, naming the server.
TEST_F(Session, TransportFailuresSayWhatHappened)
{
    int port = 0;
    {
        TestServer gone([](const httplib::Request&, httplib::Response&, int) {});
        port = gone.Port();
    }
    CKesaSession session;
    ASSERT_TRUE(session.Open("http://127.0.0.1:" + std::to_string(port) + "/x"));
    CKesaRequest request;
    CKesaError e = Failure(session, request);
    EXPECT_EQ(e.Number(), 2006);
    EXPECT_FALSE(e.Argument().empty());
    EXPECT_NE(e.Argument(), KESA_FormatMessage(2006, kContext));
    EXPECT_LE(e.Argument().size(), 128u);
    EXPECT_EQ(e.Argument(), "127.0.0.1:" + std::to_string(port) + " refuse la connexion ou est injoignable");
}

TEST_F(Session, AnswerLargerThanTheBoundIsRefused)
{
    TestServer server([](const httplib::Request&, httplib::Response& res, int) {
        // Announces more than the bound; the client refuses before reading it.
        res.set_content_provider(CKesaSession::kMaxAnswer + 1, "x/y",
                                 [](size_t, size_t length, httplib::DataSink& sink) {
                                     static const std::string block(65536, 'x');
                                     return sink.write(block.data(), std::min(length, block.size()));
                                 });
    });
    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;
    CKesaError e = Failure(session, request);
    EXPECT_EQ(e.Number(), 2006);
    EXPECT_EQ(e.Argument(), KESA_FormatMessage(2006, kContext));
}

TEST_F(Session, StallFails)
{
    std::mutex mutex;
    std::condition_variable released;
    bool done = false;
    TestServer server([&](const httplib::Request&, httplib::Response& res, int) {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait_for(lock, std::chrono::seconds(20), [&] { return done; });
        res.set_content(kAnswer, "x/y");
    });
    CKesaSession session;
    session.SetStallTimeout(1);
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;
    CKesaError e = Failure(session, request);
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    released.notify_all();
    EXPECT_EQ(e.Number(), 2006);
    EXPECT_EQ(e.Argument(), "Délai dépassé : aucune donnée reçue ni envoyée pendant 1 seconde");
}

TEST_F(Session, ATrickleSlowerThanAByteASecondIsNoStall)
{
    // One byte every 1.5 s: never 5 s without a byte, though below a byte a
    // second for long enough that an average-speed limit gives up.
    TestServer server([](const httplib::Request&, httplib::Response& res, int) {
        res.set_chunked_content_provider("x/y", [](size_t offset, httplib::DataSink& sink) {
            if (offset >= 7) {
                sink.done();
                return true;
            }
            if (offset > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            return sink.write("-", 1);
        });
    });
    CKesaSession session;
    session.SetStallTimeout(5);
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;
    // The bytes arrive whole: too short an answer, not a failed transfer.
    EXPECT_EQ(Failure(session, request).Number(), 2003);
    session.Close();
}

TEST_F(Session, ATrickleEndsAtTheQueryBoundAndAStopAtOnce)
{
    // A byte every 200 ms for ever: never a stall.
    TestServer server([](const httplib::Request&, httplib::Response& res, int) {
        res.set_chunked_content_provider("x/y", [](size_t offset, httplib::DataSink& sink) {
            if (offset > 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (offset >= 600) {
                sink.done();
                return true;
            }
            return sink.write("-", 1);
        });
    });
    struct Case {
        const char* bound;
        bool stop;
        const char* text;
    };
    for (const Case c : {Case{"1", false, "Délai dépassé : la requête a duré plus d'une seconde"},
                         Case{nullptr, true, "Opération abandonnée : le programme s'arrête"}}) {
        if (c.bound) ::setenv("NORVELIA_QUERY_SECONDS", c.bound, 1);
        CKesaSession session;
        session.SetStallTimeout(5);
        ASSERT_TRUE(session.Open(server.Url()));
        std::thread stopper([&] {
            if (!c.stop) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            platform::AbortTransfers();
        });
        CKesaRequest request;
        const auto started = std::chrono::steady_clock::now();
        CKesaError e = Failure(session, request);
        const auto took = std::chrono::steady_clock::now() - started;
        stopper.join();
        EXPECT_EQ(e.Number(), 2006);
        EXPECT_EQ(e.Argument(), c.text);
        EXPECT_LT(took, std::chrono::seconds(20)) << c.text; // the trickle itself lasts 120 s
        if (c.stop) {
            EXPECT_EQ(Failure(session, request).Argument(), c.text) << "stays stopped";
        }
        ::unsetenv("NORVELIA_QUERY_SECONDS");
        platform::ResumeTransfers();
        session.Close();
    }
}

// Answers 401 (or 407) `challenges` times, then kAnswer once the expected header is right.
TestServer::Handler Challenger(int code, int challenges, std::string header, std::string expected)
{
    return [=](const httplib::Request& req, httplib::Response& res, int index) {
        const auto it = req.headers.find(header);
        if (index < challenges || it == req.headers.end() || it->second != expected) {
            res.status = code;
            res.set_header(code == 407 ? "Proxy-Authenticate" : "WWW-Authenticate", "Basic realm=\"kesa\"");
            res.set_content("refused answer, long enough to be more than forty bytes", "text/plain");
            return;
        }
        res.set_content(kAnswer, "x/y");
    };
}

TEST_F(Session, ModeZeroAsksTheUiHost)
{
    TestServer server(Challenger(401, 0, "Authorization", "Basic " + Base64("ann:s3cret")));
    CKesaRequest request;
    request.AddArg("function", "ProcessGame");
    {
        // "Mode" missing: a declined question is a refusal of the credentials.
        CKesaSession session;
        ASSERT_TRUE(session.Open(server.Url()));
        CKesaError e = Failure(session, request);
        EXPECT_EQ(e.Number(), 2046);
        EXPECT_EQ(ui.prompts.size(), 1u);
        EXPECT_EQ(server.Count(), 1);
    }
    {
        ui.answers = {{"ann", "wrong"}, {"ann", "s3cret"}};
        CKesaSession session;
        ASSERT_TRUE(session.Open(server.Url()));
        auto response = session.ProcessRequest(&request);
        EXPECT_EQ(response->GetArgCount(), 2);
        EXPECT_EQ(ui.prompts.size(), 3u);
        const auto received = server.Received();
        ASSERT_EQ(received.size(), 4u);
        EXPECT_EQ(received[3].body, received[0].body); // the body is sent again whole
    }
    {
        // The default host is non-interactive: it declines.
        platform::SetUiHost(nullptr);
        SetProduct("Mode", "0");
        CKesaSession session;
        ASSERT_TRUE(session.Open(server.Url()));
        EXPECT_EQ(Failure(session, request).Number(), 2046);
    }
}

TEST_F(Session, ModeOneAnswersAServerChallengeWithTheStoredCredentials)
{
    SetProduct("Mode", "1");
    SetProduct("ProxyUser", "fw-user");
    SetProduct("ProxyPassword", "fw:pass");
    TestServer server(Challenger(401, 0, "Authorization", "Basic " + Base64("fw-user:fw:pass")));
    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;
    request.AddArg("function", "ProcessList");
    EXPECT_EQ(session.ProcessRequest(&request)->GetArgCount(), 2);
    EXPECT_EQ(server.Count(), 2);
    EXPECT_EQ(ui.prompts.size(), 0u);
}

TEST_F(Session, EndlessChallengesStopAfterSixSends)
{
    SetProduct("Mode", "1");
    TestServer server(Challenger(407, 1000, "Proxy-Authorization", ""));
    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;
    CKesaError e = Failure(session, request);
    EXPECT_EQ(e.Number(), 2046);
    EXPECT_EQ(e.Argument(), "Identification refusée : le serveur Norvelia ou votre proxy n'accepte pas les identifiants "
                            "fournis.");
    EXPECT_EQ(server.Count(), 6);
}

TEST_F(Session, OtherModesGiveUpAtOnce)
{
    SetProduct("Mode", "2");
    SetProduct("ProxyUser", "u");
    TestServer server(Challenger(401, 1000, "Authorization", ""));
    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;
    EXPECT_EQ(Failure(session, request).Number(), 2046);
    EXPECT_EQ(server.Count(), 1);
    EXPECT_EQ(ui.prompts.size(), 0u);
}

TEST_F(Session, ModeOneThroughAProxyThatDemandsBasicCredentials)
{
    SetProduct("Mode", "1");
    SetProduct("ProxyUser", "proxy-user");
    SetProduct("ProxyPassword", "proxy-pass");
    // The test server acts as the proxy: the service's host is never resolved.
    TestServer proxy(Challenger(407, 0, "Proxy-Authorization", "Basic " + Base64("proxy-user:proxy-pass")));
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.Port())).c_str(), 1);
    CKesaSession session;
    ASSERT_TRUE(session.Open("http://service.invalid:8080/kesa/srv"));
    CKesaRequest request;
    request.AddArg("function", "DeclareChannels");
    auto response = session.ProcessRequest(&request);
    ::unsetenv("http_proxy");
    EXPECT_EQ(response->GetArgCount(), 2);
    const auto received = proxy.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].target, "http://service.invalid:8080/kesa/srv");
    EXPECT_FALSE(received[0].Has("Proxy-Authorization"));
    EXPECT_EQ(received[1].body, received[0].body);
    EXPECT_FALSE(received[1].Has("Authorization"));
}

TEST_F(Session, ServersAndProxiesAskingInBasicOrDigest)
{
    struct Case {
        std::string mode;
        int status;
        std::string scheme;
    };
    const Case cases[] = {
        {"1", 401, "Basic"}, {"1", 401, "Digest"}, {"1", 407, "Basic"}, {"1", 407, "Digest"},
        {"0", 401, "Basic"}, {"0", 401, "Digest"}, {"0", 407, "Basic"}, {"0", 407, "Digest"},
    };
    SetProduct("ProxyUser", "ann");
    SetProduct("ProxyPassword", "s3cret");
    for (const Case& c : cases) {
        const std::string label = "mode " + c.mode + " " + std::to_string(c.status) + " " + c.scheme;
        SetProduct("Mode", c.mode);
        ui.prompts.clear();
        ui.answers = {{"ann", "s3cret"}};
        const bool byProxy = c.status == 407;
        TestServer server([&](const httplib::Request& req, httplib::Response& res, int) {
            const std::string given = req.get_header_value(byProxy ? "Proxy-Authorization" : "Authorization");
            const bool answered = c.scheme == "Digest" ? DigestAnswers(given, "POST", "ann", "s3cret")
                                                       : given == "Basic " + Base64("ann:s3cret");
            if (answered) return res.set_content(kAnswer, "x/y");
            res.status = c.status;
            res.set_header(byProxy ? "Proxy-Authenticate" : "WWW-Authenticate",
                           c.scheme == "Digest" ? kDigestChallenge : "Basic realm=\"kesa\"");
        });
        // As a proxy, the test server stands between the client and a service that is never resolved.
        if (byProxy) ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(server.Port())).c_str(), 1);
        CKesaSession session;
        ASSERT_TRUE(session.Open(byProxy ? "http://service.invalid:8080/kesa/srv" : server.Url()));
        CKesaRequest request;
        request.AddArg("function", "DeclareChannels");
        std::unique_ptr<CKesaResponse> response;
        EXPECT_NO_THROW(response = session.ProcessRequest(&request)) << label;
        ::unsetenv("http_proxy");
        session.Close();
        EXPECT_TRUE(response && response->GetArgCount() == 2) << label;
        EXPECT_EQ(server.Count(), 2) << label;
        const std::vector<std::string> asked =
            c.mode == "1" ? std::vector<std::string>{}
                          : std::vector<std::string>{
                                Asks(byProxy, byProxy ? "127.0.0.1:" + std::to_string(server.Port()) : "127.0.0.1")};
        EXPECT_EQ(ui.prompts, asked) << label;
    }
}

// A proxy that tunnels every CONNECT, whatever it names, to one loopback port
// once its Basic credentials come, and refuses with 407 (closing) otherwise.
// Records each request line and the credentials it came with.
class TunnelProxy {
public:
    TunnelProxy(int targetPort, std::string wanted) : m_Target(targetPort), m_Wanted(std::move(wanted))
    {
        m_Fd = ListenOnLoopback(m_Port);
        m_Thread = std::thread([this] { Serve(); });
    }
    ~TunnelProxy()
    {
        m_Stop = true;
        m_Thread.join();
        ::close(m_Fd);
    }
    TunnelProxy(const TunnelProxy&) = delete;
    TunnelProxy& operator=(const TunnelProxy&) = delete;

    int Port() const { return m_Port; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_Port); }
    std::vector<std::string> Lines() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Lines;
    }

private:
    void Serve()
    {
        while (!m_Stop) {
            pollfd p{m_Fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int c = ::accept(m_Fd, nullptr, nullptr);
            if (c < 0) continue;
            std::string head;
            char buf[4096];
            for (int i = 0; i < 100 && head.find("\r\n\r\n") == std::string::npos && head.size() < 65536; ++i) {
                pollfd q{c, POLLIN, 0};
                if (::poll(&q, 1, 50) <= 0) continue;
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                head.append(buf, size_t(n));
            }
            const bool granted = head.find("\r\nProxy-Authorization: " + m_Wanted + "\r\n") != std::string::npos;
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                m_Lines.push_back(head.substr(0, head.find("\r\n")) + (granted ? " +auth" : ""));
            }
            if (granted && head.rfind("CONNECT ", 0) == 0) {
                Tunnel(c);
            } else {
                static const char refusal[] = "HTTP/1.1 407 Proxy Authentication Required\r\n"
                                              "Proxy-Authenticate: Basic realm=\"proxy\"\r\n"
                                              "Content-Length: 0\r\nConnection: close\r\n\r\n";
                (void)::send(c, refusal, sizeof refusal - 1, MSG_NOSIGNAL);
            }
            ::close(c);
        }
    }

    void Tunnel(int client)
    {
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(m_Target));
        if (::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            static const char ok[] = "HTTP/1.1 200 Connection established\r\n\r\n";
            (void)::send(client, ok, sizeof ok - 1, MSG_NOSIGNAL);
            char buf[16384];
            bool open = true;
            while (open && !m_Stop) {
                pollfd both[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
                if (::poll(both, 2, 50) <= 0) continue;
                for (int i = 0; i < 2 && open; ++i) {
                    if (!(both[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                    const ssize_t n = ::recv(both[i].fd, buf, sizeof buf, 0);
                    open = n > 0 && ::send(both[1 - i].fd, buf, size_t(n), MSG_NOSIGNAL) == n;
                }
            }
        }
        ::close(server);
    }

    int m_Target;
    std::string m_Wanted;
    int m_Fd = -1;
    int m_Port = 0;
    std::atomic<bool> m_Stop{false};
    std::thread m_Thread;
    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Lines;
};

TEST_F(Session, HttpsThroughAProxyThatRefusesTheConnect)
{
    const TestCertificates certs(m_Dir);
    ASSERT_TRUE(certs.ok);
    TlsServer service(certs, kAnswer);
    ASSERT_TRUE(service.Valid());
    SetProduct("ProxyUser", "puser");
    SetProduct("ProxyPassword", "ppass");

    struct Case {
        std::string mode;
        bool grants;  // the proxy takes puser/ppass
        bool trusted; // the throw-away authority is given to libcurl
        int raised;   // 0: none
        int connects;
        int asked;
    };
    const Case cases[] = {
        {"1", true, true, 0, 2, 0},     {"0", true, true, 0, 2, 1},      {"1", false, true, 2046, 6, 0},
        {"2", true, true, 2046, 1, 0},  {"0", false, true, 2046, 1, 1},  {"1", true, false, 2006, 2, 0},
    };
    for (const Case& c : cases) {
        const std::string label = "mode " + c.mode + (c.grants ? "" : " refusing") + (c.trusted ? "" : " untrusted");
        SetProduct("Mode", c.mode);
        ui.prompts.clear();
        ui.answers.clear();
        if (c.grants) ui.answers = {{"puser", "ppass"}}; // else the question is declined
        TunnelProxy proxy(service.Port(), c.grants ? "Basic " + Base64("puser:ppass") : "nothing");
        ::setenv("https_proxy", proxy.Url().c_str(), 1);
        if (c.trusted) ::setenv("CURL_CA_BUNDLE", certs.ca.c_str(), 1);
        CKesaSession session;
        ASSERT_TRUE(session.Open("https://service.test/kesa/srv")); // port 443
        CKesaRequest request;
        request.AddArg("function", "DeclareChannels");
        const CKesaError e = Failure(session, request);
        session.Close();
        ::unsetenv("https_proxy");
        ::unsetenv("CURL_CA_BUNDLE");
        EXPECT_EQ(e.Number(), c.raised) << label << ": " << e.Argument();
        EXPECT_EQ(int(ui.prompts.size()), c.asked) << label;
        for (const std::string& p : ui.prompts) EXPECT_EQ(p, Asks(true, "127.0.0.1:" + std::to_string(proxy.Port()))) << label;
        const auto lines = proxy.Lines();
        ASSERT_EQ(int(lines.size()), c.connects) << label;
        EXPECT_EQ(lines[0], "CONNECT service.test:443 HTTP/1.1") << label;
        if (c.grants && c.connects == 2) {
            EXPECT_EQ(lines[1], "CONNECT service.test:443 HTTP/1.1 +auth") << label;
        }
    }
}

TEST_F(Session, ModeOneThroughTinyproxy)
{
    if (!Tinyproxy::Installed()) GTEST_SKIP() << "tinyproxy is not installed";
    SetProduct("Mode", "1");
    SetProduct("ProxyUser", "puser");
    SetProduct("ProxyPassword", "ppass");
    TestServer origin([](const httplib::Request&, httplib::Response& res, int) { res.set_content(kAnswer, "x/y"); });
    Tinyproxy proxy(m_Dir, "puser", "ppass");
    ASSERT_TRUE(proxy.Running());
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.Port())).c_str(), 1);
    CKesaSession session;
    ASSERT_TRUE(session.Open(origin.Url()));
    CKesaRequest request;
    request.AddArg("function", "ProcessGame");
    // tinyproxy refuses the first send with 407 and drops the connection; the retry gets through.
    std::unique_ptr<CKesaResponse> response;
    EXPECT_NO_THROW(response = session.ProcessRequest(&request));
    ::unsetenv("http_proxy");
    session.Close();
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->GetArgCount(), 2);
    ASSERT_EQ(origin.Count(), 1);
    EXPECT_EQ(origin.Received()[0].body.size(), request.BodySize());
}

TEST_F(Session, TraceDumpsEveryAnswerBeforeParsing)
{
    std::atomic<int> which{0};
    const std::string answers[] = {kAnswer, "", B + "\r\nbroken\r\n\r\n\r\n" + Closing()};
    TestServer server([&](const httplib::Request&, httplib::Response& res, int) { res.set_content(answers[which], "x/y"); });
    SetHotSyncHome();
    CKesaRequest request;
    {
        SetProduct("Trace", "On"); // only "on" in lower case turns it on
        CKesaSession session;
        ASSERT_TRUE(session.Open(server.Url()));
        session.ProcessRequest(&request);
        EXPECT_FALSE(fs::exists(m_Dir + "/norvtrace0.bin"));
    }
    SetProduct("Trace", "on");
    {
        CKesaSession session;
        ASSERT_TRUE(session.Open(server.Url()));
        session.ProcessRequest(&request);
        which = 1;
        EXPECT_EQ(Failure(session, request).Number(), 2003);
        which = 2;
        EXPECT_EQ(Failure(session, request).Number(), 2004);
        EXPECT_EQ(ReadFile(m_Dir + "/norvtrace0.bin"), kAnswer);
        EXPECT_TRUE(fs::exists(m_Dir + "/norvtrace1.bin"));
        EXPECT_EQ(fs::file_size(m_Dir + "/norvtrace1.bin"), 0u);
        EXPECT_EQ(ReadFile(m_Dir + "/norvtrace2.bin"), answers[2]);
    }
    {
        // A new session object counts from 0 again.
        which = 0;
        fs::remove(m_Dir + "/norvtrace0.bin");
        CKesaSession session;
        ASSERT_TRUE(session.Open(server.Url()));
        session.ProcessRequest(&request);
        EXPECT_EQ(ReadFile(m_Dir + "/norvtrace0.bin"), kAnswer);
        EXPECT_FALSE(fs::exists(m_Dir + "/norvtrace3.bin"));
    }
}

TEST_F(Session, TraceWithoutHotSyncPathDumpsInTheCurrentDirectory)
{
    TestServer server([&](const httplib::Request&, httplib::Response& res, int) { res.set_content(kAnswer, "x/y"); });
    SetProduct("Trace", "on");
    const fs::path work = fs::path(m_Dir) / "cwd";
    fs::create_directory(work);
    const fs::path previous = fs::current_path();
    fs::current_path(work);
    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;
    session.ProcessRequest(&request);
    fs::current_path(previous);
    EXPECT_EQ(ReadFile(work / "norvtrace0.bin"), kAnswer);
}

TEST_F(Session, HotSyncPathWithoutSeparatorIsTheDirectoryTrimmed)
{
    TestServer server([&](const httplib::Request&, httplib::Response& res, int) { res.set_content(kAnswer, "x/y"); });
    SetProduct("Trace", "on");
    Put(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "HotSyncPath", "  dumps  ");
    const fs::path work = fs::path(m_Dir) / "cwd";
    fs::create_directories(work / "dumps");
    const fs::path previous = fs::current_path();
    fs::current_path(work);
    CKesaSession session;
    ASSERT_TRUE(session.Open(server.Url()));
    CKesaRequest request;
    session.ProcessRequest(&request);
    session.ProcessRequest(&request);
    fs::current_path(previous);
    EXPECT_EQ(ReadFile(work / "dumps" / "norvtrace0.bin"), kAnswer);
    EXPECT_EQ(ReadFile(work / "dumps" / "norvtrace1.bin"), kAnswer);
    EXPECT_FALSE(fs::exists(work / "norvtrace0.bin"));
    EXPECT_FALSE(fs::exists(work / "dumpsnorvtrace0.bin"));
}

} // namespace
