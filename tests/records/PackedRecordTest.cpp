#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>

#include "RecordsTestUtil.h"
#include "records/PdbPackedRecord.h"

namespace {

using Bytes = std::vector<BYTE>;

TEST(PdbPackedRecord, NumbersAreBigEndianAndStringsFixedOrZeroTerminated)
{
    auto rec = std::make_unique<CPdbPackedRecord>();
    rec->AddWord(0x1234);
    rec->AddDWord(0x0A0B0C0D);
    rec->AddUChar(0xFE);
    EXPECT_EQ(BytesOf(*rec), (Bytes{0x12, 0x34, 0x0A, 0x0B, 0x0C, 0x0D, 0xFE}));

    rec->Reset();
    rec->AddString("ABCDEFGHIJKLMNOPQRS", 16); // 19 characters
    rec->AddString("xy", 16);
    rec->AddString("", 0);
    rec->AddString("ok", 0);
    Bytes expected;
    Append(expected, "ABCDEFGHIJKLMNO"); // 15 characters and the forced zero
    Append(expected, "xy", false);
    expected.insert(expected.end(), 14, 0);
    expected.push_back(0);
    Append(expected, "ok");
    EXPECT_EQ(BytesOf(*rec), expected);
}

TEST(PdbPackedRecord, TextEndsAtItsFirstZeroByte)
{
    auto rec = std::make_unique<CPdbPackedRecord>();
    const std::string withZero("ab\0cd", 5);
    rec->AddString(withZero, 0);
    rec->AddString(withZero, 4);
    rec->AddString("z", 0);
    EXPECT_EQ(BytesOf(*rec), (Bytes{'a', 'b', 0, 'a', 'b', 0, 0, 'z', 0}));

    // Otherwise the bytes after the zero would read back as the next field.
    CPdbRecord record(rec->Buffer(), rec->Size());
    long at = 0;
    EXPECT_EQ(record.ReadStringZeroAt(&at), "ab");
    EXPECT_EQ(record.ReadFixedStringAt(&at, 4), "ab");
    EXPECT_EQ(record.ReadStringZeroAt(&at), "z");
}

TEST(PdbPackedRecord, AdditionThatDoesNotFitIsRefusedWhole)
{
    auto rec = std::make_unique<CPdbPackedRecord>();
    rec->AddString(std::string(65533, 'a'), 0); // 65,534 bytes
    EXPECT_FALSE(rec->Overflowed());
    rec->AddDWord(0x01020304); // needs 4, 2 free
    EXPECT_TRUE(rec->Overflowed());
    EXPECT_EQ(rec->Size(), 65534);
    rec->AddWord(0xBEEF); // exactly fills
    EXPECT_EQ(rec->Size(), 65536);
    rec->AddUChar(1);
    rec->AddString("x", 4);
    EXPECT_EQ(rec->Size(), 65536);
    EXPECT_EQ(rec->Buffer()[65534], 0xBE);

    rec->Reset();
    EXPECT_FALSE(rec->Overflowed());
    EXPECT_EQ(rec->Size(), 0);
}

TEST(PdbPackedRecord, AddPdbPackedRecordAppendsOrRefuses)
{
    auto a = std::make_unique<CPdbPackedRecord>();
    auto b = std::make_unique<CPdbPackedRecord>();
    EXPECT_EQ(a->AddPdbPackedRecord(nullptr), "CPdbPackedRecord::AddPdbPackedRecord - cannot add empty record");
    EXPECT_EQ(a->AddPdbPackedRecord(b.get()), "");
    EXPECT_EQ(a->Size(), 0);
    a->AddWord(0x0102);
    b->AddUChar(9);
    EXPECT_EQ(a->AddPdbPackedRecord(b.get()), "");
    EXPECT_EQ(a->AddPdbPackedRecord(a.get()), "");
    EXPECT_EQ(BytesOf(*a), (Bytes{1, 2, 9, 1, 2, 9}));

    b->AddString(std::string(65534, 'b'), 0); // b is now full
    EXPECT_EQ(a->AddPdbPackedRecord(b.get()), "CPdbPackedRecord::AddPdbPackedRecord - record too large");
    EXPECT_EQ(a->Size(), 6);
    EXPECT_TRUE(a->Overflowed());

    CPdbPackedRecord copy(*a);
    EXPECT_EQ(BytesOf(copy), BytesOf(*a));
}

TEST(PdbPackedRecord, AddFileBinDataTakesFilesUpToOneByteShortOfTheRoom)
{
    auto rec = std::make_unique<CPdbPackedRecord>();
    rec->AddString(std::string(99, 'h'), 0); // size 100
    const long room = 65535 - 100;
    const std::string fits = WriteTempFile("fits.bin", std::string(std::size_t(room), 'f'));
    const std::string over = WriteTempFile("over.bin", std::string(std::size_t(room + 1), 'o'));

    EXPECT_FALSE(rec->AddFileBinData(over));
    EXPECT_EQ(rec->Size(), 100);
    EXPECT_TRUE(rec->Overflowed());

    rec->Reset();
    rec->AddString(std::string(99, 'h'), 0);
    EXPECT_TRUE(rec->AddFileBinData(fits));
    EXPECT_EQ(rec->Size(), 65535);
    EXPECT_EQ(rec->Buffer()[65534], 'f');
    EXPECT_FALSE(rec->AddFileBinData(TestDir() + "no-such-file.bin"));
}

TEST(PdbPackedRecord, PriceStringToDWord)
{
    struct { const char* text; DWORD value; } cases[] = {
        {"12", 1200},       {"12.5", 1250},    {"12,345", 1234},  {"1 234,50 EUR", 123450},
        {"", 0},            {"EUR", 0},        {"0.05", 5},       {"-3.10", 310},
        {"1.2.3", 123},     {"42949672.95", 4294967295u},         {"42949672.96", 0},
        {"99999999999999999999999", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(CPdbPackedRecord::PriceStringToDWord(c.text), c.value) << c.text;
    EXPECT_EQ(CPdbPackedRecord::PriceStringToDWord("11111" + std::string(58, ' ')), 1111100u); // 63 characters
    EXPECT_EQ(CPdbPackedRecord::PriceStringToDWord("1" + std::string(63, ' ')), 0u); // 64 characters
}

class DateConversions : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
            const char* v = std::getenv(name);
            saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override
    {
        for (auto& [name, value] : saved) {
            if (value) setenv(name, value->c_str(), 1);
            else unsetenv(name);
        }
    }
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
};

TEST_F(DateConversions, EpochAndConventions)
{
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("01/01/1904 00:00:00", "FR"), 0u);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("02/01/1904", "FR"), 86400u);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("01/02/1904", "US"), 86400u);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("02/01/1904", "dd/mm/yyyy"), 86400u);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("01/02/1904", "MM/DD/YY"), 86400u);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("02.01.1904 01:02", "FR"), 86400u + 3720u);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("1/2/1904 1:02:03 PM", "US"), 86400u + 13 * 3600 + 123);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("1/2/1904 12:00 AM", "US"), 86400u);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("1904-01-02 00:00:10", "FR"), 86410u);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("31/12/03", "FR"), CPdbPackedRecord::DateStringToDWord("31/12/2003", "FR"));
    EXPECT_EQ(CPdbPackedRecord::DateStringToW3CString("31/12/99", "DD/MM/YY"), "1999-12-31T00:00:00");
    EXPECT_EQ(CPdbPackedRecord::DateStringToW3CString("05/03/2001 10:20:30", "DD/MM/YYYY"), "2001-03-05T10:20:30");
    EXPECT_EQ(CPdbPackedRecord::DateStringToW3CString("05/03/2001 10:20:30", "us"), "2001-05-03T10:20:30");
}

