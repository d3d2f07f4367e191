// A real proxy for a test: tinyproxy in the foreground on loopback, with Basic
// credentials; stopped by its own process id.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

// A loopback port nobody listens on right now.
inline int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

inline bool Listening(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

class Tinyproxy {
public:
    static bool Installed() { return ::access("/usr/bin/tinyproxy", X_OK) == 0; }

    Tinyproxy(const std::string& dir, const std::string& user, const std::string& password) : m_Port(FreePort())
    {
        const std::string conf = dir + "/tinyproxy.conf";
        std::ofstream(conf) << "Port " << m_Port << "\nListen 127.0.0.1\nAllow 127.0.0.1\nBasicAuth " << user << " "
                            << password << "\nTimeout 30\nMaxClients 10\nLogLevel Critical\n";
        const char* argv[] = {"tinyproxy", "-d", "-c", conf.c_str(), nullptr};
        if (::posix_spawnp(&m_Pid, "tinyproxy", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) m_Pid = -1;
        for (int i = 0; m_Pid > 0 && i < 500 && !Listening(m_Port); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~Tinyproxy()
    {
        if (m_Pid > 0) {
            ::kill(m_Pid, SIGTERM);
            ::waitpid(m_Pid, nullptr, 0);
        }
    }
    Tinyproxy(const Tinyproxy&) = delete;
    Tinyproxy& operator=(const Tinyproxy&) = delete;

    bool Running() const { return m_Pid > 0 && Listening(m_Port); }
    int Port() const { return m_Port; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_Port); }

private:
    int m_Port;
    pid_t m_Pid = -1;
};
