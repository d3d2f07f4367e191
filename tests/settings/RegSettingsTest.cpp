#include <gtest/gtest.h>

#include <fstream>

#include "settings/RegGetNorveliaKey.h"
#include "settings/RegSettings.h"
#include "winreg/RegTestStore.h"

namespace {

const std::string kProduct = "Software\\Norvelia\\Tidepost";
const std::string kUrl = "http://127.0.0.1:8470/Tidepost/xxx/yyy";

// The layout an installer and the settings program leave for user "Ann" on server "Main".
void InstallAnnOnMain()
{
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "SOFTWARE\\NORVELIA\\TIDEPOST", "MsgDll", "Lexmo.dll"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct + "\\Servers", "Main", kUrl), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Ann", "CurrentServer", "Main"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Ann\\Main", "UID", "ann01"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Ann\\Main", "PWD", "c1ph3r"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Ann\\Main", "NorvVers", "2.3"), ERROR_SUCCESS);
}

class RegSettingsTest : public ::testing::Test {
protected:
    RegTestStore store;
};

} // namespace

TEST_F(RegSettingsTest, InitFindsTheCurrentServerThroughKeysSpelledInAnyCase)
{
    InstallAnnOnMain();
    CRegSettings s;
    s.Init("ann", "Tidepost"); // the user key was written as "Ann"
    EXPECT_EQ(s.GetServerUrl(), kUrl);
    EXPECT_EQ(s.GetUID(), "ann01");
    EXPECT_EQ(s.GetPWD(), "c1ph3r");
    EXPECT_EQ(s.GetNorvVers(), "2.3");
    EXPECT_EQ(s.GetMsgDll(), "Lexmo.dll"); // written as MsgDll, read as MsgDLL
    EXPECT_EQ(s.UserServerKey(), kProduct + "\\Users\\ann\\Main");
    EXPECT_EQ(s.ServersKey(), kProduct + "\\Servers");
    EXPECT_EQ(s.GetTrace(), "");

    s.SetNorvVers("2.4");
    s.SetTrace("on");
    EXPECT_EQ(s.GetNorvVers(), "2.4");
    EXPECT_EQ(s.GetTrace(), "on");
    // Written as REG_SZ with the terminating zero.
    DWORD type = 0;
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kProduct, "Trace", &type), std::string("on", 3));
    EXPECT_EQ(type, REG_SZ);

    s.SetServerUrl("http://example.test/T/a/b");
    EXPECT_EQ(s.GetServerUrl(), "http://example.test/T/a/b");
    CRegSettings again;
    again.Init("Ann", "Tidepost");
    EXPECT_EQ(again.GetServerUrl(), "http://example.test/T/a/b");
}

TEST_F(RegSettingsTest, UserWithoutCurrentServerReadsEmptyAndWritesNowhere)
{
    InstallAnnOnMain();
    ASSERT_EQ(RegMakeKey(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Bob\\Main"), ERROR_SUCCESS);
    CRegSettings s;
    s.Init("Ann", "Tidepost");
    s.Init("Bob", "Tidepost"); // nothing of Ann's paths may survive
    EXPECT_EQ(s.GetServerUrl(), "");
    EXPECT_EQ(s.GetUID(), "");
    EXPECT_EQ(s.GetPWD(), "");
    EXPECT_EQ(s.GetNorvVers(), "");
    EXPECT_EQ(s.UserServerKey(), "");
    EXPECT_EQ(s.GetMsgDll(), "Lexmo.dll");

    s.SetUID("bob");
    s.SetNorvVers("9.9");
    s.SetServerUrl("http://nowhere.test/");
    s.DeletePWD();
    EXPECT_EQ(RegValueCount(HKEY_LOCAL_MACHINE, ""), 0u);
    EXPECT_EQ(RegValueCount(HKEY_LOCAL_MACHINE, kProduct + "\\Servers"), 1u);
    EXPECT_EQ(RegValueCount(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Bob\\Main"), 0u);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Ann\\Main", "PWD"), std::string("c1ph3r", 7));
}

TEST_F(RegSettingsTest, CurrentServerMissingFromServersStillGivesCredentials)
{
    InstallAnnOnMain();
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Ann", "CurrentServer", "Gone"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Ann\\Gone", "UID", "ann-gone"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Ann\\Gone", "PWD", "pw"), ERROR_SUCCESS);
    CRegSettings s;
    s.Init("Ann", "Tidepost");
    EXPECT_EQ(s.GetServerUrl(), "");
    EXPECT_EQ(s.GetUID(), "ann-gone");
    EXPECT_EQ(s.GetPWD(), "pw");
}

TEST_F(RegSettingsTest, ValuesMustEndInside256Bytes)
{
    InstallAnnOnMain();
    const std::string t255(255, 'a'), t256(256, 'b');
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct, "Language", t255), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct, "Trace", t256), ERROR_SUCCESS);
    // 256 bytes with no zero at all, and the settings program's zero-padded 256 bytes.
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, kProduct, "Raw", REG_SZ, t256), ERROR_SUCCESS);
    std::string padded = "1" + std::string(255, '\0');
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, kProduct, "Mode", REG_SZ, padded), ERROR_SUCCESS);
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, kProduct, "Tab", REG_DWORD, std::string("\x02\0\0\0", 4)), ERROR_SUCCESS);

    CRegSettings s;
    s.Init("Ann", "Tidepost");
    EXPECT_EQ(s.GetLanguage(), t255);
    EXPECT_EQ(s.GetTrace(), "");
    EXPECT_EQ(s.ReadProductValue("Raw"), "");
    EXPECT_EQ(s.ReadProductValue("Mode"), "1");
    EXPECT_EQ(s.ReadProductValue("Tab"), ""); // not a string
    EXPECT_EQ(RegGetNorveliaKey("Tidepost", "Mode"), "1");
    EXPECT_EQ(RegGetNorveliaKey("Tidepost", "msgdll"), "Lexmo.dll");
    EXPECT_EQ(RegGetNorveliaKey("Tidepost", "Missing"), "");
    EXPECT_EQ(RegGetNorveliaKey("Elsewhere", "MsgDll"), "");
}