TEST_F(DateConversions, RefusedDatesGiveZeroOrEmpty)
{
    for (const char* text : {"", "31/02/2001", "13/13/2001", "hello", "01/01/1903", "01/01/2040",
                             "06/02/2040", "01/01/2001 24:00", "01/01/2001 10:61", "01/01/2001x", "1/1/123"})
        EXPECT_EQ(CPdbPackedRecord::DateStringToDWord(text, "FR"), 0u) << text;
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("12/25/2001 13:00 PM", "US"), 0u);
    EXPECT_EQ(CPdbPackedRecord::DateStringToW3CString("31/02/2001", "FR"), "");
    // No year limit for the text conversion.
    EXPECT_EQ(CPdbPackedRecord::DateStringToW3CString("01/01/2050", "FR"), "2050-01-01T00:00:00");
    // The last second before 2040.
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("31/12/2039 23:59:59", "FR"), 4291833599u);
}

TEST_F(DateConversions, W3CRoundTripAndZoneSuffix)
{
    const DWORD v = CPdbPackedRecord::DateStringToDWord("2001-05-03T10:20:30", "w3c");
    EXPECT_EQ(v, 3071730030u);
    EXPECT_EQ(CPdbPackedRecord::DWordToW3CDateString(v), "2001-05-03T10:20:30");
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("2001-05-03T10:20:30+02:00", "W3C"), v);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("2001-05-03T10:20:30Z", "W3C"), v);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("2001-05-03 10:20:30\n", "W3C"), v);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("2001-05-03", "W3C"), v - 37230);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("garbage", "W3C"), 0u);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("2040-01-01T00:00:00", "W3C"), 0u);

    std::string text = "2010-11-12T13:14:15-05:00";
    int y, mo, d, h, mi, s;
    EXPECT_TRUE(CPdbPackedRecord::ParseW3CDateString(text, y, mo, d, h, mi, s));
    EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s}), std::vector<int>({2010, 11, 12, 13, 14, 15}));
    text = "2010-11";
    EXPECT_TRUE(CPdbPackedRecord::ParseW3CDateString(text, y, mo, d, h, mi, s));
    EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s}), std::vector<int>({2010, 11, 0, 0, 0, 0}));

    // "W3C" names no convention for the text conversion: the locale's, which
    // also reads year-first dates.
    EXPECT_EQ(CPdbPackedRecord::DateStringToW3CString("2001-05-03T10:20:30", "W3C"), "2001-05-03T10:20:30");
}

