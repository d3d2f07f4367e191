#include <gtest/gtest.h>

#include "settings/RegAccess.h"
#include "winreg/RegTestStore.h"

namespace {

const std::string kProduct = "SOFTWARE\\Norvelia\\Tidepost";

class RegAccessTest : public ::testing::Test {
protected:
    RegTestStore store;
};

} // namespace

TEST_F(RegAccessTest, SetRootKeyAcceptsOnlyTheFourHives)
{
    CRegAccess reg;
    EXPECT_EQ(reg.GetRootKey(), HKEY_CURRENT_USER);
    EXPECT_TRUE(reg.SetRootKey(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(reg.SetRootKey(reinterpret_cast<HKEY>(std::uintptr_t(0x80000005))));
    EXPECT_FALSE(reg.SetRootKey(nullptr));
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &opened, nullptr), ERROR_SUCCESS);
    EXPECT_FALSE(reg.SetRootKey(opened));
    RegCloseKey(opened);
    EXPECT_EQ(reg.GetRootKey(), HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reg.SetRootKey(HKEY_CLASSES_ROOT));
    EXPECT_TRUE(reg.SetRootKey(HKEY_USERS));
}

TEST_F(RegAccessTest, SetKeyOpensOrCreatesAndKeepsThePathOnFailure)
{
    CRegAccess reg;
    ASSERT_TRUE(reg.SetRootKey(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(reg.SetKey(kProduct, false));
    EXPECT_EQ(reg.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software"));
    EXPECT_EQ(reg.GetKey(), "");

    EXPECT_TRUE(reg.SetKey(kProduct, true));
    EXPECT_EQ(reg.GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(reg.GetKey(), kProduct);
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "software\\norvelia\\tidepost"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software"));

    EXPECT_FALSE(reg.SetKey("Software\\Missing", false));
    EXPECT_EQ(reg.GetKey(), kProduct);
    EXPECT_TRUE(reg.SetKey("", false));
    EXPECT_EQ(reg.GetKey(), "");
}

TEST_F(RegAccessTest, StringsAreLimitedTo254CharactersBothWays)
{
    CRegAccess reg;
    ASSERT_TRUE(reg.SetRootKey(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(reg.SetKey(kProduct, true));
    EXPECT_EQ(reg.ReadString("MsgDll", "LexmoUs.dll"), "LexmoUs.dll");

    EXPECT_TRUE(reg.WriteString("MsgDll", "Lexmo.dll"));
    EXPECT_EQ(reg.ReadString("msgdll", "LexmoUs.dll"), "Lexmo.dll");
    EXPECT_EQ(reg.GetValueType("MSGDLL"), REG_SZ);

    EXPECT_TRUE(reg.WriteString("Long", std::string(254, 'x')));
    EXPECT_EQ(reg.ReadString("Long", "d"), std::string(254, 'x'));
    EXPECT_FALSE(reg.WriteString("TooLong", std::string(255, 'x')));
    EXPECT_EQ(reg.GetValueType("TooLong"), 0u);

    // Written by someone else: 255 characters no longer fit with their zero.
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, kProduct, "Other", std::string(255, 'y')), ERROR_SUCCESS);
    EXPECT_EQ(reg.ReadString("Other", "d"), "d");
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, kProduct, "Num", REG_DWORD, std::string("\x07\0\0\0", 4)), ERROR_SUCCESS);
    EXPECT_EQ(reg.ReadString("Num", "d"), "d");
    EXPECT_EQ(reg.GetValueType("Num"), REG_DWORD);
}

TEST_F(RegAccessTest, BinaryDwordIsFourLittleEndianBytes)
{
    CRegAccess reg;
    ASSERT_TRUE(reg.SetRootKey(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(reg.SetKey(kProduct, true));
    reg.SetLazyWrite(false); // every write is flushed at once
    EXPECT_TRUE(reg.WriteBinaryDword("LastErrorCode", 0xFFFFFFFFu));
    DWORD type = 0;
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kProduct, "LastErrorCode", &type), std::string(4, '\xFF'));
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_TRUE(reg.WriteBinaryDword("Other", 0x01020304u));
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, kProduct, "Other"), std::string("\x04\x03\x02\x01", 4));
    EXPECT_TRUE(reg.WriteString("LastErrorCode", "0"));
    EXPECT_EQ(reg.GetValueType("LastErrorCode"), REG_SZ);
}

TEST_F(RegAccessTest, WritesFailWhenTheKeyIsGone)
{
    CRegAccess reg;
    ASSERT_TRUE(reg.SetRootKey(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(reg.SetKey(kProduct, true));
    HKEY hklm = HKEY_LOCAL_MACHINE;
    ASSERT_EQ(RegDeleteKeyA(hklm, "Software"), ERROR_SUCCESS);
    EXPECT_FALSE(reg.WriteString("MsgDll", "Lexmo.dll"));
    EXPECT_FALSE(reg.WriteBinaryDword("LastErrorCode", 1));
    EXPECT_EQ(reg.ReadString("MsgDll", "def"), "def");
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kProduct));
}
