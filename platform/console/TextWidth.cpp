// Columns of a text on a terminal, independent of the locale in force.
#include "seam/TextWidth.h"

namespace platform {

namespace {

struct Range {
    char32_t first, last;
};

// Combining marks and zero-width characters.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
    {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
    {0xFEFF, 0xFEFF}};

// East Asian wide and full-width characters.
constexpr Range kWide[] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};

template <std::size_t N>
bool In(const Range (&ranges)[N], char32_t cp)
{
    for (const Range& r : ranges)
        if (cp >= r.first && cp <= r.last) return true;
    return false;
}

} // namespace

std::size_t DisplayWidth(std::string_view text)
{
    std::size_t width = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[pos]);
        const std::size_t n = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                                                : (lead & 0xF8) == 0xF0 ? 4 : 0;
        char32_t cp = n == 1 ? lead : n == 2 ? lead & 0x1F : n == 3 ? lead & 0x0F : lead & 0x07;
        bool ok = n != 0 && pos + n <= text.size();
        for (std::size_t k = 1; ok && k < n; ++k) {
            const unsigned char c = static_cast<unsigned char>(text[pos + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            ++width;
            ++pos;
            continue;
        }
        pos += n;
        if (In(kZeroWidth, cp)) continue;
        width += In(kWide, cp) ? 2 : 1;
    }
    return width;
}

std::string PadToWidth(std::string text, std::size_t width)
{
    const std::size_t shown = DisplayWidth(text);
    if (shown < width) text.append(width - shown, ' ');
    return text;
}

} // namespace platform