TEST_F(DateConversions, DefaultLocaleDecidesTheOrder)
{
    EXPECT_EQ(CPdbPackedRecord::DateStringToW3CString("05/03/2001", ""), "2001-05-03T00:00:00");
    setenv("LANG", "fr_FR.UTF-8", 1);
    EXPECT_EQ(CPdbPackedRecord::DateStringToW3CString("05/03/2001", "XX"), "2001-03-05T00:00:00");
    setenv("LC_TIME", "en_US.UTF-8", 1);
    EXPECT_EQ(CPdbPackedRecord::DateStringToW3CString("05/03/2001", ""), "2001-05-03T00:00:00");
    setenv("LC_ALL", "fr_CA", 1);
    EXPECT_EQ(CPdbPackedRecord::DateStringToDWord("02/01/1904", "other"), 86400u);
}

TEST_F(DateConversions, OleDates)
{
    EXPECT_DOUBLE_EQ(CPdbPackedRecord::DWordToOleDate(0), 1462.0);
    EXPECT_DOUBLE_EQ(CPdbPackedRecord::DWordToOleDate(86400 + 43200), 1463.5);
    const COleDateTime epoch = CPdbPackedRecord::DWordToCOleDateTime(0);
    EXPECT_EQ(epoch.FormatW3C(), "1904-01-01T00:00:00");
    // The largest value: 2040-02-06 06:28:15.
    const COleDateTime last = CPdbPackedRecord::DWordToCOleDateTime(0xFFFFFFFFu);
    EXPECT_EQ(last.FormatW3C(), "2040-02-06T06:28:15");
    EXPECT_NEAR(last.GetOleDate(), 1462.0 + 4294967295.0 / 86400.0, 1e-9);
    // Leap days: 2000-02-29 exists, 1900-02-29 does not.
    EXPECT_TRUE(COleDateTime(2000, 2, 29, 0, 0, 0).IsValid());
    EXPECT_FALSE(COleDateTime(1900, 2, 29, 0, 0, 0).IsValid());
    EXPECT_EQ(CPdbPackedRecord::DWordToW3CDateString(CPdbPackedRecord::DateStringToDWord("29/02/2000 23:59:59", "FR")),
              "2000-02-29T23:59:59");
}

} // namespace
