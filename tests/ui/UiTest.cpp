#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "seam/Ui.h"
#include "seam/Window.h"

TEST(UiHost, DefaultHostIsNonInteractive)
{
    platform::IUiHost& host = platform::UiHost();
    EXPECT_EQ(&host, &platform::DefaultUiHost());
    std::string user = "u", pwd = "p";
    EXPECT_FALSE(host.AskCredentials("server", user, pwd));
    platform::SyncActionRequest req;
    EXPECT_FALSE(host.AskSyncAction(req));
    EXPECT_EQ(host.ShowMessage("go on?", "Norvelia", platform::MsgIcon::Question, platform::MsgButtons::YesNo,
                               platform::MsgResult::No),
              platform::MsgResult::No);
    auto view = host.CreateProgressView();
    EXPECT_FALSE(view->IsCancelled());
    view->SetCancel(true);
    EXPECT_TRUE(view->IsCancelled());
}

TEST(Window, CopyDataReachesTheRegisteredHandlerOnly)
{
    std::vector<char> got;
    HWND w = platform::RegisterWindow([&](WPARAM, const COPYDATASTRUCT& cd) -> LRESULT {
        const char* p = static_cast<const char*>(cd.lpData);
        got.assign(p, p + cd.cbData);
        return 1;
    });
    COPYDATASTRUCT cd;
    cd.cbData = 3;
    cd.lpData = "abc";
    EXPECT_EQ(platform::SendCopyData(w, 0, cd), 1);
    EXPECT_EQ(std::string(got.begin(), got.end()), "abc");
    platform::UnregisterWindow(w);
    got.clear();
    EXPECT_EQ(platform::SendCopyData(w, 0, cd), 0);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(platform::SendCopyData(nullptr, 0, cd), 0);
}

TEST(Window, UnregisterWaitsForCallsInProgress)
{
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
    HWND w = platform::RegisterWindow([&](WPARAM, const COPYDATASTRUCT&) -> LRESULT {
        inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ++calls;
        inside = false;
        return 1;
    });
    COPYDATASTRUCT cd;
    std::thread sender([&] {
        for (int i = 0; i < 50; ++i) platform::SendCopyData(w, 0, cd);
    });
    while (calls.load() == 0) std::this_thread::yield();
    platform::UnregisterWindow(w);
    EXPECT_FALSE(inside.load());
    int after = calls.load();
    sender.join();
    EXPECT_EQ(calls.load(), after);
}
