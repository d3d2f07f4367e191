#include <gtest/gtest.h>

#include "nvservices/NvServices.h"

namespace {

bool IsUpperHex(const std::string& s)
{
    return s.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

} // namespace

TEST(NvCypherTest, PrintableAndReversibleForAnyBytes)
{
    const struct {
        std::string text, key;
    } cases[] = {
        {"secret", "k&valice"},
        {"secret ", "k&valice"},       // blanks at the end are cyphered too
        {"aaaaaaaaaaaaaaaa", "k&v"},    // no login typed
        {std::string("\0\x01\xff\x80 z", 6), "k&v\xc3\xa9t\xc3\xa9"},
        {"mot de passe très long " + std::string(300, 'x'), "k&vlogin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        const std::string cyphered = NvCypher(c.text, c.key);
        EXPECT_EQ(cyphered.size(), 2 * c.text.size());
        EXPECT_TRUE(IsUpperHex(cyphered)) << cyphered;
        EXPECT_EQ(NvCypher(c.text, c.key), cyphered); // the service compares the stored form
        EXPECT_EQ(NvDecypher(cyphered, c.key), c.text);
        EXPECT_NE(NvDecypher(cyphered, c.key + "x"), c.text);
    }
}

TEST(NvCypherTest, EmptyPasswordGivesEmptyText)
{
    // The dialogs take an empty result for a missing password.
    EXPECT_EQ(NvCypher("", "k&valice"), "");
    EXPECT_EQ(NvDecypher("", "k&valice"), "");
}

TEST(NvCypherTest, KeyAndRepetitionsDoNotShow)
{
    // Each login gives another text, and a repeated character is no repeated pair.
    EXPECT_NE(NvCypher("secret", "k&valice"), NvCypher("secret", "k&valicf"));
    EXPECT_NE(NvCypher("secret", "k&valice"), NvCypher("secret", "k&v"));
    const std::string same = NvCypher("zzzzzzzz", "k&vbob");
    int equalPairs = 0;
    for (std::size_t i = 2; i < same.size(); i += 2) equalPairs += same.compare(i, 2, same, i - 2, 2) == 0;
    EXPECT_LT(equalPairs, 3) << same;
    EXPECT_NE(same.find_first_not_of(same.substr(0, 2)), std::string::npos);
}

TEST(NvCypherTest, DecypherRefusesWhatIsNotHexPairs)
{
    for (const char* bad : {"A", "ABC", "G0", "0 "}) EXPECT_EQ(NvDecypher(bad, "k&v"), "") << bad;
}
