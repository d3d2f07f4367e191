// Loading catalogs: the file format, where a catalog is looked for, and the
// texts handed out afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "lexmo/Lexmo.h"
#include "seam/ProgramPath.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class Catalog : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* env = std::getenv("NORVELIA_MSGDIR");
        savedEnv_ = env ? env : "";
        hadEnv_ = env != nullptr;
        dir_ = fs::temp_directory_path() / ("lexmo_test_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ::setenv("NORVELIA_MSGDIR", dir_.string().c_str(), 1);
    }
    void TearDown() override
    {
        if (hadEnv_) ::setenv("NORVELIA_MSGDIR", savedEnv_.c_str(), 1);
        else ::unsetenv("NORVELIA_MSGDIR");
        fs::remove_all(dir_);
        for (const fs::path& p : cleanup_) fs::remove(p);
    }
    fs::path dir_;
    std::vector<fs::path> cleanup_;

private:
    std::string savedEnv_;
    bool hadEnv_ = false;
};

TEST_F(Catalog, ReadsLinesEscapesCommentsAndSkipsBadLines)
{
    WriteFile(dir_ / "Sample.msg",
              "# a comment\n"
              "\n"
              "   \n"
              "1\tplain text\n"
              "2\tline one\\nline two\\tTabbed \\\\ back\\q\\\n"
              "3\twindows line\r\n"
              "4\tinner\ttab kept\n"
              "4\tlater line wins\n"
              "no tab here\n"
              "x5\tnot a number\n"
              "\tno number\n"
              "12345678901\ttoo large\n"
              "6\t\n"
              "7\t%s (%d)\n"
              "8\tlast line without newline");
    EXPECT_EQ(KESA_LoadMessages("Sample.dll"), 7);
    EXPECT_EQ(lexmo::MessageText(1), "plain text");
    EXPECT_EQ(lexmo::MessageText(2), "line one\nline two\tTabbed \\ back\\q\\");
    EXPECT_EQ(lexmo::MessageText(3), "windows line");
    EXPECT_EQ(lexmo::MessageText(4), "later line wins");
    EXPECT_EQ(lexmo::MessageText(6), "");
    EXPECT_EQ(lexmo::MessageText(8), "last line without newline");
    EXPECT_EQ(lexmo::MessageText(5), "");
    EXPECT_EQ(lexmo::MessageText(12345), "");

    // With the number alone the conversions stay for the caller to fill.
    EXPECT_EQ(KESA_FormatMessage(7), "%s (%d)");
    EXPECT_EQ(KESA_FormatMessage(7, "srv", 404), "srv (404)");
    EXPECT_EQ(KESA_FormatMessage(7, "srv"), "srv ()");
    EXPECT_EQ(KESA_FormatMessage(99, "x", 1), "");
    EXPECT_EQ(KESA_FormatMessage(99), "");
}

TEST_F(Catalog, LibraryNamesMapToCatalogFiles)
{
    WriteFile(dir_ / "Names.msg", "1\tfound\n");
    for (const char* name : {"Names.dll", "Names", "NAMES.DLL", "names.msg", "C:\\Program Files\\Names.dll",
                             "../../elsewhere/Names.dll"}) {
        EXPECT_EQ(lexmo::FindCatalog(name), (dir_ / "Names.msg").string()) << name;
        EXPECT_EQ(KESA_LoadMessages(name), 1) << name;
    }
    for (const char* name : {"", ".", "..", "dir/", "Other.dll"})
        EXPECT_EQ(lexmo::FindCatalog(name), "") << name;
    EXPECT_EQ(KESA_LoadMessages(nullptr), 0);
}

