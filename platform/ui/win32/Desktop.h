// What a windowed program of the Windows build needs before its window: the
// console it was started from (for --help and its diagnostics), and whether
// a window can be made at all (one line and exit status 69 when not, as the
// Linux programs answer without a display).
#pragma once
#include <windows.h>

#include <cstdio>

#include "seam/Display.h"

namespace platform {

// A windowed program writes to the console it was started from, if any.
inline void UseParentConsole()
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}

inline bool DesktopAvailable()
{
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe) DestroyWindow(probe);
    return probe != nullptr;
}

inline int NoDesktop(const char* program)
{
    UseParentConsole();
    std::fprintf(stderr, "%s: a display is needed: no window can be made on this desktop\n", program);
    return kExitNoDisplay;
}

} // namespace platform
