// Windows keeps the user's display language in the system, not the environment.
#include "../UserLanguage.h"

#include <windows.h>

namespace lexmo {

std::optional<bool> UserLanguageIsFrench()
{
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_FRENCH;
}

} // namespace lexmo
