// Which of the product's two languages a program speaks, and which catalog
// that means: the user's MsgDll when set, else the locale of the environment.
#pragma once
#include <string>
#include <string_view>

#include "seam/Export.h"

namespace lexmo {

enum class Language { French, English };

// Lexmo.msg speaks French, LexmoUs.msg English.
inline constexpr const char* kFrenchCatalog = "Lexmo.dll";
inline constexpr const char* kEnglishCatalog = "LexmoUs.dll";

// The language asked for by these values of LANGUAGE, LC_ALL, LC_MESSAGES and
// LANG (null or empty: unset), read as gettext reads them: the first of
// LC_ALL, LC_MESSAGES, LANG names the locale; LANGUAGE, a list such as
// "de:fr:en", comes first unless that locale is C or POSIX. French for
// "fr", "fr_CA.UTF-8", "fr@euro"...; English for anything else. Nothing
// here needs the locale to be installed on the machine.
NORV_EXPORT Language LanguageOf(const char* language, const char* lcAll, const char* lcMessages, const char* lang);

// The same from the process's environment; on Windows, with none of those
// variables set, the user's display language decides.
NORV_EXPORT Language LocaleLanguage();

// The catalog a program loads: `msgDll` (the user's choice in the settings)
// when not empty, else the catalog of the locale's language.
NORV_EXPORT std::string ChosenCatalog(std::string_view msgDll);

} // namespace lexmo