TEST_F(Catalog, FailedLoadsKeepTheTextsAlreadyLoaded)
{
    WriteFile(dir_ / "Good.msg", "10\tkept\n");
    WriteFile(dir_ / "Empty.msg", "# nothing but comments\n\n");
    WriteFile(dir_ / "Junk.msg", "not a catalog at all\n");
    fs::create_directories(dir_ / "Dir.msg");
    ASSERT_EQ(KESA_LoadMessages("Good.dll"), 1);
    EXPECT_EQ(KESA_LoadMessages("Missing.dll"), 0);
    EXPECT_EQ(KESA_LoadMessages("Empty.dll"), 0);
    EXPECT_EQ(KESA_LoadMessages("Junk.dll"), 0);
    EXPECT_EQ(KESA_LoadMessages("Dir.dll"), 0);
    EXPECT_EQ(lexmo::MessageText(10), "kept");
}

TEST_F(Catalog, LookUpOrderIsEnvironmentThenProgramThenSourceTree)
{
    // <program dir>/../share/norvelia, with a name no real catalog uses.
    fs::path programShare = fs::path(platform::ProgramPath()).parent_path() / ".." / "share" / "norvelia";
    const std::string name = "LookUp" + std::to_string(::getpid());
    fs::path inProgram = programShare / (name + ".msg");
    cleanup_.push_back(inProgram);
    WriteFile(inProgram, "1\tprogram dir\n");
    WriteFile(dir_ / (name + ".msg"), "1\tenvironment\n");

    ASSERT_EQ(KESA_LoadMessages((name + ".dll").c_str()), 1);
    EXPECT_EQ(lexmo::MessageText(1), "environment");

    fs::remove(dir_ / (name + ".msg"));
    ASSERT_EQ(KESA_LoadMessages((name + ".dll").c_str()), 1);
    EXPECT_EQ(lexmo::MessageText(1), "program dir");

    ::unsetenv("NORVELIA_MSGDIR");
    ASSERT_EQ(KESA_LoadMessages((name + ".dll").c_str()), 1);
    EXPECT_EQ(lexmo::MessageText(1), "program dir");

    // Without an installed catalog beside the program, the source tree's serves.
    fs::path installed = programShare / "LexmoUs.msg";
    fs::path source = fs::path(NORV_SOURCE_DIR) / "share" / "norvelia" / "LexmoUs.msg";
    EXPECT_EQ(fs::path(lexmo::FindCatalog("LexmoUs.dll")).lexically_normal(),
              (fs::exists(installed) ? installed : source).lexically_normal());

    // Leave the build tree as it was: only empty folders go.
    std::error_code ec;
    fs::remove(inProgram, ec);
    fs::remove(programShare, ec);
    fs::remove(programShare.parent_path(), ec);
}

TEST_F(Catalog, GetMessageCopiesAtMostSizeBytesWithTheTerminator)
{
    WriteFile(dir_ / "Copy.msg", "1\tBonjour\n2\tété\n");
    ASSERT_EQ(KESA_LoadMessages("Copy.dll"), 2);

    char buf[16];
    std::memset(buf, '#', sizeof buf);
    KESA_GetMessage(1, buf, 5);
    EXPECT_STREQ(buf, "Bonj");
    EXPECT_EQ(buf[5], '#');

    std::memset(buf, '#', sizeof buf);
    KESA_GetMessage(1, buf, 8);
    EXPECT_STREQ(buf, "Bonjour");
    KESA_GetMessage(1, buf, 1);
    EXPECT_STREQ(buf, "");

    std::memset(buf, '#', sizeof buf);
    KESA_GetMessage(1, buf, 0);
    KESA_GetMessage(1, buf, -3);
    EXPECT_EQ(buf[0], '#');
    KESA_GetMessage(1, nullptr, 10);

    // "été" is 5 bytes; a cut never leaves half a character.
    KESA_GetMessage(2, buf, 2);
    EXPECT_STREQ(buf, "");
    KESA_GetMessage(2, buf, 4);
    EXPECT_STREQ(buf, "ét");

    std::memset(buf, '#', sizeof buf);
    KESA_GetMessage(3, buf, sizeof buf);
    EXPECT_STREQ(buf, "");
}

} // namespace
