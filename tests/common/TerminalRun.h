// Runs a program on a terminal of its own (a pseudo-terminal), typing the
// given input, for the questions a program asks only on a terminal.
#pragma once
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/TestRun.h"

// Its output (stdout and stderr, as the terminal shows them: "\r\n" line
// ends) and exit code; -1 when it did not end within `bound`, then it is
// killed.
inline RunResult RunOnTerminal(const std::vector<std::string>& args, const std::string& input,
                               std::chrono::seconds bound = std::chrono::seconds(60))
{
    RunResult r;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return r;
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (!input.empty()) {
        const ssize_t written = ::write(master, input.data(), input.size());
        (void)written;
    }
    const auto end = std::chrono::steady_clock::now() + bound;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break; // the terminal's other side closed
        r.output.append(buffer, std::size_t(n));
    }
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end)
        ::usleep(5000);
    if (ended == pid) {
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    return r;
}
