#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/TestFiles.h"
#include "hotsync/HotSyncLogFile.h"
#include "hotsync/RunVerdict.h"
#include "lexmo/Lexmo.h"
#include "palmkit/UserEntry.h"
#include "hotsync/UsersFile.h"

namespace {

struct ReadUser {
    std::string name, dir;
};

// Reads users.dat the way the settings program does: count at byte 0, first
// record at 13, name length at offset 4 of a record, name, directory length,
// directory, one byte, then the next record after the first 0x01 0x80.
std::vector<ReadUser> ReadAsSettingsProgram(const std::vector<BYTE>& b)
{
    std::vector<ReadUser> users;
    if (b.empty()) return users;
    const int count = b[0];
    std::size_t pos = 13;
    auto at = [&](std::size_t i) -> BYTE {
        if (i >= b.size()) throw std::out_of_range("users.dat ends early");
        return b[i];
    };
    for (int i = 0; i < count; ++i) {
        ReadUser u;
        std::size_t p = pos + 4;
        const std::size_t nameLen = at(p++);
        for (std::size_t k = 0; k < nameLen; ++k) u.name += char(at(p++));
        const std::size_t dirLen = at(p++);
        for (std::size_t k = 0; k < dirLen; ++k) u.dir += char(at(p++));
        at(p++);
        EXPECT_LE(u.name.size(), 31u);
        EXPECT_LE(u.dir.size(), 31u);
        users.push_back(u);
        if (i + 1 == count) break;
        for (;;) {
            if (at(p++) != 0x01) continue;
            if (at(p++) == 0x80) break;
        }
        pos = p;
    }
    return users;
}

class TempFile {
public:
    TempFile() : m_Path((std::filesystem::temp_directory_path() / ("users-" + std::to_string(::getpid()) + ".dat")).string()) {}
    ~TempFile() { std::filesystem::remove(m_Path); }
    const std::string& Path() const { return m_Path; }
    std::vector<BYTE> Bytes() const
    {
        std::ifstream in(m_Path, std::ios::binary);
        return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

private:
    std::string m_Path;
};

TEST(UsersFileTest, WrittenFileReadsBackThroughTheSettingsProgramsWalk)
{
    TempFile file;
    std::vector<CUsersFile::User> users = {
        {"Alice", "Alice", 0x00008001},            // id bytes 01 80 inside a record
        {"B\xe9r\xe9nice Dupont", "BrniceDupont", 0x80018001},
        {std::string(31, 'x'), std::string(31, 'd'), 0x01010101},
    };
    ASSERT_TRUE(CUsersFile::Write(file.Path(), users));
    const auto bytes = file.Bytes();
    EXPECT_EQ(bytes[0], 3);
    const auto read = ReadAsSettingsProgram(bytes);
    ASSERT_EQ(read.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(read[i].name, users[i].name);
        EXPECT_EQ(read[i].dir, users[i].dir);
    }
    std::vector<CUsersFile::User> back;
    ASSERT_TRUE(CUsersFile::Read(file.Path(), back));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[1].name, users[1].name);
    EXPECT_EQ(back[2].id, 0x01010101u);

    ASSERT_TRUE(CUsersFile::Write(file.Path(), {}));
    EXPECT_TRUE(ReadAsSettingsProgram(file.Bytes()).empty());
}

TEST(UsersFileTest, RefusesWhatTheReaderCannotHoldAndSurvivesDamage)
{
    TempFile file;
    EXPECT_FALSE(CUsersFile::Write(file.Path(), {{std::string(32, 'x'), "d", 1}}));
    EXPECT_FALSE(CUsersFile::Write(file.Path(), {{"tab\there", "d", 1}}));
    EXPECT_FALSE(CUsersFile::Write(file.Path(), {{"", "d", 1}}));
    EXPECT_FALSE(CUsersFile::Write(file.Path(), {{"ok", std::string(40, 'd'), 1}}));

    auto bytes = CUsersFile::Encode({{"Alice", "Alice", 1}, {"Bob", "Bob", 2}});
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        std::vector<BYTE> part(bytes.begin(), bytes.begin() + long(cut));
        const auto users = CUsersFile::Decode(part);
        EXPECT_LE(users.size(), 2u);
    }
    bytes[0] = 200; // a count beyond the records
    EXPECT_EQ(CUsersFile::Decode(bytes).size(), 2u);
    std::vector<CUsersFile::User> none;
    EXPECT_TRUE(CUsersFile::Read(file.Path() + ".absent", none));
    EXPECT_TRUE(none.empty());
}

