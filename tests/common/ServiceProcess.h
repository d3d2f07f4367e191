// norvelia-service run from a test on a loopback port of its choosing.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/TestFiles.h"

extern char** environ;

// norvelia-service on 127.0.0.1 with a port of its choosing; stopped with
// SIGTERM (then SIGKILL) when the object ends.
class ServiceProcess {
public:
    explicit ServiceProcess(std::vector<std::string> extraArgs, const std::string& stateFile,
                            const std::string& content = NORV_SOURCE_DIR "/service/samples")
    {
        m_PortFile = m_Dir / "port";
        std::vector<std::string> args = {NORV_BINARY_DIR "/bin/norvelia-service", "--listen", "127.0.0.1:0",
                                         "--port-file", m_PortFile, "--content", content};
        // Without one, the service keeps its default state file.
        if (!stateFile.empty()) args.insert(args.end(), {"--state", stateFile});
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string log = m_Dir / "stderr.log";
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 1, (m_Dir / "stdout.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        if (posix_spawn(&m_Pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_Pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        // Bounded wait for the port (the content is compiled first).
        for (int i = 0; i < 3000 && m_Pid > 0 && m_Port <= 0; ++i) {
            std::ifstream in(m_PortFile);
            int port = 0;
            if (in >> port && port > 0) {
                m_Port = port;
                break;
            }
            int status = 0;
            if (waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
                m_Pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~ServiceProcess() { Stop(); }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    bool Running() const { return m_Pid > 0 && m_Port > 0; }
    int Port() const { return m_Port; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_Port) + "/Tidepost/srv"; }
    std::string Stderr() const { return ReadAll(m_Dir / "stderr.log"); }
    std::string Stdout() const { return ReadAll(m_Dir / "stdout.log"); }
    pid_t Pid() const { return m_Pid; }

    // The exit status, or -1.
    int Stop(int signal = SIGTERM)
    {
        if (m_Pid <= 0) return m_Exit;
        kill(m_Pid, signal);
        int status = 0;
        for (int i = 0; i < 1000; ++i) {
            if (waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
                m_Pid = -1;
                m_Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return m_Exit;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(m_Pid, SIGKILL);
        waitpid(m_Pid, &status, 0);
        m_Pid = -1;
        return m_Exit;
    }

private:
    TempDir m_Dir;
    std::string m_PortFile;
    pid_t m_Pid = -1;
    int m_Port = -1;
    int m_Exit = -1;
};
