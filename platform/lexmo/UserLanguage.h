// The user's display language where the system keeps one outside the
// environment (Windows); nothing on POSIX systems, where the locale
// variables are all there is.
#pragma once
#include <optional>

namespace lexmo {

std::optional<bool> UserLanguageIsFrench();

} // namespace lexmo
