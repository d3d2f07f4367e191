#include <gtest/gtest.h>

#include <fstream>

#include "common/TestFiles.h"
#include "password/UserData.h"
#include "winreg/RegTestStore.h"

namespace {

// One users.dat record: id, name, directory, flag byte.
std::string Record(const std::string& name, const std::string& dir)
{
    return std::string("\x11\x22\x33\x44", 4) + char(name.size()) + name + char(dir.size()) + dir + '\0';
}

std::string File(int count, const std::vector<std::string>& records)
{
    std::string bytes(13, '\0');
    bytes[0] = char(count);
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i > 0) bytes += "\x01\x80";
        bytes += records[i];
    }
    return bytes;
}

std::vector<std::string> Names(const std::vector<TUserData::User>& users)
{
    std::vector<std::string> names;
    for (const auto& u : users) names.push_back(u.name + "|" + u.dir);
    return names;
}

} // namespace

TEST(UserDataTest, ParseCases)
{
    const std::string longName(40, 'N');
    const std::string longDir(35, 'd');
    const struct {
        const char* what;
        std::string bytes;
        std::vector<std::string> users;
    } cases[] = {
        {"empty file", "", {}},
        {"count 0", File(0, {Record("Ann", "Ann")}), {}},
        {"two users in file order", File(2, {Record("Zoé", "Zoe"), Record("Ann", "Ann")}), {"Zoé|Zoe", "Ann|Ann"}},
        {"count larger than the records", File(3, {Record("Ann", "Ann"), Record("Bob", "Bob")}),
         {"Ann|Ann", "Bob|Bob"}},
        {"long texts cut to 31", File(2, {Record(longName, longDir), Record("Bob", "Bob")}),
         {std::string(31, 'N') + "|" + std::string(31, 'd'), "Bob|Bob"}},
        {"junk before the separator", File(2, {Record("Ann", "Ann") + "\x01\x7f\x80junk", Record("Bob", "Bob")}),
         {"Ann|Ann", "Bob|Bob"}},
        {"no separator: the users read so far", File(2, {Record("Ann", "Ann")}) + "tail", {"Ann|Ann"}},
        {"cut inside the second directory", File(2, {Record("Ann", "Ann"), Record("Bob", "Bob")}).substr(0, 38),
         {"Ann|Ann"}},
        {"directory length past the end", File(1, {}) + std::string("\0\0\0\0\x03" "Ann\x40" "Ann", 13),
         {}},
        {"directories that leave the folder are skipped",
         File(5, {Record("Up", ".."), Record("Dot", "."), Record("Sub", "a/b"), Record("Ctl", "a\tb"),
                  Record("Ok", "Ok")}),
         {"Ok|Ok"}},
        {"empty directory skipped", File(2, {Record("None", ""), Record("Bob", "Bob")}), {"Bob|Bob"}},
        {"empty or control name skipped", File(3, {Record("", "D1"), Record("A\x1b", "D2"), Record("Bob", "Bob")}),
         {"Bob|Bob"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Names(TUserData::Parse(c.bytes)), c.users) << c.what;
    }
}

TEST(UserDataTest, DataDirectoryFromEitherVendorKey)
{
    RegTestStore store;
    TempDir dir;
    EXPECT_EQ(TUserData::DataDirectory(), "");
    {
        std::ofstream out(dir / "users.dat", std::ios::binary);
        out << File(1, {Record("Ann", "Ann")});
    }
    // The older vendor's key serves only when the first one is missing.
    ASSERT_EQ(RegPutString(HKEY_CURRENT_USER, "Software\\Palm Computing\\Pilot Desktop\\Core", "Path", dir.Path()),
              ERROR_SUCCESS);
    EXPECT_EQ(TUserData::DataDirectory(), dir.Path());
    EXPECT_EQ(TUserData().Names(), std::vector<std::string>{"Ann"});

    ASSERT_EQ(RegMakeKey(HKEY_CURRENT_USER, "Software\\U.S. Robotics"), ERROR_SUCCESS);
    EXPECT_EQ(TUserData::DataDirectory(), "");
    EXPECT_TRUE(TUserData().Names().empty());

    ASSERT_EQ(RegPutString(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "Path",
                           dir.Path() + "/"),
              ERROR_SUCCESS);
    EXPECT_EQ(TUserData().Names(), std::vector<std::string>{"Ann"});
    // A path the 256-byte buffer cannot hold names no directory.
    ASSERT_EQ(RegPutString(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "Path",
                           std::string(300, 'p')),
              ERROR_SUCCESS);
    EXPECT_EQ(TUserData::DataDirectory(), "");
}
