// An HTTPS server on 127.0.0.1 for one test, with a throw-away certificate:
// answers every GET and POST with the same body and counts the requests.
#pragma once
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "common/TestCertificates.h"

class TlsServer {
public:
    TlsServer(const TestCertificates& certs, std::string body)
        : m_Body(std::move(body)), m_Server(certs.cert.c_str(), certs.key.c_str())
    {
        auto serve = [this](const httplib::Request&, httplib::Response& res) {
            ++m_Count;
            res.set_content(m_Body, "application/octet-stream");
        };
        m_Server.set_tcp_nodelay(true);
        m_Server.set_keep_alive_timeout(1);
        m_Server.Get(".*", serve);
        m_Server.Post(".*", serve);
        m_Port = m_Server.bind_to_any_port("127.0.0.1");
        m_Thread = std::thread([this] { m_Server.listen_after_bind(); });
        for (int i = 0; i < 1000 && !m_Server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~TlsServer()
    {
        m_Server.stop();
        m_Thread.join();
    }
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    bool Valid() { return m_Server.is_valid() && m_Port > 0; }
    int Port() const { return m_Port; }
    int Count() const { return m_Count; }

private:
    std::string m_Body;
    httplib::SSLServer m_Server;
    int m_Port = -1;
    std::atomic<int> m_Count{0};
    std::thread m_Thread;
};
