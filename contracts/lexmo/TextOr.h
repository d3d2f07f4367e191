// A message of the catalog loaded in the process, with its values filled in.
// `english` (with the same conversions) stands in when no catalog is loaded or
// the catalog lacks the number, so that nothing shown is ever left blank.
#pragma once
#include <string>

#include "lexmo/Lexmo.h"

namespace lexmo {

template <class... A>
std::string TextOr(int number, const char* english, const A&... args)
{
    std::string format = MessageText(number);
    if (format.empty()) format = english;
    if constexpr (sizeof...(A) > 0) return Format(format, {MakeArg(args)...});
    return format;
}

} // namespace lexmo
