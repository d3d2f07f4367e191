// An HTTP server on 127.0.0.1 for one test: answers through a handler given
// by the test (any status, body, challenge) and records every request.
#pragma once
#include <httplib.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ReceivedRequest {
    std::string method;
    std::string target;
    std::string body;
    httplib::Headers headers;
    int remotePort = -1;

    bool Has(const std::string& header) const { return headers.find(header) != headers.end(); }
    std::string Header(const std::string& header) const
    {
        auto it = headers.find(header);
        return it == headers.end() ? std::string() : it->second;
    }
};

class TestServer {
public:
    // index: the position of this request among those received, from 0.
    using Handler = std::function<void(const httplib::Request&, httplib::Response&, int index)>;

    explicit TestServer(Handler handler) : m_Handler(std::move(handler))
    {
        auto serve = [this](const httplib::Request& req, httplib::Response& res) {
            int index = 0;
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                index = static_cast<int>(m_Received.size());
                m_Received.push_back({req.method, req.target, req.body, req.headers, req.remote_port});
            }
            m_Handler(req, res, index);
        };
        m_Server.set_tcp_nodelay(true);
        m_Server.set_keep_alive_timeout(1);
        m_Server.Post(".*", serve);
        m_Server.Get(".*", serve);
        m_Port = m_Server.bind_to_any_port("127.0.0.1");
        m_Thread = std::thread([this] { m_Server.listen_after_bind(); });
        // stop() before the loop runs would be lost: wait for it (bounded).
        for (int i = 0; i < 1000 && !m_Server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~TestServer()
    {
        m_Server.stop();
        m_Thread.join();
    }
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int Port() const { return m_Port; }
    std::string Url(const std::string& path = "/kesa/srv") const
    {
        return "http://127.0.0.1:" + std::to_string(m_Port) + path;
    }
    std::vector<ReceivedRequest> Received() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Received;
    }
    int Count() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return static_cast<int>(m_Received.size());
    }

private:
    Handler m_Handler;
    httplib::Server m_Server;
    int m_Port = -1;
    std::thread m_Thread;
    mutable std::mutex m_Mutex;
    std::vector<ReceivedRequest> m_Received;
};
