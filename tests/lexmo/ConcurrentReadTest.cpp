// Texts are read from several threads while another thread reloads the catalog.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>

#include "lexmo/Lexmo.h"

namespace fs = std::filesystem;

TEST(LexmoThreads, ReadersSeeWholeTextsDuringReloads)
{
    fs::path dir = fs::temp_directory_path() / ("lexmo_threads_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "One.msg") << "1\tfirst catalog text\n2\t%s-%d\n";
    std::ofstream(dir / "Two.msg") << "1\tsecond catalog, another text\n2\t%s+%d\n";
    ::setenv("NORVELIA_MSGDIR", dir.string().c_str(), 1);
    ASSERT_EQ(KESA_LoadMessages("One.dll"), 2);

    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&bad] {
            for (int i = 0; i < 2000; ++i) {
                std::string text = lexmo::MessageText(1);
                if (text != "first catalog text" && text != "second catalog, another text") ++bad;
                std::string filled = KESA_FormatMessage(2, "a", i);
                std::string n = std::to_string(i);
                if (filled != "a-" + n && filled != "a+" + n) ++bad;
                char buf[8];
                KESA_GetMessage(1, buf, sizeof buf);
                if (std::string(buf) != "first c" && std::string(buf) != "second ") ++bad;
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        if (KESA_LoadMessages(i % 2 ? "One.dll" : "Two.dll") != 2) ++bad;
    }
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(bad.load(), 0);
    fs::remove_all(dir);
}
