#include <gtest/gtest.h>

#include <random>

#include "RecordsTestUtil.h"
#include "records/Cypher.h"
#include "records/PalmBitmap.h"
#include "records/PbmConverter.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes Convert(const std::string& pbm, std::string* error = nullptr)
{
    CPbmConverter converter;
    const std::string result = converter.LoadPbmFile(WriteTempFile("image.pbm", pbm));
    if (error != nullptr) *error = result;
    return BytesOf(*converter.GetPdbPackedRecord());
}

Bytes Header(unsigned width, unsigned height, unsigned rowBytes)
{
    Bytes b;
    Put16(b, width);
    Put16(b, height);
    Put16(b, rowBytes);
    b.insert(b.end(), 10, 0);
    return b;
}

TEST(PbmConverter, OneBlackPixel)
{
    std::string error = "x";
    EXPECT_EQ(Convert("P1\n1 1\n1\n", &error), (Bytes{0, 1, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0}));
    EXPECT_EQ(error, "");
}

TEST(PbmConverter, RowsPadToWordsAndRunAcrossLinesWithComments)
{
    // 17 pixels wide: 4 row bytes. Row 0: first and last pixels black; row 1: pixel 1.
    const std::string pbm = "# made by hand\nP1\n# size next\n17 2\n"
                            "1 0 0 0 0 0 0 0 0 0\n# a comment between pixel lines\n0 0 0 0 0 0 1\n"
                            "0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\r\n";
    Bytes expected = Header(17, 2, 4);
    expected.insert(expected.end(), {0x80, 0x00, 0x80, 0x00, 0x40, 0x00, 0x00, 0x00});
    EXPECT_EQ(Convert(pbm), expected);

    Bytes sixteen = Header(16, 1, 2);
    sixteen.insert(sixteen.end(), {0xFF, 0xFF});
    EXPECT_EQ(Convert("P1\n16 1\n1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1\n"), sixteen);
}

