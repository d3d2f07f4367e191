// norvelia-service: a reference implementation of the Norvelia service, for
// the demo and the tests. Serves GET .../test.bin and the client's queries
// posted under /Tidepost/, from a content folder, records what it receives
// in an SQLite file, and shows a status page at "/".
#include <httplib.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include <CLI/CLI.hpp>

#include "QueryHandler.h"
#include "ServiceContent.h"
#include "StateStore.h"
#include "StatusPage.h"
#include "WorkerPool.h"
#include "platform/Version.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string listen = "127.0.0.1:8470";
    std::string portFile;
    std::string content = ".";
    std::string state;
    std::vector<std::string> users;
    std::string basicAuth;
    int fail = 0;
    int delayMs = 0;
    std::vector<std::string> stalls;
    bool broken = false;
};

constexpr const char* kAnswerType = "multipart/form-data; boundary=---------------------------7d02e419b08";
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

// What the handler of a request tells the logger, which runs right after it
// on the same thread.
thread_local QueryOutcome t_Outcome;

std::mutex g_LogMutex;

// One write per line, so lines from the request threads and the main thread never mix.
void LogLine(const std::string& line)
{
    std::lock_guard<std::mutex> lock(g_LogMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

bool SplitPair(const std::string& text, std::string& left, std::string& right)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    left = text.substr(0, colon);
    right = text.substr(colon + 1);
    return true;
}

// Written beside, then renamed: a reader never sees half a number.
bool WritePortFile(const std::string& path, int port)
{
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!(out << port << "\n")) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

std::string ProgramDir()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

// Why `host:port` cannot be listened on, asked of the system again: the HTTP
// library only says that it failed.
std::string ListenFailure(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); rc != 0)
        return ::gai_strerror(rc);
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);
    for (const addrinfo* a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) return std::strerror(errno);
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        const bool ok = ::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 1) == 0;
        const int error = errno;
        ::close(fd);
        if (!ok) return std::strerror(error);
    }
    return "the address was taken meanwhile";
}

// Removes the compiled content when the service ends.
struct WorkDir {
    std::string path;
    ~WorkDir()
    {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"norvelia-service: reference Norvelia service (test.bin, the client's queries, a status page at /)"};
    app.set_version_flag("--version", std::string("norvelia-service ") + kNorvVersion);
    Options opt;
    app.add_option("--listen", opt.listen, "HOST:PORT to listen on; port 0 picks a free one")
        ->capture_default_str();
    app.add_option("--port-file", opt.portFile, "write the port listened on to this file");
    app.add_option("--content", opt.content, "content folder (catalogs/, users/, app/, games/)")
        ->capture_default_str();
    app.add_option("--state", opt.state,
                   "SQLite file recording orders, games and requests "
                   "(default ${XDG_STATE_HOME:-~/.local/state}/norvelia-service/state.db)");
    app.add_option("--user", opt.users, "UID:PWD accepted (repeatable); without it any credentials are accepted");
    app.add_option("--basic-auth", opt.basicAuth, "USER:PASS: answer 401 until requests carry them");
    app.add_option("--fail", opt.fail, "answer every request with this HTTP status")->check(CLI::Range(100, 599));
    app.add_option("--delay", opt.delayMs, "wait this many milliseconds before answering")->check(CLI::NonNegativeNumber);
    app.add_option("--stall", opt.stalls,
                   "CID:MS: queries for that channel wait MS milliseconds before answering (repeatable)");
    app.add_flag("--broken", opt.broken, "answer queries with bodies that cannot be parsed");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    std::string host, portText;
    if (!SplitPair(opt.listen, host, portText) || host.empty()) {
        std::cerr << "norvelia-service: --listen wants HOST:PORT\n";
        return kExitUsage;
    }
    char* end = nullptr;
    const long port = std::strtol(portText.c_str(), &end, 10);
    if (portText.empty() || *end || port < 0 || port > 65535) {
        std::cerr << "norvelia-service: bad port in --listen: " << portText << "\n";
        return kExitUsage;
    }
    std::map<std::string, std::string> users;
    for (const std::string& user : opt.users) {
        std::string uid, pwd;
        if (!SplitPair(user, uid, pwd) || uid.empty()) {
            std::cerr << "norvelia-service: --user wants UID:PWD\n";
            return kExitUsage;
        }
        users[uid] = pwd;
    }
    std::map<std::string, int> stalls;
    for (const std::string& stall : opt.stalls) {
        std::string id, msText;
        char* msEnd = nullptr;
        const long ms = SplitPair(stall, id, msText) ? std::strtol(msText.c_str(), &msEnd, 10) : -1;
        if (id.empty() || msText.empty() || *msEnd || ms < 0 || ms > 3600000) {
            std::cerr << "norvelia-service: --stall wants CID:MS (0 to 3600000 milliseconds)\n";
            return kExitUsage;
        }
        stalls[id] = int(ms);
    }
    std::string authUser, authPass;
    if (!opt.basicAuth.empty() && !SplitPair(opt.basicAuth, authUser, authPass)) {
        std::cerr << "norvelia-service: --basic-auth wants USER:PASS\n";
        return kExitUsage;
    }
    std::string error;
    if (opt.state.empty()) {
        opt.state = CStateStore::DefaultPath(error);
        if (opt.state.empty()) {
            std::cerr << "norvelia-service: " << error << "\n";
            return 1;
        }
    }

