// A stop of the program (SIGTERM) ends the connection check at once, over
// libcurl and over WinInet alike, whatever the server does: silent after the
// request, or trickling its answer a byte at a time. Left alone, each server
// here answers in full after a few seconds, so a check that ignored the stop
// would succeed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <thread>

#include "common/RawHttpServer.h"
#include "common/TestFiles.h"
#include "lexmo/Lexmo.h"
#include "seam/TransferAbort.h"
#include "settings/ConnectionProbe.h"
#include "winreg/WinReg.h"

namespace {

constexpr const char* kBody = "0123456789abcdef";

void Hold(const RawHttpServer::Writer& write, std::chrono::milliseconds span)
{
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end && write(""))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void Silent(const RawRequest&, int, const RawHttpServer::Writer& write)
{
    Hold(write, std::chrono::seconds(3));
    write("HTTP/1.1 200 OK\r\nContent-Length: 16\r\n\r\n" + std::string(kBody));
}

void Trickling(const RawRequest&, int, const RawHttpServer::Writer& write)
{
    if (!write("HTTP/1.1 200 OK\r\nContent-Length: 16\r\n\r\n")) return;
    for (const char* c = kBody; *c && write(std::string(1, *c)); ++c) Hold(write, std::chrono::milliseconds(150));
}

TEST(ProbeStop, AStopEndsTheCheckAtOnceWhetherTheServerIsSilentOrTrickles)
{
    // The texts in English, whichever catalog an earlier test loaded.
    ASSERT_GT(KESA_LoadMessages("LexmoUs.dll"), 0);
    TempDir dir("probe-stop");
    winreg::SetStorePath(dir / "registry.db");
#ifndef _WIN32
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
#endif
    const struct {
        const char* server;
        RawHttpServer::Streamer answer;
    } cases[] = {{"silent", Silent}, {"trickling", Trickling}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        RawHttpServer server(c.answer);
        const std::string url = server.Url("/Tidepost/xxx/test.bin");
        {
            // Unstopped, the check goes through: the server answers in the end.
            CConnectionProbe probe;
            std::string body;
            ASSERT_TRUE(probe.Run(url.c_str(), body, nullptr, nullptr)) << probe.m_LastMessage;
            EXPECT_EQ(body, kBody);
        }
        CConnectionProbe probe;
        std::thread stopper([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            platform::AbortTransfers();
        });
        std::string body;
        const bool ok = probe.Run(url.c_str(), body, nullptr, nullptr);
        stopper.join();
        platform::ResumeTransfers();
        EXPECT_FALSE(ok);
        EXPECT_EQ(probe.m_LastErrorCode, 12017u);
        EXPECT_EQ(probe.m_LastMessage, "Operation abandoned: the program is stopping");
        EXPECT_EQ(body, "");
    }
}

} // namespace