// A field longer than 31 bytes (written by another program) is cut where a
// character ends, never inside one: the name stays valid UTF-8.
TEST(UsersFileTest, AFieldCutTo31BytesNeverEndsInsideACharacter)
{
    const struct {
        std::string field, read;
    } cases[] = {
        {std::string(30, 'a') + "\xc3\xa9" "b", std::string(30, 'a')},                 // é across the limit
        {std::string(29, 'a') + "\xe2\x82\xac" "b", std::string(29, 'a')},             // €
        {std::string(28, 'a') + "\xf0\x9f\x98\x80", std::string(28, 'a')},             // an emoji
        {std::string(29, 'a') + "\xc3\xa9" "b", std::string(29, 'a') + "\xc3\xa9"},    // é ends at 31
        {std::string(30, 'a') + "\xe9" "b", std::string(30, 'a') + "\xe9"},            // not UTF-8: bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        const auto users = CUsersFile::Decode(CUsersFile::Encode({{c.field, c.field, 1}}));
        ASSERT_EQ(users.size(), 1u);
        EXPECT_EQ(users[0].name, c.read);
        EXPECT_EQ(users[0].dir, c.read);
    }
}

TEST(UsersFileTest, EntryRulesAreTheSameForWritingAndReading)
{
    struct Case {
        std::string name, dir;
        std::string why; // empty: usable
    } cases[] = {
        {"Alice", "Alice", ""},
        {"B\xe9r\xe9nice", "b.e-r_1", ""},
        {"Bob", "..", "the directory name \"..\" is not a plain folder name"},
        {"Bob", ".", "the directory name \".\" is not a plain folder name"},
        {"Bob", "../../escape", "the directory name \"../../escape\" is not a plain folder name"},
        {"Bob", "/etc", "the directory name \"/etc\" is not a plain folder name"},
        {"Bob", "a\\b", "the directory name \"a\\x5Cb\" is not a plain folder name"},
        {"Bob", "", "the directory name is empty"},
        {"Bob", "d\x1b[2J", "the directory name \"d\\x1B[2J\" holds a control character"},
        {"\x1b]0;owned\x07", "Bob", "the user name \"\\x1B]0;owned\\x07\" holds a control character"},
        {"del\x7f", "Bob", "the user name \"del\\x7F\" holds a control character"},
        {"", "Bob", "the user name is empty"},
        {std::string(32, 'n'), "Bob", "the user name \"" + std::string(32, 'n') + "\" is longer than 31 bytes"},
    };
    TempFile file;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " / " + c.dir);
        EXPECT_EQ(usersdat::CheckUserEntry(c.name, c.dir), c.why);
        EXPECT_EQ(CUsersFile::Write(file.Path(), {{c.name, c.dir, 7}}), c.why.empty());
        // The same entry planted among good ones: read, it is skipped and reported.
        const auto bytes = CUsersFile::Encode({{"First", "First", 1}, {c.name, c.dir, 2}, {"Last", "Last", 3}});
        std::ofstream(file.Path(), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        std::vector<CUsersFile::User> users;
        std::vector<std::string> skipped;
        ASSERT_TRUE(CUsersFile::Read(file.Path(), users, nullptr, &skipped));
        const bool longName = c.name.size() > 31; // the reader cuts it to 31 bytes, which is fine
        if (c.why.empty() || longName) {
            EXPECT_EQ(users.size(), 3u);
            EXPECT_TRUE(skipped.empty());
        } else {
            ASSERT_EQ(users.size(), 2u);
            EXPECT_EQ(users[0].name, "First");
            EXPECT_EQ(users[1].name, "Last");
            EXPECT_EQ(skipped, std::vector<std::string>{"entry 2: " + c.why});
        }
    }
}

