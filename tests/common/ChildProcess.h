// A program the test starts in the background and ends itself, by its pid.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class ChildProcess {
public:
    // Runs argv[0] with the test's environment; its output goes to `output`.
    ChildProcess(const std::vector<std::string>& args, const std::string& output)
    {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        if (posix_spawn(&m_Pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_Pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess()
    {
        if (m_Pid > 0 && Wait(std::chrono::milliseconds(0)) == kRunning) {
            ::kill(m_Pid, SIGKILL);
            ::waitpid(m_Pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    static constexpr int kRunning = -1000;

    bool Started() const { return m_Pid > 0; }
    void Signal(int signal) const
    {
        if (m_Pid > 0 && !m_Ended) ::kill(m_Pid, signal);
    }
    // The exit code, 128 + the signal that ended it, or kRunning when it
    // still runs after `bound`.
    int Wait(std::chrono::milliseconds bound)
    {
        if (m_Ended) return m_Code;
        const auto end = std::chrono::steady_clock::now() + bound;
        for (;;) {
            int status = 0;
            if (::waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
                m_Ended = true;
                m_Code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return m_Code;
            }
            if (std::chrono::steady_clock::now() >= end) return kRunning;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    pid_t m_Pid = -1;
    bool m_Ended = false;
    int m_Code = kRunning;
};
