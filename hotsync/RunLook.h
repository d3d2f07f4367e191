// How the HotSync windows (Qt and Win32) show a run: each log entry's name,
// icon and colour, and the verdict's, from its activity code alone, so that
// both windows read a run alike.
#pragma once
#include <cstdint>
#include <string>

class CRunLook {
public:
    enum class Icon { Information, Success, Warning, Critical };

    // 0xRRGGBB.
    static constexpr std::uint32_t kGreen = 0x006e28;
    static constexpr std::uint32_t kOrange = 0x965a00;
    static constexpr std::uint32_t kRed = 0xb40000;
    static constexpr std::uint32_t kGrey = 0x5a5a5a;
    static constexpr std::uint32_t kPlain = 0x282828;

    Icon icon = Icon::Information;
    std::uint32_t colour = kPlain;
    // Said strongly where it heads the window: a verdict that wants reading.
    bool strong = false;

    // The look of a log entry, a verdict's and an order's included.
    static CRunLook Of(int activity);
    // The look of the HotSync Manager's own lines.
    static CRunLook OfNote();
    // The activity's name before an entry's text, in the user's language;
    // plain information has none.
    static std::string Label(int activity);
    // "FAILED: text", or the text alone.
    static std::string Row(int activity, const std::string& text);
};