// The desktop reads back what the converter writes, and nothing else.
TEST(PalmBitmap, ReadsTheConvertersBitmapAndRefusesAnyOtherBytes)
{
    const std::string pbm = "P1\n17 2\n1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1\n0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
    const Bytes good = Convert(pbm);
    CPalmBitmap bitmap;
    ASSERT_TRUE(bitmap.FillFromBytes(good));
    EXPECT_EQ(bitmap.GetWidth(), 17);
    EXPECT_EQ(bitmap.GetHeight(), 2);
    EXPECT_EQ(bitmap.GetRowBytes(), 4);
    std::string pixels;
    for (int y = -1; y <= 2; ++y)
        for (int x = -1; x <= 17; ++x) pixels += bitmap.IsBlack(x, y) ? '#' : '.';
    EXPECT_EQ(pixels, std::string(19, '.') + ".#...............#." + "..#................" + std::string(19, '.'));
    EXPECT_EQ(Bytes(bitmap.GetRow(1), bitmap.GetRow(1) + 4), (Bytes{0x40, 0, 0, 0}));
    EXPECT_EQ(bitmap.GetRow(2), nullptr);

    auto changed = [&](std::size_t at, BYTE value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    const struct {
        const char* what;
        Bytes bytes;
    } refused[] = {
        {"empty", {}},
        {"a header alone", Header(17, 2, 4)},
        {"one byte short", Bytes(good.begin(), good.end() - 1)},
        {"one byte more (the record's closing zero kept)", [&] { Bytes b = good; b.push_back(0); return b; }()},
        {"rows narrower than the width", [] { Bytes b = Header(17, 2, 2); b.insert(b.end(), 4, 0); return b; }()},
        {"odd row bytes", [] { Bytes b = Header(8, 1, 1); b.push_back(0); return b; }()},
        {"no width", [] { Bytes b = Header(0, 1, 2); b.insert(b.end(), 2, 0); return b; }()},
        {"compressed", changed(6, 0x80)},
        {"a later bitmap version", changed(9, 2)},
        {"a GIF file", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(bitmap.FillFromBytes(r.bytes)) << r.what;
        EXPECT_TRUE(bitmap.IsEmpty()) << r.what;
        EXPECT_FALSE(bitmap.IsBlack(0, 0)) << r.what;
    }
}

TEST(PbmConverter, WithoutSeparatorsEveryOtherCharacterIsAPixel)
{
    Bytes expected = Header(4, 1, 2);
    expected.insert(expected.end(), {0xA0, 0x00}); // from "11001100": 1, 0, 1, 0
    EXPECT_EQ(Convert("P1\n4 1\n11001100\n"), expected);
}

TEST(PbmConverter, ShortFileEndsInWhite)
{
    Bytes expected = Header(3, 2, 2);
    expected.insert(expected.end(), {0x60, 0x00, 0x00, 0x00});
    EXPECT_EQ(Convert("P1\n3 2\n0 1 1"), expected);
}

// An empty line among the pixels is read like any other: its first
// character, past its end, is one white pixel.
TEST(PbmConverter, AnEmptyPixelLineIsOneWhitePixel)
{
    Bytes expected = Header(2, 1, 2);
    expected.insert(expected.end(), {0x80, 0x00});
    EXPECT_EQ(Convert("P1\n2 1\n1\n\n1\n"), expected);
}

TEST(PbmConverter, Refusals)
{
    std::string error;
    Convert("P1\n0 5\n", &error);
    EXPECT_EQ(error, "CPbmConverter::LoadPbmFile - invalid image dimensions");
    Convert("P1\n15\n", &error);
    EXPECT_EQ(error, "CPbmConverter::LoadPbmFile - invalid image dimensions");
    Convert("P1\n", &error);
    EXPECT_EQ(error, "CPbmConverter::LoadPbmFile - invalid image dimensions");
    Convert("P1\n16 32761\n", &error);
    EXPECT_EQ(error, "CPbmConverter::LoadPbmFile - image too large");
    Convert("P1\n70000 1\n", &error);
    EXPECT_EQ(error, "CPbmConverter::LoadPbmFile - image too large");
    Convert("P1\n16 32760\n", &error); // exactly 65,536 bytes
    EXPECT_EQ(error, "");

    CPbmConverter converter;
    EXPECT_EQ(converter.GetBuffer(), nullptr);
    EXPECT_EQ(converter.LoadPbmFile(TestDir() + "missing.pbm"),
              "CPbmConverter::LoadPbmFile - file open failed");
#ifdef _WIN32
    // Windows refuses to open a folder as a file.
    EXPECT_EQ(converter.LoadPbmFile(TestDir()), "CPbmConverter::LoadPbmFile - file open failed");
#else
    // A folder opens but cannot be read.
    EXPECT_EQ(converter.LoadPbmFile(TestDir()), "CPbmConverter::LoadPbmFile - invalid file format");
#endif
}

// Exposes the protected helpers.
class OpenCypher : public CCypher {
public:
    using CCypher::ConvertFromHex;
    using CCypher::ConvertToHex;
    using CCypher::hstr_i;
};

TEST(Cypher, RoundTripOverRandomTextsAndKeys)
{
    std::mt19937 random(1234);
    CCypher encoder;
    CCypher decoder;
    for (int i = 0; i < 500; ++i) {
        std::string text(random() % 200, '\0');
        for (char& c : text) c = char(random() % 256);
        std::string key(random() % 30, '\0');
        for (char& c : key) c = char(random() % 256);
        const std::string hex = encoder.Encypher(text, key);
        ASSERT_EQ(hex.size(), 2 * (text.size() + 2));
        ASSERT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
        ASSERT_EQ(decoder.Decypher(hex, key), text) << i;
    }
}

TEST(Cypher, EdgeCases)
{
    CCypher cypher;
    const std::string empty = cypher.Encypher("", "key");
    EXPECT_EQ(empty.size(), 4u);
    EXPECT_EQ(cypher.Decypher(empty, "key"), "");
    EXPECT_EQ(cypher.Decypher("", "key"), "");
    EXPECT_EQ(cypher.Decypher("4", "key"), "");
    EXPECT_EQ(cypher.Decypher("ff", "key"), "");
    EXPECT_EQ(cypher.Decypher("00112233", "key"), ""); // names no row

    const std::string longKey = "0123456789abcdefghijKLMNOP";
    const std::string hex = cypher.Encypher("secret text", longKey);
    EXPECT_EQ(cypher.Decypher(hex, longKey.substr(0, 20)), "secret text");

    // An empty key does not depend on the keys used before.
    CCypher fresh;
    const std::string noKey = cypher.Encypher("abc", "");
    EXPECT_EQ(fresh.Decypher(noKey, ""), "abc");

    std::string upper = hex;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    std::string spaced;
    for (std::size_t i = 0; i < hex.size(); i += 2) spaced += " " + hex.substr(i, 2) + "\t";
    EXPECT_EQ(cypher.Decypher(upper, longKey), "secret text");
    EXPECT_EQ(cypher.Decypher(spaced, longKey), "secret text");

    for (int i = 0; i < 1000; ++i) {
        const int n = cypher.GetNumber2();
        ASSERT_TRUE(n >= 0 && n <= 255);
    }
}

// Row 4 steps the table from 40 to 50 and index 50 is key entry 0: with a
// one-byte key, the eleventh byte is xored with that key twice.
TEST(Cypher, RowFourReachesKeyEntryZeroThenStartsOver)
{
    OpenCypher cypher;
    std::string plain(1, char(('A' + 4) ^ 5));
    const std::string text = "xxxxxxxxxxxx"; // 12 bytes
    for (char c : text) plain.push_back(char(c ^ 4)); // mask of r = 0
    plain.push_back(char(0 ^ 10));
    const std::string hex = cypher.ConvertToHex(plain);
    for (const char* key : {"a", "q", ""}) {
        const std::string out = cypher.Decypher(hex, key);
        ASSERT_EQ(out.size(), 12u) << key;
        EXPECT_EQ(out[10], 'x') << key;
        // Then t starts over at 0.
        EXPECT_EQ(out[11], out[0]) << key;
    }
    EXPECT_NE(cypher.Decypher(hex, "a")[0], cypher.Decypher(hex, "q")[0]);
}

TEST(Cypher, HexHelpers)
{
    OpenCypher cypher;
    EXPECT_EQ(cypher.ConvertToHex(std::string("\x00\x0f\xa0\xff", 4)), "000fa0ff");
    EXPECT_EQ(cypher.ConvertFromHex("000FA0ff"), std::string("\x00\x0f\xa0\xff", 4));
    EXPECT_EQ(cypher.hstr_i(nullptr), 0u);
    EXPECT_EQ(cypher.hstr_i("1aZ"), 26u);
    EXPECT_EQ(cypher.hstr_i("g"), 0u);
}

} // namespace
