// An HTTP server on 127.0.0.1 for the tests: its owner adds routes, then
// Start() serves them on a thread of its own until Stop() or destruction.
#pragma once
#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

class LoopbackServer {
public:
    LoopbackServer() { m_Server.set_tcp_nodelay(true); }
    ~LoopbackServer() { Stop(); }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& Routes() { return m_Server; }
    void Start()
    {
        m_Port = m_Server.bind_to_any_port("127.0.0.1");
        m_Thread = std::thread([this] { m_Server.listen_after_bind(); });
        // stop() before the loop runs would be lost: wait for it (bounded).
        for (int i = 0; i < 1000 && !m_Server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    void Stop()
    {
        if (!m_Thread.joinable()) return;
        m_Server.stop();
        m_Thread.join();
    }
    int Port() const { return m_Port; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_Port) + path; }

private:
    httplib::Server m_Server;
    std::thread m_Thread;
    int m_Port = -1;
};
