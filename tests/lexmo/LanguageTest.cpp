// The language chosen from the locale variables, and the catalog it means.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "lexmo/Language.h"

using lexmo::Language;

namespace {

struct Case {
    const char* language;
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    Language expected;
};

TEST(Language, LocaleVariablesReadAsGettextReadsThem)
{
    const Language fr = Language::French, en = Language::English;
    const Case cases[] = {
        {nullptr, nullptr, nullptr, nullptr, en},               // nothing set: the C locale
        {nullptr, nullptr, nullptr, "fr_FR.UTF-8", fr},         // needs no generated locale
        {nullptr, nullptr, nullptr, "fr", fr},
        {nullptr, nullptr, nullptr, "fr_CA", fr},
        {nullptr, nullptr, nullptr, "fr@euro", fr},
        {nullptr, nullptr, nullptr, "en_US.UTF-8", en},
        {nullptr, nullptr, nullptr, "de_DE.UTF-8", en},         // no German catalog: English
        {nullptr, nullptr, nullptr, "fur_IT", en},              // Friulian, not French
        {nullptr, nullptr, nullptr, "fy_NL", en},
        {nullptr, nullptr, nullptr, "C.UTF-8", en},
        {nullptr, nullptr, "fr_BE.UTF-8", "en_US.UTF-8", fr},   // LC_MESSAGES before LANG
        {nullptr, "en_GB.UTF-8", "fr_FR.UTF-8", "fr_FR", en},   // LC_ALL before both
        {nullptr, "fr_CH", nullptr, "en_US", fr},
        {nullptr, "", "", "fr_FR.UTF-8", fr},                   // empty counts as unset
        {"fr:en", nullptr, nullptr, "en_US.UTF-8", fr},         // LANGUAGE comes first...
        {"en", nullptr, nullptr, "fr_FR.UTF-8", en},
        {"de:fr_CA:en", nullptr, nullptr, "en_US.UTF-8", fr},   // ...its first language we have
        {"de:it", nullptr, nullptr, "fr_FR.UTF-8", fr},         // none: the locale decides
        {"fr", nullptr, nullptr, "C", en},                      // ...but not over the C locale
        {"fr", nullptr, nullptr, "POSIX", en},
        {"fr", nullptr, nullptr, "C.UTF-8", en},
        {"fr", nullptr, nullptr, nullptr, en},
        {"", nullptr, nullptr, "fr_FR", fr},
    };
    for (const Case& c : cases) {
        auto show = [](const char* v) { return v ? "\"" + std::string(v) + "\"" : std::string("unset"); };
        EXPECT_EQ(lexmo::LanguageOf(c.language, c.lcAll, c.lcMessages, c.lang), c.expected)
            << "LANGUAGE=" << show(c.language) << " LC_ALL=" << show(c.lcAll) << " LC_MESSAGES=" << show(c.lcMessages)
            << " LANG=" << show(c.lang);
    }
}

// Sets a variable for one test and puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_Name(name)
    {
        if (const char* old = std::getenv(name)) m_Old = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_Old) ::setenv(m_Name, m_Old->c_str(), 1);
        else ::unsetenv(m_Name);
    }

private:
    const char* m_Name;
    std::optional<std::string> m_Old;
};

TEST(Language, TheUsersChoiceHoldsElseTheEnvironmentDecides)
{
    ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), language("LANGUAGE", nullptr);
    {
        ScopedEnv lang("LANG", "fr_FR.UTF-8");
        EXPECT_EQ(lexmo::ChosenCatalog(""), "Lexmo.dll");
        EXPECT_EQ(lexmo::ChosenCatalog("LexmoUs.dll"), "LexmoUs.dll");
    }
    {
        ScopedEnv lang("LANG", "en_US.UTF-8");
        EXPECT_EQ(lexmo::ChosenCatalog(""), "LexmoUs.dll");
        EXPECT_EQ(lexmo::ChosenCatalog("Lexmo.dll"), "Lexmo.dll");
        ScopedEnv lcAll("LC_ALL", "fr_CA.UTF-8");
        EXPECT_EQ(lexmo::ChosenCatalog(""), "Lexmo.dll");
    }
}

} // namespace
