// Whether a window can be shown, checked before Qt is started: Qt aborts the
// program when it finds no display. One line and exit status 69 instead.
#pragma once
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace platform {

// sysexits' EX_UNAVAILABLE: the service a program needs is not there.
constexpr int kExitNoDisplay = 69;

namespace display_detail {

inline std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

inline bool IsSocket(const std::string& path)
{
#ifdef _WIN32
    (void)path;
    return false;
#else
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
#endif
}

// A local X display (":0", ":1.0", "unix:2") has its socket in /tmp/.X11-unix;
// a remote one ("host:0") cannot be checked without connecting: trusted.
inline bool XServerThere(const std::string& display)
{
    std::string rest = display;
    if (rest.rfind("unix:", 0) == 0) rest = rest.substr(4);
    if (rest.empty() || rest[0] != ':') return true;
    std::string number;
    for (size_t i = 1; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) number += rest[i];
    return number.empty() || IsSocket("/tmp/.X11-unix/X" + number);
}

inline bool WaylandThere(const std::string& name)
{
    if (!name.empty() && name[0] == '/') return IsSocket(name);
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    return !runtime.empty() && IsSocket(runtime + "/" + name);
}

} // namespace display_detail

// Why no window can be shown, or empty when one can. A display must be named
// (DISPLAY, WAYLAND_DISPLAY) and answer there, or Qt be told to draw elsewhere
// (QT_QPA_PLATFORM offscreen, vnc...).
inline std::string DisplayProblem()
{
#ifdef _WIN32
    return ""; // the desktop the program runs on
#endif
    using namespace display_detail;
    const std::string qpa = Env("QT_QPA_PLATFORM");
    // xcb and wayland still need the display named below.
    if (!qpa.empty() && qpa.rfind("xcb", 0) != 0 && qpa.rfind("wayland", 0) != 0) return "";
    const std::string x = Env("DISPLAY");
    const std::string wayland = Env("WAYLAND_DISPLAY");
    if (x.empty() && wayland.empty())
        return "neither DISPLAY nor WAYLAND_DISPLAY is set (start it in a desktop session)";
    if (!wayland.empty() && WaylandThere(wayland)) return "";
    if (!x.empty() && XServerThere(x)) return "";
    if (!x.empty()) return "no X server answers at DISPLAY " + x + " (is the desktop session still running?)";
    return "no Wayland compositor answers at WAYLAND_DISPLAY " + wayland +
           " (is the desktop session still running?)";
}

inline bool DisplayAvailable() { return DisplayProblem().empty(); }

// Prints the reason and gives the exit status, for a program that needs a window.
inline int NoDisplay(const char* program)
{
    std::fprintf(stderr, "%s: a display is needed: %s\n", program, DisplayProblem().c_str());
    return kExitNoDisplay;
}

} // namespace platform
