#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "client/MessagesFixture.h"
#include "client/TestServer.h"
#include "common/AnsweringUiHost.h"
#include "common/Digest.h"
#include "common/TestFiles.h"
#include "common/TestCertificates.h"
#include "common/Tinyproxy.h"
#include "common/TlsServer.h"
#include "seam/Ui.h"
#include "settings/ConnectionProbe.h"
#include "settings/HttpAuth.h"
#include "settings/ProbeSession.h"
#include "winreg/WinReg.h"

namespace {

// The credentials question's text: who asks, and its address.
inline std::string Asks(bool proxy, const std::string& address)
{
    return std::string(proxy ? "Le proxy " : "Le serveur ") + address + " demande votre identifiant et votre mot de passe.";
}

class Lines : public IProbeStatusWindow {
public:
    void AddLine(const std::string& line) override { lines.push_back(line); }
    bool Has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    size_t Count(const std::string& part) const
    {
        return size_t(std::count_if(lines.begin(), lines.end(),
                                    [&](const std::string& l) { return l.find(part) != std::string::npos; }));
    }
    std::vector<std::string> lines;
};

// A server that answers every request with `status` and `body`; on 401 and 407
// it challenges in `scheme` ("Basic", "Digest") until the credentials
// puser/ppass come, or for ever when it never `accepts`.
TestServer::Handler Answer(int status, std::string body, std::string scheme = "Basic", bool accepts = true)
{
    return [=](const httplib::Request& req, httplib::Response& res, int) {
        const bool proxy = status == 407;
        const std::string given = req.get_header_value(proxy ? "Proxy-Authorization" : "Authorization");
        const bool answered = scheme == "Digest" ? DigestAnswers(given, req.method, "puser", "ppass")
                                                 : given == "Basic cHVzZXI6cHBhc3M="; // puser:ppass
        if ((status == 401 || status == 407) && !(accepts && answered)) {
            res.status = status;
            res.set_header(proxy ? "Proxy-Authenticate" : "WWW-Authenticate",
                           scheme == "Digest" ? kDigestChallenge : "Basic realm=\"kesa\"");
            res.set_content("refused", "text/plain");
            return;
        }
        res.status = (status == 401 || status == 407) ? 200 : status;
        res.set_content(body, "application/octet-stream");
    };
}

class Probe : public MessagesTest {
protected:
    void SetUp() override
    {
        winreg::SetStorePath(m_Dir / "registry.db");
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
            ::unsetenv(name);
        platform::SetUiHost(&ui);
    }
    void TearDown() override
    {
        platform::SetUiHost(nullptr);
        winreg::SetStorePath("");
    }
    static void SetProduct(const std::string& name, const std::string& text)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Norvelia\\Tidepost", 0, KEY_ALL_ACCESS, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    TempDir m_Dir{"norv-probe"};
    AnsweringUiHost ui;
    Lines window;
};

TEST_F(Probe, StatusesAndTheirErrors)
{
    struct Case {
        int status;
        bool ok;
        DWORD code;
        std::string message; // %s: the URL
        std::string line;    // last line of the window
    };
    const Case cases[] = {
        {200, true, 0, "", "Échanges avec le serveur terminés."},
        {206, true, 0, "", "Échanges avec le serveur terminés."},
        {404, false, 404, "L'adresse %s est introuvable sur le serveur (erreur 404).",
         "L'adresse %s est introuvable sur le serveur (erreur 404)."},
        {403, false, 403, "Accès refusé par le serveur Norvelia (erreur 403, HTTP_STATUS_FORBIDDEN).",
         "Accès refusé par le serveur Norvelia (erreur 403, HTTP_STATUS_FORBIDDEN)."},
        {500, false, 500, "Le serveur a répondu par une erreur HTTP 500.",
         "Le serveur a répondu par une erreur HTTP 500."},
        {302, false, 302, "Le serveur a répondu par une erreur HTTP 302.",
         "Le serveur a répondu par une erreur HTTP 302."},
    };
    for (const Case& c : cases) {
        TestServer server(Answer(c.status, "test-bytes%s"));
        const std::string url = server.Url("/kesa/test.bin");
        auto fill = [&](std::string text) {
            const size_t at = text.find("%s");
            return at == std::string::npos ? text : text.replace(at, 2, url);
        };
        CConnectionProbe probe;
        Lines lines;
        std::string body = "stale";
        EXPECT_EQ(probe.Run(url.c_str(), body, "NvConnexion", &lines), c.ok) << c.status;
        EXPECT_EQ(body, c.ok ? "test-bytes%s" : "") << c.status;
        EXPECT_EQ(probe.m_LastErrorCode, c.code) << c.status;
        EXPECT_EQ(probe.m_LastMessage, fill(c.message)) << c.status;
        ASSERT_FALSE(lines.lines.empty());
        EXPECT_EQ(lines.lines.back(), fill(c.line)) << c.status;
        ASSERT_EQ(server.Count(), 1);
        const auto got = server.Received()[0];
        EXPECT_EQ(got.method, "GET");
        EXPECT_EQ(got.Header("User-Agent"), "NvConnexion");
        EXPECT_EQ(got.Header("Cache-Control"), "no-cache");
        EXPECT_FALSE(got.Has("Authorization"));
    }
}

// The probe follows redirects as the platform does: five at most, each one a
// line in the window, never to the other scheme.
TEST_F(Probe, RedirectsAreFollowedWithinBounds)
{
    struct Case {
        int status;
        int hops; // before test.bin answers; -1: for ever
        std::string location;
        bool ok;
        DWORD code;
    };
    const Case cases[] = {
        {302, 1, "", true, 0},
        {301, 5, "", true, 0},
        {307, -1, "", false, 12156},
        {302, 1, "https://127.0.0.1:1/test.bin", false, 12039},
    };
    for (const Case& c : cases) {
        TestServer server([&](const httplib::Request&, httplib::Response& res, int index) {
            if (c.hops < 0 || index < c.hops) {
                res.status = c.status;
                res.set_header("Location", c.location.empty() ? "/hop" + std::to_string(index + 1) + "/test.bin"
                                                              : c.location);
                res.set_content("moved", "text/plain");
                return;
            }
            res.set_content("test-bytes", "application/octet-stream");
        });
        CConnectionProbe probe;
        Lines lines;
        std::string body;
        EXPECT_EQ(probe.Run(server.Url("/test.bin").c_str(), body, nullptr, &lines), c.ok) << c.status;
        EXPECT_EQ(body, c.ok ? "test-bytes" : "") << c.status;
        EXPECT_EQ(probe.m_LastErrorCode, c.code) << c.status;
        const int followed = c.ok ? c.hops : (c.hops < 0 ? 5 : 0);
        EXPECT_EQ(server.Count(), followed + 1) << c.status;
        EXPECT_EQ(lines.Count("Notification de connexion 110."), size_t(followed)) << c.status;
        if (c.ok) {
            EXPECT_EQ(server.Received().back().target, "/hop" + std::to_string(c.hops) + "/test.bin");
            EXPECT_EQ(lines.lines.back(), "Échanges avec le serveur terminés.");
        } else {
            EXPECT_NE(lines.lines.back().find("(erreur " + std::to_string(c.code) + ")"), std::string::npos)
                << lines.lines.back();
        }
    }
}

TEST_F(Probe, StatusLinesOfOneFetchReachTheWindowInOrder)
{
    TestServer server(Answer(200, std::string(10, 'x')));
    CConnectionProbe probe;
    std::string body;
    ASSERT_TRUE(probe.Run(server.Url("/test.bin").c_str(), body, nullptr, &window));
    const std::vector<std::string> expected = {
        "",
        "Recherche de l'adresse de 127.0.0.1...",
        "Adresse trouvée : 127.0.0.1",
        "Connexion au serveur...",
        "Connecté au serveur.",
        "Envoi de la requête...",
        "Requête envoyée.",
        "Réponse reçue.",
        "10 octets reçus",
        "Fermeture de la connexion...",
        "Connexion fermée.",
        "Requête terminée (résultat 1, erreur 0).",
        "Échange de données avec le serveur Norvelia...",
        "Échanges avec le serveur terminés.",
    };
    EXPECT_EQ(window.lines, expected);
}

TEST_F(Probe, UnreachableHostIsCannotConnect)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(FreePort()) + "/test.bin";
    CConnectionProbe probe;
    std::string body;
    EXPECT_FALSE(probe.Run(url.c_str(), body, nullptr, &window));
    EXPECT_EQ(probe.m_LastErrorCode, 12029u);
    EXPECT_NE(probe.m_LastMessage.find("127.0.0.1"), std::string::npos) << probe.m_LastMessage;
    EXPECT_TRUE(window.Has("Impossible de se connecter au serveur."));
    // The named error replaces the text in the error's line; the request's
    // own line says what is true here, libcurl's reason, the WinInet number kept.
    EXPECT_EQ(window.Count(probe.m_LastMessage), 1u);
    EXPECT_TRUE(window.Has("Requête terminée en échec : " + probe.m_LastMessage + " (erreur WinInet 12029)."));
    EXPECT_EQ(window.Count("(résultat 0, erreur 12029)"), 0u);
}