    WorkDir work;
    {
        // A TMPDIR that names no folder is reported, and the system's is used.
        std::error_code ec;
        fs::path tmp = fs::temp_directory_path(ec);
        if (ec || !fs::is_directory(tmp, ec)) {
            const char* named = std::getenv("TMPDIR");
            std::cerr << "norvelia-service: warning: TMPDIR (" << (named ? named : "") << ") is not a folder"
                      << "; using /tmp\n";
            tmp = "/tmp";
        }
        std::string tmpl = (tmp / "norvelia-service.XXXXXX").string();
        if (!mkdtemp(tmpl.data())) {
            std::cerr << "norvelia-service: cannot create a work folder in " << tmp.string() << ": "
                      << std::strerror(errno) << "\n";
            return 1;
        }
        work.path = tmpl;
    }
    CServiceContent content;
    const std::string catalogc = ProgramDir() + "/catalogc";
    if (!content.Load(opt.content, fs::exists(catalogc) ? catalogc : "catalogc", work.path, error)) {
        std::cerr << "norvelia-service: " << error << "\n";
        return 1;
    }
    CStateStore state;
    if (!state.Open(opt.state, error)) {
        std::cerr << "norvelia-service: cannot open " << opt.state << ": " << error << "\n";
        return 1;
    }
    CQueryHandler handler(content, state, users);
    handler.SetStalls(stalls);
    std::vector<std::string> userIds;
    for (const auto& entry : users) userIds.push_back(entry.first);
    const CStatusPage statusPage(content, state, userIds);

    // SIGINT and SIGTERM are taken by sigwait below, in every thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    server.set_tcp_nodelay(true);
    server.set_payload_max_length(size_t(64) << 20);
    // A worker per connection, and little patience with a connection that
    // sends nothing: idle clients must not hold the service.
    server.new_task_queue = [] { return new CWorkerPool(); };
    server.set_keep_alive_timeout(2);
    server.set_read_timeout(2, 0);
    // The library's own options share the port with any other listener
    // (SO_REUSEPORT); an address already taken must be refused instead.
    int listenFd = -1;
    server.set_socket_options([&](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listenFd = sock;
    });

