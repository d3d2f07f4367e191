// The formatter: printf's results where printf is defined, something sensible
// and bounded everywhere else.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "lexmo/Lexmo.h"

namespace {

template <class V>
std::string C(const char* fmt, V v)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

TEST(Format, EachConversionMatchesPrintf)
{
    EXPECT_EQ(KESA_FormatText("%s", "abc"), "abc");
    EXPECT_EQ(KESA_FormatText("%d", -42), "-42");
    EXPECT_EQ(KESA_FormatText("%i", 7), "7");
    EXPECT_EQ(KESA_FormatText("%u", 4000000000u), "4000000000");
    EXPECT_EQ(KESA_FormatText("%x", 255), "ff");
    EXPECT_EQ(KESA_FormatText("%X", 0xBEEFu), "BEEF");
    EXPECT_EQ(KESA_FormatText("%c", 'A'), "A");
    EXPECT_EQ(KESA_FormatText("%e", 1234.5), C("%e", 1234.5));
    EXPECT_EQ(KESA_FormatText("%f", 3.25), "3.250000");
    EXPECT_EQ(KESA_FormatText("%g", 0.0001), C("%g", 0.0001));
    EXPECT_EQ(KESA_FormatText("100%% sûr, %d%%", 5), "100% sûr, 5%");
    EXPECT_EQ(KESA_FormatText("%ld %lld %hd %hhd %zu %lu %llx", 1L, 2LL, short(3), 4, size_t(5), 6UL, 255ULL),
              "1 2 3 4 5 6 ff");
}

TEST(Format, FlagsWidthAndPrecision)
{
    EXPECT_EQ(KESA_FormatText("[%5d]", 42), "[   42]");
    EXPECT_EQ(KESA_FormatText("[%-5d]", 42), "[42   ]");
    EXPECT_EQ(KESA_FormatText("[%05d]", -42), "[-0042]");
    EXPECT_EQ(KESA_FormatText("[%+d]", 42), "[+42]");
    EXPECT_EQ(KESA_FormatText("[% d]", 42), "[ 42]");
    EXPECT_EQ(KESA_FormatText("[%.4d]", 7), "[0007]");
    EXPECT_EQ(KESA_FormatText("[%#x]", 255), "[0xff]");
    EXPECT_EQ(KESA_FormatText("[%#08X]", 255), C("[%#08X]", 255));
    EXPECT_EQ(KESA_FormatText("[%8.3f]", 3.14159), "[   3.142]");
    EXPECT_EQ(KESA_FormatText("[%-8.2e]", 31.4159), C("[%-8.2e]", 31.4159));
    EXPECT_EQ(KESA_FormatText("[%#g]", 2.0), C("[%#g]", 2.0));
    EXPECT_EQ(KESA_FormatText("[%+.1f]", 2.0), "[+2.0]");
    EXPECT_EQ(KESA_FormatText("[%6s]", "ab"), "[    ab]");
    EXPECT_EQ(KESA_FormatText("[%-6s]", "ab"), "[ab    ]");
    EXPECT_EQ(KESA_FormatText("[%.2s]", "abcdef"), "[ab]");
    EXPECT_EQ(KESA_FormatText("[%4.2s]", "abcdef"), "[  ab]");
    EXPECT_EQ(KESA_FormatText("[%3c]", 'z'), "[  z]");
    // Flags that printf leaves undefined for a letter are dropped, not passed on.
    EXPECT_EQ(KESA_FormatText("[%#d] [%05s] [%#c]", 5, "ab", 'q'), "[5] [   ab] [q]");
}

TEST(Format, PrecisionDoesNotCutInsideACharacter)
{
    // "aé": 'a' then the two bytes of 'é'.
    EXPECT_EQ(KESA_FormatText("[%.2s]", "aéb"), "[a]");
    EXPECT_EQ(KESA_FormatText("[%.3s]", "aéb"), "[aé]");
}

TEST(Format, MismatchedArgumentsAreRendered)
{
    EXPECT_EQ(KESA_FormatText("code %d", "000"), "code 000");
    EXPECT_EQ(KESA_FormatText("[%5d]", "ab"), "[   ab]");
    EXPECT_EQ(KESA_FormatText("[%f]", "n/a"), "[n/a]");
    EXPECT_EQ(KESA_FormatText("[%x]", "zz"), "[zz]");
    EXPECT_EQ(KESA_FormatText("%s", 12029), "12029");
    EXPECT_EQ(KESA_FormatText("%s", 4000000000u), "4000000000");
    EXPECT_EQ(KESA_FormatText("%s", -5), "-5");
    EXPECT_EQ(KESA_FormatText("%s", 2.5), "2.5");
    EXPECT_EQ(KESA_FormatText("[%4s]", 7), "[   7]");
    EXPECT_EQ(KESA_FormatText("%f", 3), "3.000000");
    EXPECT_EQ(KESA_FormatText("%.1f", 5u), "5.0");
    EXPECT_EQ(KESA_FormatText("%d", 3.99), "3");
    EXPECT_EQ(KESA_FormatText("%d", -3.99), "-3");
    EXPECT_EQ(KESA_FormatText("%d", std::nan("")), "nan");
    EXPECT_EQ(KESA_FormatText("%d", 1e300), C("%g", 1e300));
    EXPECT_EQ(KESA_FormatText("%d", std::numeric_limits<unsigned long long>::max()), "18446744073709551615");
    EXPECT_EQ(KESA_FormatText("%u", -1), "-1");
    EXPECT_EQ(KESA_FormatText("%x", -1), "ffffffff");
    EXPECT_EQ(KESA_FormatText("%x", -5000000000LL), "fffffffed5fa0e00");
    EXPECT_EQ(KESA_FormatText("%d", 'A'), "65");
    EXPECT_EQ(KESA_FormatText("%c", 66), "B");
    EXPECT_EQ(KESA_FormatText("[%c]", 0), "[]");
    EXPECT_EQ(KESA_FormatText("%c", 1000), "1000");
    EXPECT_EQ(KESA_FormatText("%c", "xyz"), "xyz");
    EXPECT_EQ(KESA_FormatText("%d", true), "1");
    EXPECT_EQ(KESA_FormatText("%s", static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(KESA_FormatText("%s", std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Format, MissingArgumentsRenderEmptyAndExtraOnesAreIgnored)
{
    EXPECT_EQ(lexmo::Format("a%sb%dc%5xd", {}), "abcd");
    EXPECT_EQ(KESA_FormatText("%s and %s", "one"), "one and ");
    EXPECT_EQ(KESA_FormatText("%d", 1, 2, "three"), "1");
    EXPECT_EQ(KESA_FormatText("no conversion", 1, "x"), "no conversion");
    EXPECT_EQ(KESA_FormatText("%% %d", 9), "% 9");
}

TEST(Format, MalformedConversionsAreCopied)
{
    EXPECT_EQ(KESA_FormatText("50% off", 1), "50% off");
    EXPECT_EQ(KESA_FormatText("end %", 1), "end %");
    EXPECT_EQ(KESA_FormatText("%y %5 %-", 1), "%y %5 %-");
    // These consume no argument: the next valid conversion takes the first.
    EXPECT_EQ(KESA_FormatText("%n%d", 5), "%n5");
    EXPECT_EQ(KESA_FormatText("%p|%s", "x"), "%p|x");
    EXPECT_EQ(KESA_FormatText("%*d|%.*s|%d", 1, 2, 3), "%*d|%.*s|1");
    EXPECT_EQ(KESA_FormatText("%lq %hls %qd", 1), "%lq %hls %qd");
    EXPECT_EQ(KESA_FormatText("%5%|%d", 4), "%5%|4");
}

TEST(Format, HostileFormatsStayBounded)
{
    std::string wide = KESA_FormatText("%999999999d", 1);
    EXPECT_EQ(wide.size(), size_t(lexmo::kMaxField));
    EXPECT_EQ(wide.back(), '1');
    EXPECT_EQ(KESA_FormatText("%99999999999999999999999s|", "a").size(), size_t(lexmo::kMaxField) + 1);
    std::string precise = KESA_FormatText("%.999999999f", 1e308);
    EXPECT_LT(precise.size(), 2000u);
    EXPECT_EQ(KESA_FormatText("%.999999999s", "short"), "short");
    EXPECT_EQ(KESA_FormatText("%-999999999c|", 'x').size(), size_t(lexmo::kMaxField) + 1);

    std::string many;
    for (int i = 0; i < 10000; ++i) many += "%s%n%999d";
    std::string out = KESA_FormatText(many, "x");
    EXPECT_EQ(out.substr(0, 3), "x%n");
    EXPECT_LT(out.size(), 10000u * 8);

    // Every byte value, NULs included, passes through or is copied.
    std::string bytes;
    for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
    std::string all = KESA_FormatText(bytes + "%" + bytes, 1.5, "t");
    EXPECT_EQ(all.size(), 2 * bytes.size() + 1);
}

TEST(Format, ConversionsListsTheLettersFilled)
{
    EXPECT_EQ(lexmo::Conversions("%-5s %%d %lu %y %n %"), "su");
    EXPECT_EQ(lexmo::Conversions("%s (%d) %.2f %c%X"), "sdfcX");
    EXPECT_EQ(lexmo::Conversions("100 %%"), "");
}

} // namespace
