// A synchronization set up from scratch: a private registry with the
// defaults and French chosen, the reference service on loopback, a HotSync home with user
// "Anne" whose current server is that service, and an empty handheld.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/ServiceProcess.h"
#include "common/TestFiles.h"
#include "common/TestRun.h"

class SyncFixture : public ::testing::Test {
protected:
    static constexpr const char* kProduct = "HKLM\\Software\\Norvelia\\Tidepost";

    void SetUp() override
    {
        ::setenv("NORVELIA_REGISTRY", (m_Root / "registry.db").c_str(), 1);
        ::setenv("HOTSYNC_HOME", Home().c_str(), 1);
        for (const char* proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy"})
            ::unsetenv(proxy);
        ASSERT_EQ(Tool("norvreg", "import " NORV_SOURCE_DIR "/share/norvelia/defaults.reg").code, 0);
        // The product's own language, chosen as a user would: the tests read its texts.
        Set(kProduct, "MsgDll", "Lexmo.dll");
        ASSERT_EQ(Tool("hotsync", "user add Anne").code, 0);
        ASSERT_EQ(Tool("handheld", "init " + Handheld()).code, 0);
        Set(std::string(kProduct) + "\\Users\\Anne", "CurrentServer", "Norvelia");
        Set(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "UID", "anne");
        Set(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "PWD", "s3cret-pwd");
    }
    void TearDown() override
    {
        m_Service.reset();
        ::unsetenv("NORVELIA_REGISTRY");
        ::unsetenv("HOTSYNC_HOME");
    }

    void StartService(std::vector<std::string> extra = {})
    {
        m_Service = std::make_unique<ServiceProcess>(std::move(extra), m_Root / "state.db");
        ASSERT_TRUE(m_Service->Running()) << m_Service->Stderr();
        SetServerUrl(m_Service->Url() + "/xxx/yyy");
    }
    void SetServerUrl(const std::string& url) { Set(std::string(kProduct) + "\\Servers", "Norvelia", url); }

    static RunResult Tool(const std::string& name, const std::string& args)
    {
        return RunCommand(std::string(NORV_BINARY_DIR "/bin/") + name + " " + args);
    }
    static void Set(const std::string& key, const std::string& name, const std::string& data)
    {
        const RunResult r = Tool("norvreg", "set '" + key + "' '" + name + "' '" + data + "'");
        ASSERT_EQ(r.code, 0) << r.output;
    }
    static std::string Get(const std::string& key, const std::string& name)
    {
        std::string out = Tool("norvreg", "get '" + key + "' '" + name + "'").output;
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
        return out;
    }

    RunResult Sync(const std::string& extra = "")
    {
        return Tool("hotsync", "sync --user Anne --handheld " + Handheld() + " " + extra);
    }

    std::string Home() const { return m_Root / "home"; }
    std::string UserDir() const { return Home() + "/Anne/"; }
    std::string Handheld() const { return m_Root / "handheld"; }
    std::string Trace() const { return ReadAll(Home() + "/NorvTrace.log"); }
    std::string HotSyncLog() const { return ReadAll(UserDir() + "HotSync.log"); }

    static std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    TempDir m_Root{"norv-conduit"};
    std::unique_ptr<ServiceProcess> m_Service;
};