TEST_F(Probe, EmptyAnswerAndFastTransferLines)
{
    const std::string big(20000, 'b');
    for (const std::string& content : {std::string(), big}) {
        TestServer server(Answer(200, content));
        CConnectionProbe probe;
        Lines lines;
        std::string body;
        ASSERT_TRUE(probe.Run(server.Url("/test.bin").c_str(), body, nullptr, &lines));
        EXPECT_EQ(body, content);
        EXPECT_EQ(lines.Count("Ko/s"), 0u);
        EXPECT_EQ(lines.Count(" octets reçus"), content.empty() ? 0u : lines.Count("octets reçus"));
        if (!content.empty()) {
            EXPECT_GE(lines.Count(" octets reçus"), 5u); // 4095-byte pieces at most
            EXPECT_TRUE(lines.Has("20000 octets reçus"));
        }
        ASSERT_GE(lines.lines.size(), 2u);
        EXPECT_EQ(lines.lines[lines.lines.size() - 2], "Échange de données avec le serveur Norvelia...");
        EXPECT_EQ(lines.lines.back(), "Échanges avec le serveur terminés.");
    }
}

TEST_F(Probe, SlowTransferGivesRates)
{
    httplib::Server server;
    server.set_tcp_nodelay(true);
    server.Get("/test.bin", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
            if (offset > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1100));
            if (offset >= 2048) {
                sink.done();
                return true;
            }
            sink.write(std::string(1024, 's').data(), 1024);
            return true;
        });
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    for (int i = 0; i < 1000 && !server.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));

    CConnectionProbe probe;
    std::string body;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/test.bin";
    EXPECT_TRUE(probe.Run(url.c_str(), body, nullptr, &window));
    server.stop();
    serving.join();
    EXPECT_EQ(body.size(), 2048u);
    EXPECT_TRUE(window.Has("1024 octets reçus"));
    EXPECT_EQ(window.Count("2048 octets reçus ("), 1u);
    EXPECT_EQ(window.Count(" Ko/s)"), 1u);
}

