// Running the real programs from a test, and catching what a call raises.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "quillio/KesaError.h"

struct RunResult {
    int code = -1;
    std::string output;
};

// Runs a shell command with no input; stdout and stderr together.
inline RunResult RunCommand(const std::string& command)
{
    RunResult r;
    FILE* p = ::popen((command + " </dev/null 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    const int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

#ifdef NORV_BINARY_DIR
namespace e2e {

// One of the built programs, with its arguments as a shell reads them.
inline RunResult Tool(const std::string& name, const std::string& args)
{
    return RunCommand(std::string(NORV_BINARY_DIR "/bin/") + name + " " + args);
}

// A value written with norvreg into the settings every program reads.
inline bool Set(const std::string& key, const std::string& name, const std::string& data)
{
    return Tool("norvreg", "set '" + key + "' '" + name + "' '" + data + "'").code == 0;
}

} // namespace e2e
#endif

// The error a call raises, or number -1 when it raises none.
template <class F>
CKesaError Raised(F&& f)
{
    try {
        f();
    } catch (const CKesaError& e) {
        return e;
    }
    return CKesaError(-1, "");
}
