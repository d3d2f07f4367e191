// The built manual pages: every page has the sections a reader looks for,
// what is generated follows the programs, and what the section 5 pages
// describe is what the code reads and writes.
#include <gmock/gmock.h>

#include <regex>
#include <sstream>

#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "hotsync/HotSyncLogFile.h"

using ::testing::HasSubstr;

namespace {

const std::string kMan = NORV_BINARY_DIR "/man/";

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// The .SH headings of a page, quotes removed.
std::vector<std::string> Sections(const std::string& page)
{
    std::vector<std::string> out;
    const std::regex heading(R"re(^\.SH "?([^"\n]*)"?$)re", std::regex::multiline);
    for (std::sregex_iterator it(page.begin(), page.end(), heading), end; it != end; ++it) out.push_back((*it)[1]);
    return out;
}

// What roff makes of a command-line word.
std::string Roff(std::string word)
{
    std::string out;
    for (char c : word) out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

} // namespace

TEST(ManPages, EveryPageHasTheSectionsOfAManualPage)
{
    for (const std::string& program : Words(NORV_PROGRAM_LIST)) {
        const std::string page = ReadAll(kMan + program + ".1");
        ASSERT_FALSE(page.empty()) << program;
        std::vector<std::string> wanted = {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS",
                                           "ENVIRONMENT", "FILES", "EXAMPLES", "SEE ALSO"};
        if (RunCommand("QT_QPA_PLATFORM=offscreen '" NORV_BINARY_DIR "/bin/" + program + "' --help").output.find(
                "\nSubcommands:") != std::string::npos)
            wanted.push_back("COMMANDS");
        const auto sections = Sections(page);
        for (const std::string& section : wanted) EXPECT_THAT(sections, ::testing::Contains(section)) << program;
    }
    for (const char* name : {"norvelia-settings", "hotsync-log"}) {
        const auto sections = Sections(ReadAll(kMan + name + ".5"));
        for (const char* section : {"NAME", "DESCRIPTION", "FILES", "EXAMPLES", "SEE ALSO"})
            EXPECT_THAT(sections, ::testing::Contains(section)) << name;
    }
}

TEST(ManPages, SubcommandOptionsAndExitCodesComeFromThePrograms)
{
    const std::string page = ReadAll(kMan + "hotsync.1");
    const std::string help = RunCommand("'" NORV_BINARY_DIR "/bin/hotsync' sync --help").output;
    const std::regex option(R"(^  (--[a-z-]+))", std::regex::multiline);
    int options = 0;
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it, ++options) {
        if ((*it)[1] == "--help") continue;
        EXPECT_THAT(page, HasSubstr("\\fB" + Roff((*it)[1]) + "\\fR")) << (*it)[1];
    }
    EXPECT_GE(options, 8);
    const std::string exits = page.substr(page.find(".SH \"EXIT STATUS\""));
    for (const char* code : {"0", "1", "2", "3", "4", "130", "143, 129"}) EXPECT_THAT(exits, HasSubstr(".B " + std::string(code) + "\n"));
    EXPECT_THAT(exits, HasSubstr("abandoned with Ctrl"));
}

TEST(ManPages, LogPageNamesEveryActivityAsTheLogFileWritesIt)
{
    const std::string page = ReadAll(kMan + "hotsync-log.5");
    for (int activity : {-1, 8, 9, 11, 12, 20, 21, 22, 30, 31, 32, 33, 40, 41, 42, 43}) {
        std::string name = CHotSyncLogFile::ActivityName(activity);
        EXPECT_THAT(page, HasSubstr(".B " + Roff(std::to_string(activity)) + " " + Roff(name) + "\n")) << activity;
    }
    // The example line has the three tab-separated fields of a written line.
    palmkit::LogEntry entry;
    entry.activity = 20;
    entry.text = "a\tb";
    EXPECT_THAT(CHotSyncLogFile::FormatLine(entry), ::testing::MatchesRegex("....-..-.. ..:..:..\t20 done\ta\\\\tb"));
    EXPECT_THAT(page, ::testing::ContainsRegex("\n2026\\\\-12\\\\-09 19:11:45\t20 done\tNorvelia\n"));
}

TEST(ManPages, SettingsPageExampleImportsAsDocumented)
{
    const std::string page = ReadAll(kMan + "norvelia-settings.5");
    const std::size_t begin = page.find("Windows Registry Editor Version 5.00\n");
    ASSERT_NE(begin, std::string::npos);
    std::string text = page.substr(begin, page.find(".EE", begin) - begin);
    text = std::regex_replace(text, std::regex(R"(\\e)"), "\\");
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");

    const TempDir dir;
    std::ofstream(dir / "anne.reg") << text;
    const std::string norvreg = "NORVELIA_REGISTRY='" + dir / "store.db" + "' '" NORV_BINARY_DIR "/bin/norvreg' ";
    const std::string bob = "'HKLM\\Software\\Norvelia\\Tidepost\\Users\\Bob'";
    ASSERT_EQ(RunCommand(norvreg + "set " + bob + " UID bob").code, 0);
    const RunResult imported = RunCommand(norvreg + "import '" + dir / "anne.reg" + "'");
    ASSERT_EQ(imported.code, 0) << imported.output << text;
    const std::string anne = "'HKLM\\Software\\Norvelia\\Tidepost\\Users\\Anne\\Norvelia'";
    EXPECT_EQ(RunCommand(norvreg + "get " + anne + " Retries").output, "10\n");
    EXPECT_EQ(RunCommand(norvreg + "get " + anne + " Blob").output, "01,ff,20\n");
    EXPECT_EQ(RunCommand(norvreg + "list " + bob).code, 1);
}