TEST_F(Probe, ChallengesByMode)
{
    struct Case {
        std::string mode;
        int status;
        std::string scheme;
        std::vector<std::pair<std::string, std::string>> answers;
        bool ok;
        int sends;
        size_t asked;
    };
    const Case cases[] = {
        {"", 401, "Basic", {{"x", "y"}, {"puser", "ppass"}}, true, 3, 2}, // no Mode: asks
        {"1", 401, "Basic", {}, true, 2, 0},
        {"1", 407, "Basic", {}, true, 2, 0},
        {"1", 401, "Digest", {}, true, 2, 0},
        {"1", 407, "Digest", {}, true, 2, 0},
        {"0", 401, "Basic", {{"puser", "ppass"}}, true, 2, 1},
        {"0", 401, "Basic", {}, false, 1, 1},
        {"2", 407, "Basic", {}, false, 1, 0},
        {"abc", 407, "Basic", {}, false, 1, 1},
        {"0", 407, "Basic", {{"puser", "ppass"}}, true, 2, 1},
        {"0", 407, "Digest", {{"puser", "ppass"}}, true, 2, 1},
    };
    for (const Case& c : cases) {
        const std::string label = "mode " + c.mode + " status " + std::to_string(c.status) + " " + c.scheme;
        if (!c.mode.empty()) SetProduct("Mode", c.mode);
        SetProduct("ProxyUser", "puser");
        SetProduct("ProxyPassword", "ppass");
        ui.prompts.clear();
        ui.answers = c.answers;
        TestServer server(Answer(c.status, "body", c.scheme, c.ok));
        // A 407 comes from a proxy: the test server plays it, the service's host is never resolved.
        const std::string proxy = "127.0.0.1:" + std::to_string(server.Port());
        if (c.status == 407) ::setenv("http_proxy", ("http://" + proxy).c_str(), 1);
        const std::string url = c.status == 407 ? "http://probe.invalid/test.bin" : server.Url("/test.bin");
        CConnectionProbe probe;
        Lines lines;
        std::string body;
        EXPECT_EQ(probe.Run(url.c_str(), body, nullptr, &lines), c.ok) << label;
        ::unsetenv("http_proxy");
        EXPECT_EQ(body, c.ok ? "body" : "") << label;
        EXPECT_EQ(server.Count(), c.sends) << label;
        EXPECT_EQ(ui.prompts.size(), c.asked) << label;
        for (const std::string& p : ui.prompts) EXPECT_EQ(p, Asks(c.status == 407, c.status == 407 ? proxy : "127.0.0.1")) << label;
        if (!c.ok) {
            EXPECT_EQ(probe.m_LastErrorCode, DWORD(c.status)) << label;
            EXPECT_EQ(probe.m_LastMessage, KESA_FormatMessage(2046)) << label;
            EXPECT_EQ(lines.lines.back(), KESA_FormatMessage(2046) + " (erreur " + std::to_string(c.status) + ")");
        }
    }
}

