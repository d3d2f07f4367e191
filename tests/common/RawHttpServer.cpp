#include "common/RawHttpServer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {
#ifdef _WIN32
using Socket = SOCKET;
void CloseSocket(Socket s) { ::closesocket(s); }
int Poll(pollfd* fds, int ms) { return ::WSAPoll(fds, 1, ms); }
#else
using Socket = int;
void CloseSocket(Socket s) { ::close(s); }
int Poll(pollfd* fds, int ms) { return ::poll(fds, 1, ms); }
#endif
} // namespace

struct RawHttpServer::Impl {
    Handler handler;
    Streamer streamer;
    Socket listening{};
    int port = 0;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<RawRequest> received;
    std::thread thread;

    // Waits, in bounded steps, until the socket is readable or the server stops.
    bool Readable(Socket s)
    {
        while (!stop) {
            pollfd p{};
            p.fd = s;
            p.events = POLLIN;
            if (Poll(&p, 50) > 0) return true;
        }
        return false;
    }
    // One connection, one request after another, on this thread.
    void Converse(Socket s)
    {
        std::string in;
        char piece[65536];
        while (Readable(s)) {
            const auto n = ::recv(s, piece, sizeof piece, 0);
            if (n <= 0) break;
            in.append(piece, static_cast<size_t>(n));
            const size_t end = in.find("\r\n\r\n");
            if (end == std::string::npos) continue;
            RawRequest r;
            r.head = in.substr(0, end + 2);
            const size_t length = std::strtoul(r.Header("Content-Length").c_str(), nullptr, 10);
            if (in.size() < end + 4 + length) continue;
            r.body = in.substr(end + 4, length);
            in.erase(0, end + 4 + length);
            r.method = r.head.substr(0, r.head.find(' '));
            const size_t target = r.method.size() + 1;
            r.target = r.head.substr(target, r.head.find(' ', target) - target);
            int index = 0;
            {
                std::lock_guard<std::mutex> lock(mutex);
                index = static_cast<int>(received.size());
                received.push_back(r);
            }
            if (streamer) {
                bool open = true;
                streamer(r, index, [&](const std::string& bytes) { return open = open && Write(s, bytes); });
                if (!open) return;
                continue;
            }
            if (!Write(s, handler(r, index))) return;
        }
    }
    // False once the server stops or the client has closed its side.
    bool Write(Socket s, const std::string& out)
    {
        if (stop) return false;
        if (out.empty()) {
            pollfd p{};
            p.fd = s;
            p.events = POLLIN;
            char peek;
            return Poll(&p, 0) <= 0 || ::recv(s, &peek, 1, MSG_PEEK) > 0;
        }
        for (size_t sent = 0; sent < out.size();) {
            const auto k = ::send(s, out.data() + sent, static_cast<int>(std::min<size_t>(out.size() - sent, 65536)), 0);
            if (k <= 0) return false;
            sent += static_cast<size_t>(k);
        }
        return true;
    }
    void Serve()
    {
        std::vector<std::thread> conversations;
        while (Readable(listening)) {
            const Socket s = ::accept(listening, nullptr, nullptr);
            conversations.emplace_back([this, s] {
                Converse(s);
                CloseSocket(s);
            });
        }
        for (auto& t : conversations) t.join();
    }

};

RawHttpServer::RawHttpServer(Handler handler) : m_Impl(std::make_unique<Impl>())
{
    m_Impl->handler = std::move(handler);
    Start();
}

RawHttpServer::RawHttpServer(Streamer streamer) : m_Impl(std::make_unique<Impl>())
{
    m_Impl->streamer = std::move(streamer);
    Start();
}

void RawHttpServer::Start()
{
#ifdef _WIN32
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
    Impl& i = *m_Impl;
    i.listening = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(i.listening, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(i.listening, 16);
    ::getsockname(i.listening, reinterpret_cast<sockaddr*>(&address), &length);
    i.port = ntohs(address.sin_port);
    i.thread = std::thread([&i] { i.Serve(); });
}

RawHttpServer::~RawHttpServer()
{
    m_Impl->stop = true;
    m_Impl->thread.join();
    CloseSocket(m_Impl->listening);
#ifdef _WIN32
    ::WSACleanup();
#endif
}

int RawHttpServer::Port() const
{
    return m_Impl->port;
}

std::vector<RawRequest> RawHttpServer::Received()
{
    std::lock_guard<std::mutex> lock(m_Impl->mutex);
    return m_Impl->received;
}
