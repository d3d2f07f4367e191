// The scripted notification service (scripted-notifications) started by a test
// on the session bus the test runs on (CTest starts such tests under
// dbus-run-session), ended by its pid with the test; and what it was sent.
#pragma once
#include <chrono>
#include <csignal>
#include <memory>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/ChildProcess.h"
#include "common/TestFiles.h"

class NotificationServer {
public:
    // `flags`: --click, --close, --no-actions, --markup.
    explicit NotificationServer(std::vector<std::string> flags = {})
    {
        const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (!bus || !*bus) return;
        std::vector<std::string> args = {NORV_BINARY_DIR "/tests/scripted-notifications", "--log", Log()};
        args.insert(args.end(), flags.begin(), flags.end());
        m_Process = std::make_unique<ChildProcess>(args, m_Dir / "output");
        for (int i = 0; i < 500 && ReadAll(Log()).find("ready\n") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        m_Ready = ReadAll(Log()).find("ready\n") != std::string::npos;
    }
    ~NotificationServer()
    {
        if (m_Process) {
            m_Process->Signal(SIGTERM);
            m_Process->Wait(std::chrono::seconds(5));
        }
    }
    bool Ready() const { return m_Ready; }
    std::string Log() const { return m_Dir / "calls"; }

    // Each Notify call's fields: app, icon, summary, body, actions, urgency, desktop entry.
    std::vector<std::vector<std::string>> Notified() const
    {
        std::vector<std::vector<std::string>> out;
        std::istringstream in(ReadAll(Log()));
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("Notify\t", 0) != 0) continue;
            std::vector<std::string> fields;
            std::istringstream parts(line.substr(7));
            for (std::string f; std::getline(parts, f, '\t');) fields.push_back(f);
            fields.resize(7);
            out.push_back(fields);
        }
        return out;
    }

private:
    TempDir m_Dir{"norv-notify"};
    std::unique_ptr<ChildProcess> m_Process;
    bool m_Ready = false;
};