TEST_F(Probe, EndlessChallengesStopAfterSixSends)
{
    SetProduct("Mode", "1");
    TestServer server(Answer(407, "body", "Basic", false));
    ::setenv("http_proxy", server.Url("").c_str(), 1);
    CConnectionProbe probe;
    std::string body;
    EXPECT_FALSE(probe.Run("http://probe.invalid/test.bin", body, nullptr, &window));
    ::unsetenv("http_proxy");
    EXPECT_EQ(server.Count(), 6);
    EXPECT_EQ(probe.m_LastErrorCode, 407u);
}

TEST_F(Probe, ReportErrorLines)
{
    struct Case {
        DWORD code;
        std::string text;
        std::string line;
    };
    const std::string longText(600, 'e');
    const Case cases[] = {
        {12023, "t", "Accès direct à Internet impossible : vérifiez vos paramètres de connexion."},
        {12029, "t", "Impossible de se connecter au serveur."},
        {12030, "t", "La connexion avec le serveur a été interrompue."},
        {12031, "t", "La connexion a été réinitialisée par le serveur."},
        {12037, "t", "Le certificat de sécurité du serveur est expiré ou pas encore valide."},
        {12007, "Could not resolve host: x.invalid", "Could not resolve host: x.invalid (erreur 12007)"},
        {500, "100% sure %s", "100% sure %s (erreur 500)"},
        // A text that names its code already is not followed by it again;
        // a number that only contains the code's digits is no such name.
        {404, "introuvable (erreur 404).", "introuvable (erreur 404)."},
        {404, "port 14040", "port 14040 (erreur 404)"},
        {7, longText, longText.substr(0, 511)},
    };
    CConnectionProbe probe;
    ASSERT_TRUE(probe.OpenSession(nullptr, &window));
    for (const Case& c : cases) {
        probe.ReportError(c.code, c.text);
        EXPECT_EQ(probe.m_LastErrorCode, c.code);
        EXPECT_EQ(window.lines.back(), c.line);
    }
    // A cut line never ends inside a character.
    probe.ReportError(1, std::string(510, 'a') + "é");
    EXPECT_EQ(window.lines.back(), std::string(510, 'a'));
}

TEST_F(Probe, StatusCallbackLines)
{
    struct Case {
        DWORD status;
        std::string information;
        std::string line; // "-" : no line
    };
    const Case cases[] = {
        // The others are seen in the lines of one fetch.
        {10, "host.test", "Recherche de l'adresse de host.test..."},
        {40, "", "-"},
        {70, "", "-"},
        {100, "", "Requête terminée."},
        {99, "", "Notification de connexion 99."},
    };
    CConnectionProbe probe;
    ASSERT_TRUE(probe.OpenSession(nullptr, &window));
    for (const Case& c : cases) {
        window.lines.clear();
        probe.m_Session->OnStatusCallback(1, c.status, c.information.c_str(), DWORD(c.information.size() + 1));
        if (c.line == "-")
            EXPECT_TRUE(window.lines.empty()) << c.status;
        else
            EXPECT_EQ(window.lines, std::vector<std::string>{c.line}) << c.status;
    }
    const INTERNET_ASYNC_RESULT result{0, 12029};
    window.lines.clear();
    probe.m_Session->OnStatusCallback(1, 100, &result, sizeof result);
    EXPECT_EQ(window.lines, std::vector<std::string>{"Requête terminée (résultat 0, erreur 12029)."});
    // Without a window the lines go nowhere.
    probe.m_Session->m_StatusWindow = nullptr;
    probe.m_Session->OnStatusCallback(1, 20, nullptr, 0);
    EXPECT_EQ(window.lines.size(), 1u);
}

} // namespace

