// On POSIX systems the locale variables are the user's language.
#include "UserLanguage.h"

namespace lexmo {

std::optional<bool> UserLanguageIsFrench()
{
    return std::nullopt;
}

} // namespace lexmo