TEST_F(RegSettingsTest, WritesNeverCreateKeys)
{
    CRegSettings s;
    s.Init("Ann", "Tidepost");
    s.SetTrace("on");
    s.SetMsgDll("Lexmo.dll");
    s.SetLastErrorCode("404");
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software"));

    // The conduit's copy of LastErrorCode lands only once the HKCU product key exists.
    ASSERT_EQ(RegMakeKey(HKEY_CURRENT_USER, kProduct), ERROR_SUCCESS);
    s.SetLastErrorCode("404");
    EXPECT_EQ(RegGet(HKEY_CURRENT_USER, kProduct, "LastErrorCode"), std::string("404", 4));
    EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, kProduct, "LastErrorCode"));
}

TEST_F(RegSettingsTest, DeletePwdRemovesBothCopies)
{
    InstallAnnOnMain();
    ASSERT_EQ(RegPutString(HKEY_CURRENT_USER, kProduct + "\\Users\\Ann\\Main", "PWD", "old"), ERROR_SUCCESS);
    CRegSettings s;
    s.Init("Ann", "Tidepost");
    s.DeletePWD();
    EXPECT_FALSE(RegGet(HKEY_CURRENT_USER, kProduct + "\\Users\\Ann\\Main", "PWD"));
    EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Ann\\Main", "PWD"));
    EXPECT_EQ(s.GetPWD(), "");
    EXPECT_EQ(s.GetUID(), "ann01");
}

TEST_F(RegSettingsTest, HotSyncPathKeepsTheDirectoryWithItsSeparator)
{
    const std::string core = "Software\\U.S. Robotics\\Pilot Desktop\\Core";
    CRegSettings s;
    EXPECT_EQ(s.GetHotSyncPath(), "*NODEF*");
    ASSERT_EQ(RegPutString(HKEY_CURRENT_USER, core, "HotSyncPath", "C:\\Palm\\Hotsync.exe"), ERROR_SUCCESS);
    EXPECT_EQ(s.GetHotSyncPath(), "C:\\Palm\\");
    ASSERT_EQ(RegPutString(HKEY_CURRENT_USER, core, "HotSyncPath", "/home/ann/hotsync"), ERROR_SUCCESS);
    EXPECT_EQ(s.GetHotSyncPath(), "/home/ann/");
    ASSERT_EQ(RegPutString(HKEY_CURRENT_USER, core, "HotSyncPath", "  Hotsync.exe \t"), ERROR_SUCCESS);
    EXPECT_EQ(s.GetHotSyncPath(), "Hotsync.exe");
    ASSERT_EQ(RegPutString(HKEY_CURRENT_USER, core, "HotSyncPath", std::string(300, 'x')), ERROR_SUCCESS);
    EXPECT_EQ(s.GetHotSyncPath(), "*NODEF*");
}

TEST_F(RegSettingsTest, DamagedStoreReadsEmptyAndWritesNothing)
{
    InstallAnnOnMain();
    const std::string damaged = store.Dir() + "/damaged.db";
    {
        std::ofstream f(damaged, std::ios::binary);
        for (int i = 0; i < 512; ++i)
            f << "not a database ";
    }
    winreg::SetStorePath(damaged);
    CRegSettings s;
    s.Init("Ann", "Tidepost");
    EXPECT_EQ(s.GetServerUrl(), "");
    EXPECT_EQ(s.GetMsgDll(), "");
    s.SetTrace("on");
    EXPECT_EQ(s.GetTrace(), "");
    EXPECT_EQ(s.GetHotSyncPath(), "*NODEF*");
    EXPECT_EQ(RegGetNorveliaKey("Tidepost", "MsgDll"), "");

    // The good store is untouched and readable again.
    winreg::SetStorePath(store.Path());
    s.Init("Ann", "Tidepost");
    EXPECT_EQ(s.GetServerUrl(), kUrl);
}

TEST_F(RegSettingsTest, EmptyValueNameNeverReachesTheDefaultValue)
{
    InstallAnnOnMain();
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct, "", "default"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct + "\\Servers", "", "http://default.test/"), ERROR_SUCCESS);
    // A user whose current server is an empty text.
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct + "\\Users\\Eve", "CurrentServer", ""), ERROR_SUCCESS);
    CRegSettings s;
    s.Init("Eve", "Tidepost");
    EXPECT_EQ(s.ReadProductValue(""), "");
    EXPECT_EQ(RegGetNorveliaKey("Tidepost", ""), "");
    EXPECT_EQ(s.GetServerUrl(), "");
    s.WriteProductValue("", "changed");
    s.SetServerUrl("http://changed.test/");
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kProduct, ""), std::string("default", 8));
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kProduct + "\\Servers", ""), std::string("http://default.test/", 21));
}
