// The language of the environment, and the catalog chosen from it.
#include "lexmo/Language.h"

#include <cstdlib>
#include <optional>

#include "UserLanguage.h"

namespace lexmo {

namespace {

bool Set(const char* value)
{
    return value != nullptr && *value != '\0';
}

// "fr", "fr_FR", "fr.UTF-8", "fr@euro" are French; "fur_IT" or "fy_NL" are not.
bool IsFrench(std::string_view name)
{
    return name.size() >= 2 && name[0] == 'f' && name[1] == 'r' &&
           (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@');
}

bool IsEnglish(std::string_view name)
{
    return name.size() >= 2 && name[0] == 'e' && name[1] == 'n' &&
           (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@');
}

bool IsCLocale(std::string_view name)
{
    return name == "C" || name == "POSIX" || name.substr(0, 2) == "C." || name.substr(0, 2) == "C@";
}

} // namespace

Language LanguageOf(const char* language, const char* lcAll, const char* lcMessages, const char* lang)
{
    const char* locale = Set(lcAll) ? lcAll : Set(lcMessages) ? lcMessages : Set(lang) ? lang : "C";
    if (IsCLocale(locale)) return Language::English;
    if (Set(language)) {
        // The first entry we have a catalog for wins.
        std::string_view list(language);
        while (!list.empty()) {
            const std::size_t colon = list.find(':');
            const std::string_view entry = list.substr(0, colon);
            if (IsFrench(entry)) return Language::French;
            if (IsEnglish(entry)) return Language::English;
            if (colon == std::string_view::npos) break;
            list.remove_prefix(colon + 1);
        }
    }
    return IsFrench(locale) ? Language::French : Language::English;
}

Language LocaleLanguage()
{
    const char* lcAll = std::getenv("LC_ALL");
    const char* lcMessages = std::getenv("LC_MESSAGES");
    const char* lang = std::getenv("LANG");
    if (!Set(lcAll) && !Set(lcMessages) && !Set(lang)) {
        if (const std::optional<bool> french = UserLanguageIsFrench()) return *french ? Language::French : Language::English;
    }
    return LanguageOf(std::getenv("LANGUAGE"), lcAll, lcMessages, lang);
}

std::string ChosenCatalog(std::string_view msgDll)
{
    if (!msgDll.empty()) return std::string(msgDll);
    return LocaleLanguage() == Language::French ? kFrenchCatalog : kEnglishCatalog;
}

} // namespace lexmo
