// Where to cut a text of bytes so as not to end inside a UTF-8 sequence.
#pragma once
#include <cstddef>
#include <string_view>

namespace lexmo {

// Length of the longest prefix of `s`, at most `max` bytes, that does not end
// inside a UTF-8 sequence (texts are bytes, but the catalogs are UTF-8; a byte
// that only looks like a continuation is cut like any other).
inline size_t CutPoint(std::string_view s, size_t max)
{
    if (max >= s.size()) return s.size();
    auto isCont = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    if (!isCont(static_cast<unsigned char>(s[max]))) return max;
    for (size_t back = 1; back <= 3 && back <= max; ++back) {
        unsigned char lead = static_cast<unsigned char>(s[max - back]);
        if (isCont(lead)) continue;
        size_t len = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
        return len > back ? max - back : max;
    }
    return max;
}

} // namespace lexmo