    // --basic-auth, --fail and --delay apply to every request.
    server.set_pre_routing_handler([&](const httplib::Request& req, httplib::Response& res) {
        t_Outcome = {};
        if (opt.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(opt.delayMs));
        if (!opt.basicAuth.empty()) {
            const std::string expected = httplib::make_basic_authentication_header(authUser, authPass).second;
            if (req.get_header_value("Authorization") != expected) {
                res.status = 401;
                res.set_header("WWW-Authenticate", "Basic realm=\"Norvelia\"");
                res.set_content("Authentication required\n", "text/plain");
                t_Outcome.result = "401";
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        if (opt.fail > 0) {
            res.status = opt.fail;
            res.set_content("Failing on purpose\n", "text/plain");
            t_Outcome.result = std::to_string(opt.fail);
            return httplib::Server::HandlerResponse::Handled;
        }
        // A request with neither header has no body; the HTTP library would
        // wait for the connection to close before answering.
        if (req.method == "POST" && !req.has_header("Content-Length") && !req.has_header("Transfer-Encoding") &&
            req.path.rfind("/Tidepost/", 0) == 0) {
            res.set_content(CQueryHandler::Unreadable(t_Outcome), kAnswerType);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    server.Get(R"((.*/)?test\.bin)", [&](const httplib::Request&, httplib::Response& res) {
        std::string bytes;
        for (int i = 0; i < 1024; ++i) bytes.push_back(char(i & 0xFF));
        res.set_content(bytes, "application/octet-stream");
        t_Outcome.function = "test.bin";
        t_Outcome.result = std::to_string(bytes.size()) + " bytes";
    });

    server.Get("/", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(statusPage.Render(), "text/html; charset=utf-8");
        res.set_header("Cache-Control", "no-store");
        t_Outcome.function = "status page";
    });

    server.Post(R"(/Tidepost/.*)", [&](const httplib::Request& req, httplib::Response& res,
                                       const httplib::ContentReader& read) {
        // The body is read whole in every case, so that the connection stays usable.
        CQueryArgs form;
        std::string body;
        bool readable = true;
        if (req.is_multipart_form_data()) {
            // A standard form (curl -F): the boundary comes from Content-Type.
            std::vector<QueryArg> parts;
            readable = read(
                [&](const httplib::MultipartFormData& head) {
                    parts.push_back({head.name, head.filename, {}});
                    return true;
                },
                [&](const char* data, size_t size) {
                    if (!parts.empty()) parts.back().bytes.append(data, size);
                    return true;
                });
            for (QueryArg& part : parts) {
                readable = readable && !part.name.empty();
                // A text field's content is its value, as in the client's layout.
                if (part.value.empty()) {
                    part.value = std::move(part.bytes);
                    part.bytes.clear();
                }
                form.Add(std::move(part));
            }
            readable = readable && !form.Empty();
        } else {
            read([&](const char* data, size_t size) {
                body.append(data, size);
                return true;
            });
        }
        res.status = 200;
        if (opt.broken) {
            res.set_content("broken", "application/octet-stream");
            t_Outcome.result = "broken";
            return;
        }
        const std::string answer = !readable                 ? CQueryHandler::Unreadable(t_Outcome)
                                   : req.is_multipart_form_data() ? handler.Handle(form, t_Outcome)
                                                                  : handler.Handle(body, t_Outcome);
        res.set_content(answer, kAnswerType);
    });

    server.set_logger([&](const httplib::Request& req, const httplib::Response& res) {
        const QueryOutcome& o = t_Outcome;
        // Looking at the status page is not a request worth showing on it.
        if (o.function != "status page")
            state.AddRequest(o.function.empty() ? req.method + " " + req.path : o.function, o.uid,
                         o.result.empty() ? std::to_string(res.status) : o.result);
        std::ostringstream line;
        line << CStateStore::Now() << " " << req.remote_addr << " " << req.method << " " << req.path << " "
             << res.status << " " << (o.function.empty() ? "-" : o.function) << " " << (o.uid.empty() ? "-" : o.uid)
             << " " << (o.result.empty() ? "-" : o.result) << "\n";
        LogLine(line.str());
        t_Outcome = {};
    });

    int bound = -1;
    if (port == 0) {
        bound = server.bind_to_any_port(host);
    } else if (server.bind_to_port(host, int(port))) {
        bound = int(port);
    }
    if (bound <= 0) {
        std::cerr << "norvelia-service: cannot listen on " << opt.listen << ": " << ListenFailure(host, int(port))
                  << "\n";
        return 1;
    }
    // The library listens with a backlog of 5: a burst of connections would
    // wait a second for each SYN retried. Listening again only raises it.
    if (listenFd >= 0) ::listen(listenFd, SOMAXCONN);
    std::thread listener([&] { server.listen_after_bind(); });
    // stop() before the loop runs would be lost.
    for (int i = 0; i < 2000 && !server.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));

    if (!opt.portFile.empty() && !WritePortFile(opt.portFile, bound)) {
        std::cerr << "norvelia-service: cannot write " << opt.portFile << ": " << std::strerror(errno) << "\n";
        server.stop();
        listener.join();
        return 1;
    }
    if (content.Channels().empty())
        std::cerr << "norvelia-service: warning: " << opt.content
                  << " holds no catalog, so no channel is served: expected catalogs/<CHANNEL>/catalog.json "
                     "(or catalog.pdb), and optionally users/, games/ and app/, as in the samples folder\n";
    std::cout << "norvelia-service: http://" << host << ":" << bound << "/Tidepost/" << std::endl;

    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    LogLine("norvelia-service: stopping (signal " + std::to_string(signalNumber) + ")\n");
    server.stop();
    listener.join();
    return signalNumber == SIGINT ? kExitInterrupted : 0;
}