namespace {

TEST_F(Probe, HttpsThroughAProxyThatAsksForCredentials)
{
    if (!Tinyproxy::Installed()) GTEST_SKIP() << "tinyproxy is not installed";
    const TestCertificates certs(m_Dir.Path());
    ASSERT_TRUE(certs.ok);
    TlsServer server(certs, "secure-bytes");
    ASSERT_TRUE(server.Valid());
    Tinyproxy proxy(m_Dir.Path(), "puser", "ppass");
    ASSERT_TRUE(proxy.Running());
    SetProduct("ProxyUser", "puser");
    SetProduct("ProxyPassword", "ppass");
    const std::string url = "https://localhost:" + std::to_string(server.Port()) + "/test.bin";

    struct Case {
        std::string mode;
        bool trusted; // the throw-away authority is given to libcurl
        std::vector<std::pair<std::string, std::string>> answers;
        bool ok;
        DWORD code;
        size_t asked;
    };
    const Case cases[] = {
        {"1", true, {}, true, 0, 0},
        {"0", true, {{"puser", "ppass"}}, true, 0, 1},
        {"0", true, {}, false, 407, 1},
        {"2", true, {}, false, 407, 0},
        {"1", false, {}, false, 12045, 0}, // the certificate is checked
    };
    for (const Case& c : cases) {
        const std::string label = "mode " + c.mode + (c.trusted ? "" : " untrusted");
        SetProduct("Mode", c.mode);
        ui.prompts.clear();
        ui.answers = c.answers;
        ::setenv("https_proxy", proxy.Url().c_str(), 1);
        if (c.trusted) ::setenv("CURL_CA_BUNDLE", certs.ca.c_str(), 1);
        CConnectionProbe probe;
        Lines lines;
        std::string body;
        EXPECT_EQ(probe.Run(url.c_str(), body, nullptr, &lines), c.ok) << label;
        ::unsetenv("https_proxy");
        ::unsetenv("CURL_CA_BUNDLE");
        EXPECT_EQ(body, c.ok ? "secure-bytes" : "") << label;
        EXPECT_EQ(probe.m_LastErrorCode, c.code) << label << " " << probe.m_LastMessage;
        EXPECT_EQ(ui.prompts.size(), c.asked) << label;
        for (const std::string& p : ui.prompts) EXPECT_EQ(p, Asks(true, "127.0.0.1:" + std::to_string(proxy.Port()))) << label;
        EXPECT_TRUE(lines.Has("Recherche de l'adresse de 127.0.0.1...")) << label; // the proxy is looked up
    }
}

} // namespace

namespace {

TEST(ProbeHelpers, ProxyChosenFromTheEnvironmentAsLibcurlDoes)
{
    struct Case {
        std::vector<std::pair<const char*, const char*>> env;
        std::string url;
        std::string proxy;
    };
    const Case cases[] = {
        {{}, "http://a.test/x", ""},
        {{{"http_proxy", "http://p.lan:3128"}}, "http://a.test/x", "p.lan:3128"},
        {{{"HTTP_PROXY", "http://p.lan:3128"}}, "http://a.test/x", ""}, // not honoured for http
        {{{"HTTPS_PROXY", "p.lan:8080"}}, "https://a.test/x", "p.lan:8080"},
        {{{"https_proxy", "http://u:pw@p.lan"}}, "https://a.test/x", "p.lan:1080"},
        {{{"all_proxy", "http://p.lan:1"}}, "https://a.test/x", "p.lan:1"},
        {{{"http_proxy", "http://p.lan:3128"}, {"no_proxy", "b.test, .a.test"}}, "http://www.a.test/x", ""},
        {{{"http_proxy", "http://p.lan:3128"}, {"no_proxy", "a.test"}}, "http://aa.test/x", "p.lan:3128"},
        {{{"http_proxy", "http://p.lan:3128"}, {"NO_PROXY", "*"}}, "http://a.test/x", ""},
    };
    const char* names[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                           "no_proxy", "NO_PROXY"};
    for (const Case& c : cases) {
        for (const char* n : names) ::unsetenv(n);
        for (const auto& [name, value] : c.env) ::setenv(name, value, 1);
        EXPECT_EQ(ProxyFor(c.url), c.proxy) << c.url << " " << (c.env.empty() ? "" : c.env[0].first);
    }
    for (const char* n : names) ::unsetenv(n);
}

TEST(ProbeHelpers, SchemePickedFromAChallenge)
{
    const std::pair<unsigned long, unsigned long> cases[] = {
        {CURLAUTH_BASIC | CURLAUTH_DIGEST, CURLAUTH_DIGEST},
        {CURLAUTH_BASIC, CURLAUTH_BASIC},
        {CURLAUTH_NTLM | CURLAUTH_BASIC, CURLAUTH_BASIC},
        {CURLAUTH_NEGOTIATE, CURLAUTH_NEGOTIATE},
        {0, CURLAUTH_ANY},
    };
    for (const auto& [offered, picked] : cases) EXPECT_EQ(PickAuth(offered), picked) << offered;
}

} // namespace
