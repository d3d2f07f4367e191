// The registry calls on Windows reach the system's registry (run under Wine
// with a prefix of the test run's own).
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include <process.h>

#include "winreg/WinReg.h"

namespace {

// A key of this test program's own under HKCU, removed with the fixture.
class SystemRegistry : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, m_Path.c_str(), 0, KEY_ALL_ACCESS, &m_Key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(m_Key);
        RegDeleteKeyA(HKEY_CURRENT_USER, m_Path.c_str());
    }
    LSTATUS Put(const char* name, DWORD type, const void* data, DWORD size)
    {
        return RegSetValueExA(m_Key, name, type, static_cast<const BYTE*>(data), size);
    }
    std::string m_Path = "Software\\NorveliaTest\\" + std::to_string(::_getpid());
    HKEY m_Key = nullptr;
};

TEST_F(SystemRegistry, ValuesRoundTripWithTheirTypeAndSize)
{
    const DWORD number = 0x12345678;
    const BYTE bytes[] = {0, 1, 0xFF, 0x1A, '\r', '\n'};
    const struct {
        const char* name;
        DWORD type;
        std::string data;
    } cases[] = {
        {"Url", REG_SZ, std::string("http://127.0.0.1/", 18)},
        {"Timeout", REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4)},
        {"Blob", REG_BINARY, std::string(reinterpret_cast<const char*>(bytes), sizeof bytes)},
        {"", REG_SZ, std::string("default", 8)},
    };
    for (const auto& c : cases)
        ASSERT_EQ(Put(c.name, c.type, c.data.data(), DWORD(c.data.size())), ERROR_SUCCESS) << c.name;
    for (const auto& c : cases) {
        DWORD type = 0, size = 0;
        ASSERT_EQ(RegQueryValueExA(m_Key, c.name, &type, nullptr, &size), ERROR_SUCCESS) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        ASSERT_EQ(size, c.data.size()) << c.name;
        std::string back(size, '\0');
        ASSERT_EQ(RegQueryValueExA(m_Key, c.name, &type, reinterpret_cast<BYTE*>(back.data()), &size), ERROR_SUCCESS);
        EXPECT_EQ(back, c.data) << c.name;
    }
    // Names ignore case; a short buffer asks for more and says how much.
    BYTE small[4];
    DWORD size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(m_Key, "URL", nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 18u);
    EXPECT_EQ(RegQueryValueExA(m_Key, "URL", nullptr, small, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(m_Key, "Missing", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(m_Key, "url"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(m_Key, "Url", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(SystemRegistry, HivesAreTheSystemsAndSeparate)
{
    const char text[] = "here";
    ASSERT_EQ(Put("Where", REG_SZ, text, sizeof text), ERROR_SUCCESS);
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, m_Path.c_str(), 0, KEY_READ, &again), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(again, "where", nullptr, nullptr, &size), ERROR_SUCCESS);
    RegCloseKey(again);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_Path.c_str(), 0, KEY_READ, &again), ERROR_FILE_NOT_FOUND);
    // A key every Windows has: the predefined handles are the system's.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ,
                            &again),
              ERROR_SUCCESS);
    RegCloseKey(again);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, m_Path.c_str(), 0, KEY_READ, &again), ERROR_SUCCESS);
    RegCloseKey(again);
}

TEST_F(SystemRegistry, DeletingAKeyTakesItsSubkeys)
{
    for (const char* sub : {"Users\\Alice\\Orders", "Users\\Bob", "Keep"}) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExA(m_Key, sub, 0, KEY_ALL_ACCESS, &k, nullptr), ERROR_SUCCESS) << sub;
        RegCloseKey(k);
    }
    DWORD subKeys = 0, values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(m_Key, &subKeys, &values), ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 2u);
    EXPECT_EQ(values, 0u);

    EXPECT_EQ(RegDeleteKeyA(m_Key, "users"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(m_Key, "Users"), ERROR_FILE_NOT_FOUND);
    std::set<std::string> names;
    char name[64];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(m_Key, i, name, &size) != ERROR_SUCCESS) break;
        names.emplace(name, size);
    }
    EXPECT_EQ(names, std::set<std::string>{"Keep"});

    // A key deletes itself through its own handle; a hive never does.
    HKEY keep = nullptr;
    ASSERT_EQ(RegOpenKeyExA(m_Key, "Keep", 0, KEY_ALL_ACCESS, &keep), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(keep, ""), ERROR_SUCCESS);
    RegCloseKey(keep);
    EXPECT_EQ(RegOpenKeyExA(m_Key, "Keep", 0, KEY_READ, &keep), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
}

TEST(SystemRegistryStore, TransactionRunsTheCallOnce)
{
    int calls = 0;
    EXPECT_EQ(winreg::RunInTransaction([&] { ++calls; return ERROR_CANTWRITE; }), ERROR_CANTWRITE);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(winreg::ResultText(ERROR_FILE_NOT_FOUND), "not found");
}

} // namespace
