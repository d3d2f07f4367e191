// How many columns a text takes on a terminal, so that listings line up with
// names in any script: UTF-8 decoded, combining marks take none, wide East
// Asian characters two, and a byte that is not UTF-8 one (as a terminal shows it).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

std::size_t DisplayWidth(std::string_view text);

// `text` followed by blanks up to `width` columns.
std::string PadToWidth(std::string text, std::size_t width);

} // namespace platform
