// Texts and limits the connection probe keeps the same over either HTTP library.
#pragma once
#include <cstddef>
#include <string>

#include "lexmo/Lexmo.h"
#include "lexmo/TextOr.h"

namespace probe_text {

constexpr std::size_t kLineMax = 511;
constexpr std::size_t kErrorSuffixMax = 99;
constexpr std::size_t kErrorTextMax = 255;
constexpr std::size_t kPiece = 4095;
constexpr int kMaxSends = 6;
constexpr std::size_t kMaxAnswer = std::size_t(256) << 20;
// The failure of a check cut off because the program is stopping (SIGTERM),
// as the server client words it.
inline std::string Stopped()
{
    return lexmo::TextOr(4644, "Operation abandoned: the program is stopping");
}

// Cut to at most `max` bytes, never inside a UTF-8 character.
inline std::string Cut(std::string text, std::size_t max)
{
    if (text.size() <= max) return text;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

// A catalog text that serves as a format, filled type-safely.
template <class... A>
std::string Line(int number, const A&... args)
{
    return KESA_FormatText(KESA_FormatMessage(number), args...);
}

} // namespace probe_text
