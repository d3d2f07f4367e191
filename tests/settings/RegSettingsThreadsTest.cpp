#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "settings/RegGetNorveliaKey.h"
#include "settings/RegSettings.h"
#include "winreg/RegTestStore.h"

// The conduit reads its settings from the HotSync thread and the worker at once.
TEST(RegSettingsThreads, ConcurrentReadersAndWritersSeeWholeValues)
{
    RegTestStore store;
    const std::string product = "Software\\Norvelia\\Tidepost";
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, product + "\\Servers", "Main", "http://a.test/"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, product + "\\Users\\Ann", "CurrentServer", "Main"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, product + "\\Users\\Ann\\Main", "UID", "ann"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, product, "Trace", "off"), ERROR_SUCCESS);

    constexpr int kRounds = 200;
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            CRegSettings s;
            s.Init("Ann", "Tidepost");
            for (int i = 0; i < kRounds; ++i) {
                if (s.GetUID() != "ann" || s.GetServerUrl() != "http://a.test/")
                    ++bad;
                std::string trace = RegGetNorveliaKey("Tidepost", "Trace");
                if (trace != "on" && trace != "off")
                    ++bad;
                s.SetNorvVers("v" + std::to_string(t) + "." + std::to_string(i));
            }
        });
    }
    threads.emplace_back([&] {
        CRegSettings s;
        s.Init("", "Tidepost");
        for (int i = 0; i < kRounds; ++i)
            s.SetTrace(i % 2 ? "on" : "off");
    });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(bad.load(), 0);
    CRegSettings s;
    s.Init("Ann", "Tidepost");
    std::string last = s.GetNorvVers();
    EXPECT_TRUE(last == "v0." + std::to_string(kRounds - 1) || last == "v1." + std::to_string(kRounds - 1)) << last;
}
