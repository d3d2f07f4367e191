// Whether a window can be shown, checked before Qt is started: Qt aborts the
// program when it finds no display. One line and exit status 69 instead.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

// sysexits' EX_UNAVAILABLE: the service a program needs is not there.
constexpr int kExitNoDisplay = 69;

// A display is named (DISPLAY, WAYLAND_DISPLAY), or Qt is told to draw
// elsewhere (QT_QPA_PLATFORM offscreen, vnc...).
inline bool DisplayAvailable()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* v = std::getenv(name); v && *v) return true;
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (!qpa || !*qpa) return false;
    const std::string p(qpa);
    // xcb and wayland still need the display named above.
    return p.rfind("xcb", 0) != 0 && p.rfind("wayland", 0) != 0;
}

// Prints the reason and gives the exit status, for a program that needs a window.
inline int NoDisplay(const char* program)
{
    std::fprintf(stderr,
                 "%s: a display is needed: neither DISPLAY nor WAYLAND_DISPLAY is set (start it in a desktop "
                 "session)\n",
                 program);
    return kExitNoDisplay;
}

} // namespace platform
