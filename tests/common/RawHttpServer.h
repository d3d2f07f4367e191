// A plain-socket HTTP server on 127.0.0.1 for the tests that run on both
// platforms (the Windows build has no cpp-httplib): each request, head and
// body by Content-Length, goes to the test's handler, which returns the raw
// answer bytes. Connections are kept alive until the client closes them.
// The sockets stay in RawHttpServer.cpp: <winsock2.h> names DWORD otherwise
// than our headers.
#pragma once
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct RawRequest {
    std::string method, target, head, body;
    // A header's value (names compared without case), or empty.
    std::string Header(std::string name) const
    {
        auto lower = [](std::string s) {
            for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        const std::string h = lower(head);
        const size_t at = h.find("\r\n" + lower(name) + ":");
        if (at == std::string::npos) return {};
        size_t from = at + 3 + name.size();
        while (from < head.size() && head[from] == ' ') ++from;
        return head.substr(from, head.find("\r\n", from) - from);
    }
};

class RawHttpServer {
public:
    // index: the request's position among those received, from 0.
    using Handler = std::function<std::string(const RawRequest&, int index)>;
    // Sends bytes of an answer as they come (none: only asks); false once
    // the client has gone or the server is stopping.
    using Writer = std::function<bool(const std::string& bytes)>;
    // Answers in its own time: silent for a while, or a byte now and then.
    using Streamer = std::function<void(const RawRequest&, int index, const Writer& write)>;

    explicit RawHttpServer(Handler handler);
    explicit RawHttpServer(Streamer streamer);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int Port() const;
    std::string Url(const std::string& path = "/kesa/srv") const
    {
        return "http://127.0.0.1:" + std::to_string(Port()) + path;
    }
    std::vector<RawRequest> Received();

    // A whole answer: status line, the given header lines, Content-Length, body.
    static std::string Answer(int status, const std::string& body, const std::string& headers = {})
    {
        return "HTTP/1.1 " + std::to_string(status) + " X\r\n" + headers +
               "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }

private:
    void Start();
    struct Impl;
    std::unique_ptr<Impl> m_Impl;
};
