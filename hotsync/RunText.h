// The texts hotsync itself adds to the HotSync log and to a run's output, in
// the language of the message catalog the conduit speaks.
#pragma once
#include <string>

#include "lexmo/Lexmo.h"

namespace runtext {

// Loads the catalog the settings name (MsgDll), else the product's own
// (Lexmo.dll), as the conduit and the HotSync window do; false when none
// was found.
bool LoadLanguage();

// Message `number` with its values filled in; `english` (the same
// conversions) stands in when no catalog holds it.
template <class... A>
std::string Text(int number, const char* english, const A&... args)
{
    std::string format = lexmo::MessageText(number);
    if (format.empty()) format = english;
    if constexpr (sizeof...(A) > 0) format = lexmo::Format(format, {lexmo::MakeArg(args)...});
    return format;
}

} // namespace runtext
