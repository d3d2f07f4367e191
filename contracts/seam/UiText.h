// A window's text from the message library, in the language MsgDll names,
// with its values filled in. `english` (the same conversions) stands in when
// no catalog is loaded or the catalog lacks the number, so a window is never
// left with empty labels.
#pragma once
#include <QString>

#include "lexmo/Lexmo.h"

namespace platform {

template <class... A>
QString UiText(int number, const char* english, const A&... args)
{
    std::string format = lexmo::MessageText(number);
    if (format.empty()) format = english;
    if constexpr (sizeof...(A) > 0) format = lexmo::Format(format, {lexmo::MakeArg(args)...});
    return QString::fromUtf8(format.data(), qsizetype(format.size()));
}

} // namespace platform