TEST(HotSyncLogFileTest, OneEntryALineWithEscapes)
{
    palmkit::LogEntry e;
    e.time = 0;
    e.activity = 22;
    e.text = "a\\b\tc\nd";
    const std::string line = CHotSyncLogFile::FormatLine(e);
    const auto tab1 = line.find('\t');
    ASSERT_EQ(tab1, 19u);
    EXPECT_EQ(line.substr(tab1), "\t22 warning\ta\\\\b\\tc\\nd");
    EXPECT_EQ(line.find('\n'), std::string::npos);

    palmkit::LogEntry ok;
    ok.activity = 20;
    ok.text = "Norvelia";
    e.text = "two\nlines";
    palmkit::LogEntry verdict;
    verdict.activity = CRunVerdict::kSynchronized;
    verdict.text = "Synchronized.";
    // The conduit's closing entry is an end mark: only the verdict says OK.
    ASSERT_GT(KESA_LoadMessages("LexmoUs.dll"), 0);
    std::string person = CHotSyncLogFile::FormatForPerson({ok, e, verdict}, "Alice");
    EXPECT_NE(person.find("HotSync log for Alice"), std::string::npos);
    EXPECT_NE(person.find("  end     Norvelia\n"), std::string::npos) << person;
    EXPECT_NE(person.find("  warning two\n          lines\n"), std::string::npos) << person;
    EXPECT_NE(person.find("  OK      Synchronized.\n"), std::string::npos) << person;
    // Labels line up by the characters shown, not by bytes.
    ASSERT_GT(KESA_LoadMessages("Lexmo.dll"), 0);
    palmkit::LogEntry failed;
    failed.activity = slSyncFailed;
    failed.text = "x";
    person = CHotSyncLogFile::FormatForPerson({failed, e}, "Alice");
    EXPECT_NE(person.find("Journal HotSync de Alice"), std::string::npos) << person;
    EXPECT_NE(person.find("  ÉCHEC     x\n  attention two\n"), std::string::npos) << person;
}

TEST(HotSyncLogFileTest, EachRunIsMarkedAndTheFileStaysBounded)
{
    TempDir dir;
    const std::string path = dir / "HotSync.log";
    palmkit::LogEntry e;
    e.activity = 20;
    e.text = "Norvelia";
    ASSERT_TRUE(CHotSyncLogFile::Append(path, {e}, "Anne (fast)"));
    ASSERT_TRUE(CHotSyncLogFile::Append(path, {e}, "Anne (slow)"));
    const std::string log = ReadAll(path);
    EXPECT_NE(log.find("\t-1 info\t=== HotSync run: Anne (fast)\n"), std::string::npos) << log;
    EXPECT_LT(log.find("Anne (fast)"), log.find("Anne (slow)"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4);

    // Past the bound, the older part moves to HotSync.log.1, once.
    std::ofstream(path, std::ios::app) << std::string(CHotSyncLogFile::kRotateBytes, 'x') << "\n";
    ASSERT_TRUE(CHotSyncLogFile::Append(path, {e}, "Anne (third)"));
    EXPECT_EQ(ReadAll(path).find("Anne (fast)"), std::string::npos);
    EXPECT_NE(ReadAll(path).find("Anne (third)"), std::string::npos);
    EXPECT_NE(ReadAll(path + ".1").find("Anne (fast)"), std::string::npos);
    ASSERT_TRUE(CHotSyncLogFile::Append(path, {e}, "Anne (fourth)"));
    EXPECT_NE(ReadAll(path).find("Anne (third)"), std::string::npos) << "rotated only past the bound";
}

} // namespace
