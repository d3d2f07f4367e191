#include <gtest/gtest.h>

#include <fstream>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstring>

#include "winreg/RegTestStore.h"

namespace {

class WinRegTest : public ::testing::Test {
protected:
    RegTestStore store;
};

HKEY Open(HKEY root, const char* path, REGSAM access, LSTATUS* r = nullptr)
{
    HKEY key = nullptr;
    LSTATUS result = RegOpenKeyExA(root, path, 0, access, &key);
    if (r)
        *r = result;
    return result == ERROR_SUCCESS ? key : nullptr;
}

std::vector<std::string> ValueNames(HKEY key)
{
    std::vector<std::string> names;
    char name[64];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    return names;
}

std::vector<std::string> SubKeyNames(HKEY key)
{
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    return names;
}

} // namespace

TEST_F(WinRegTest, StoreFileIsPrivateAndCreatedOnFirstUse)
{
    EXPECT_EQ(winreg::StorePath(), store.Path());
    ASSERT_EQ(RegMakeKey(HKEY_LOCAL_MACHINE, "Software"), ERROR_SUCCESS);
    struct stat st{};
    ASSERT_EQ(::stat(store.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((store.Dir() + "/sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(WinRegTest, OpenNeverCreatesAndCreateMakesMissingParents)
{
    LSTATUS r = 0;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Norvelia", KEY_ALL_ACCESS, &r), nullptr);
    EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software"));

    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Norvelia\\Tidepost\\", 0, KEY_ALL_ACCESS, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\norvelia\\TIDEPOST", 0, KEY_ALL_ACCESS, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "software\\NORVELIA"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Norvelia")); // hives are separate

    // The first spelling is kept.
    HKEY software = Open(HKEY_LOCAL_MACHINE, "software", KEY_READ);
    ASSERT_NE(software, nullptr);
    EXPECT_EQ(SubKeyNames(software), std::vector<std::string>{"Norvelia"});
    RegCloseKey(software);

    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "\\Software", KEY_READ, &r), nullptr);
    EXPECT_EQ(r, ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, std::string(256, 'k').c_str(), 0, KEY_ALL_ACCESS, &key, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(WinRegTest, ValueNamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "P", "MsgDll", "Lexmo.dll"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "p", "MSGDLL", "LexmoUs.dll"), ERROR_SUCCESS);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, "P", "msgdll"), std::string("LexmoUs.dll", 12));
    HKEY key = Open(HKEY_LOCAL_MACHINE, "P", KEY_READ);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(ValueNames(key), std::vector<std::string>{"MsgDll"});
    RegCloseKey(key);
}

TEST_F(WinRegTest, QueryFillsTheCallersBufferOrAsksForMore)
{
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "P", "Url", "http://x/"), ERROR_SUCCESS); // 10 bytes
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, "P", "", REG_BINARY, ""), ERROR_SUCCESS);          // default, empty
    HKEY key = Open(HKEY_LOCAL_MACHINE, "P", KEY_QUERY_VALUE);
    ASSERT_NE(key, nullptr);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Url", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(type, REG_SZ);

    BYTE small[9];
    std::memset(small, '#', sizeof small);
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Url", &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 10u);
    BYTE exact[10];
    size = sizeof exact;
    EXPECT_EQ(RegQueryValueExA(key, "URL", &type, exact, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(exact), size), std::string("http://x/", 10));
    EXPECT_EQ(RegQueryValueExA(key, "Url", &type, exact, nullptr), ERROR_INVALID_PARAMETER);

    size = sizeof exact;
    EXPECT_EQ(RegQueryValueExA(key, nullptr, &type, exact, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", &type, exact, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(WinRegTest, RightsOfTheHandleAreEnforced)
{
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "P", "A", "1"), ERROR_SUCCESS);
    HKEY readOnly = Open(HKEY_LOCAL_MACHINE, "P", KEY_READ);
    ASSERT_NE(readOnly, nullptr);
    const BYTE one[] = "2";
    EXPECT_EQ(RegSetValueExA(readOnly, "A", REG_SZ, one, 2), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(readOnly, "A"), ERROR_ACCESS_DENIED);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(readOnly, "Child", 0, KEY_ALL_ACCESS, &child, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(readOnly, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, "P", "A"), std::string("1", 2));
    RegCloseKey(readOnly);

    HKEY writeOnly = Open(HKEY_LOCAL_MACHINE, "P", KEY_SET_VALUE);
    ASSERT_NE(writeOnly, nullptr);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writeOnly, "A", nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExA(writeOnly, "A", REG_SZ, one, 2), ERROR_SUCCESS);
    RegCloseKey(writeOnly);

    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED); // hives stay
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(std::uintptr_t(0x1234))), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(reinterpret_cast<HKEY>(std::uintptr_t(0x1234)), "A", REG_SZ, one, 2),
              ERROR_INVALID_HANDLE);
}

