#include <gtest/gtest.h>

#include "quillio/KesaError.h"
#include "quillio/NorvFile.h"
#include "quillio/PdbRecord.h"

TEST(PdbRecord, ReadsBigEndianFieldsAndAdvances)
{
    const BYTE bytes[] = {0x7F, 0x12, 0x34, 0x0A, 0x0B, 0x0C, 0x0D, 'a', 'b', 0, 'x', 'y', 'z', 0, 0};
    CPdbRecord r(bytes, sizeof bytes);
    long off = 0;
    EXPECT_EQ(r.ReadUCharAt(&off), 0x7F);
    EXPECT_EQ(r.ReadWordAt(&off), 0x1234);
    EXPECT_EQ(r.ReadDWordAt(&off), 0x0A0B0C0Du);
    EXPECT_EQ(r.ReadStringZeroAt(&off), "ab");
    EXPECT_EQ(off, 10);
    EXPECT_EQ(r.ReadFixedStringAt(&off, 5), "xyz");
    EXPECT_EQ(off, 15);
}

TEST(PdbRecord, NeverReadsPastTheEnd)
{
    const BYTE bytes[] = {0x01, 0x02, 0x03, 'h', 'i'};
    CPdbRecord r(bytes, sizeof bytes);
    long off = 2;
    // A word that straddles the end reads its missing byte as zero.
    EXPECT_EQ(r.ReadDWordAt(&off), 0x03686900u);
    EXPECT_EQ(off, 6);
    EXPECT_EQ(r.ReadWordAt(&off), 0);
    EXPECT_EQ(r.ReadUCharAt(&off), 0);
    off = 3;
    EXPECT_EQ(r.ReadStringZeroAt(&off), "hi"); // no terminator in the record
    EXPECT_EQ(r.ReadStringZeroAt(&off), "");
    off = 4;
    EXPECT_EQ(r.ReadFixedStringAt(&off, 32), "i");
    EXPECT_EQ(off, 36);
    long neg = -3;
    EXPECT_EQ(r.ReadWordAt(&neg), 0);

    CPdbRecord empty(nullptr, 0);
    off = 0;
    EXPECT_EQ(empty.ReadDWordAt(&off), 0u);
    EXPECT_EQ(empty.ReadStringZeroAt(&off), "");
}

TEST(PdbRecord, TextFieldsAtEveryOffset)
{
    const BYTE bytes[] = {'h', 'i', 0, 'x'};
    const CPdbRecord r(bytes, sizeof bytes);
    struct Case {
        long at;
        long n; // 0: a zero-terminated text
        const char* text;
        long next;
    };
    const Case cases[] = {
        {0, 0, "hi", 3}, {3, 0, "x", 5},  {4, 0, "", 5}, {9, 0, "", 10}, {-2, 0, "", 5},
        {0, 3, "hi", 3}, {2, 3, "", 5},   {3, 3, "x", 6}, {4, 3, "", 7},  {-1, 3, "", 2},
        {1, 1, "i", 2},  {0, -1, "", 0},
    };
    for (const Case& c : cases) {
        long at = c.at;
        const std::string text = c.n == 0 ? r.ReadStringZeroAt(&at) : r.ReadFixedStringAt(&at, c.n);
        EXPECT_EQ(text, c.text) << c.at << "/" << c.n;
        EXPECT_EQ(at, c.next) << c.at << "/" << c.n;
    }
}

TEST(KesaError, CarriesNumberAndText)
{
    try {
        CKesaError::Throw(2003, "boom");
        FAIL();
    } catch (const CKesaError& e) {
        EXPECT_EQ(e.Number(), 2003);
        EXPECT_EQ(e.Argument(), "boom");
        EXPECT_STREQ(e.what(), "boom");
    }
}

TEST(NorvFile, WritesReadsAndMeasures)
{
    std::string path = ::testing::TempDir() + "norvfile.bin";
    CNorvFile f;
    ASSERT_TRUE(f.Open(path.c_str(), "wb"));
    EXPECT_EQ(f.Write("abc", 3), 3);
    EXPECT_TRUE(f.WriteString("de"));
    EXPECT_TRUE(f.Flush());
    f.Close();
    EXPECT_EQ(CNorvFile::GetLength(path.c_str()), 5);
    ASSERT_TRUE(f.Open(path.c_str(), "rb"));
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 5);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(CNorvFile::GetLength("/nonexistent/file"), -1);
    EXPECT_FALSE(f.Open("/nonexistent/dir/x", "wb"));
    EXPECT_EQ(f.Write("x", 1), 0);
}