TEST_F(WinRegTest, EnumerationIsSortedWithoutRegardToCase)
{
    for (const char* name : {"zeta", "Alpha", "beta", "Gamma"}) {
        ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "E", name, name), ERROR_SUCCESS);
        ASSERT_EQ(RegMakeKey(HKEY_LOCAL_MACHINE, std::string("E\\") + name), ERROR_SUCCESS);
    }
    HKEY key = Open(HKEY_LOCAL_MACHINE, "E", KEY_READ);
    ASSERT_NE(key, nullptr);
    const std::vector<std::string> sorted{"Alpha", "beta", "Gamma", "zeta"};
    EXPECT_EQ(ValueNames(key), sorted);
    EXPECT_EQ(SubKeyNames(key), sorted);
    DWORD subKeys = 0, values = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, &subKeys, &values), ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 4u);
    EXPECT_EQ(values, 4u);

    // Short buffers: more data, and the needed lengths.
    char name[3];
    DWORD nameSize = sizeof name;
    BYTE data[2];
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &nameSize, &type, data, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(nameSize, 4u);
    EXPECT_EQ(dataSize, 5u);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &nameSize), ERROR_MORE_DATA);
    EXPECT_EQ(nameSize, 5u);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 4, name, &nameSize), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(WinRegTest, DeletedKeyIsGoneForEveryHandle)
{
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "Top\\Mid\\Leaf", "V", "x"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "Top\\Other", "V", "y"), ERROR_SUCCESS);
    HKEY leaf = Open(HKEY_LOCAL_MACHINE, "Top\\Mid\\Leaf", KEY_ALL_ACCESS);
    ASSERT_NE(leaf, nullptr);
    HKEY top = Open(HKEY_LOCAL_MACHINE, "Top", KEY_ALL_ACCESS);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(RegDeleteKeyA(top, "mid"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(top, "mid"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Top\\Mid\\Leaf"));
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, "Top\\Other", "V"), std::string("y", 2));

    // Recreating the path does not revive the old handle.
    ASSERT_EQ(RegMakeKey(HKEY_LOCAL_MACHINE, "Top\\Mid\\Leaf"), ERROR_SUCCESS);
    const BYTE z[] = "z";
    EXPECT_EQ(RegSetValueExA(leaf, "V", REG_SZ, z, 2), ERROR_KEY_DELETED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(leaf, "V", nullptr, nullptr, &size), ERROR_KEY_DELETED);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(leaf, "Child", 0, KEY_ALL_ACCESS, &child, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegValueCount(HKEY_LOCAL_MACHINE, "Top\\Mid\\Leaf"), 0u);
    EXPECT_EQ(RegCloseKey(leaf), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(top, ""), ERROR_SUCCESS);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Top"));
    RegCloseKey(top);
}

TEST_F(WinRegTest, TransactionIsAllOrNothing)
{
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "T", "Keep", "1"), ERROR_SUCCESS);
    LSTATUS r = winreg::RunInTransaction([] {
        if (LSTATUS w = RegPutString(HKEY_LOCAL_MACHINE, "T\\New", "A", "a"); w != ERROR_SUCCESS)
            return w;
        HKEY t = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "T", 0, KEY_ALL_ACCESS, &t);
        RegDeleteValueA(t, "Keep");
        RegCloseKey(t);
        return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "T\\Missing"); // fails: everything is undone
    });
    EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "T\\New"));
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, "T", "Keep"), std::string("1", 2));

    // A failing call inside a committed transaction undoes only itself.
    r = winreg::RunInTransaction([] {
        RegPutString(HKEY_LOCAL_MACHINE, "T\\New", "A", "a");
        HKEY bad = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "T\\New\\ok", 0, KEY_READ, &bad, nullptr);
        RegCloseKey(bad);
        return ERROR_SUCCESS;
    });
    EXPECT_EQ(r, ERROR_SUCCESS);
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "T\\New\\ok"));
}

TEST_F(WinRegTest, DamagedStoreFindsNothingAndRefusesWrites)
{
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "P", "A", "1"), ERROR_SUCCESS);
    HKEY held = Open(HKEY_LOCAL_MACHINE, "P", KEY_ALL_ACCESS);
    ASSERT_NE(held, nullptr);
    winreg::SetStorePath(store.Dir() + "/elsewhere.db"); // closes the file so it can be damaged
    {
        std::fstream f(store.Path(), std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(f);
        for (int i = 0; i < 4096; ++i)
            f.put(char(i * 7 + 3));
    }
    winreg::SetStorePath(store.Path());

    LSTATUS r = 0;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "P", KEY_READ, &r), nullptr);
    EXPECT_EQ(r, ERROR_BADDB);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(held, "A", nullptr, nullptr, &size), ERROR_BADDB);
    const BYTE v[] = "2";
    EXPECT_EQ(RegSetValueExA(held, "A", REG_SZ, v, 2), ERROR_BADDB);
    EXPECT_EQ(RegMakeKey(HKEY_CURRENT_USER, "New"), ERROR_BADDB);
    EXPECT_EQ(RegCloseKey(held), ERROR_SUCCESS);

    // Another program's SQLite database is not taken for a store either.
    const std::string foreign = store.Dir() + "/foreign.db";
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
        sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    winreg::SetStorePath(foreign);
    EXPECT_EQ(RegMakeKey(HKEY_CURRENT_USER, "New"), ERROR_BADDB);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, ""));

    // An unusable location reports that it cannot be opened.
    winreg::SetStorePath("/proc/norvelia-cannot-exist/registry.db");
    EXPECT_NE(RegMakeKey(HKEY_CURRENT_USER, "New"), ERROR_SUCCESS);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, ""));
}
