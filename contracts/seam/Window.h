// Window handles and the copy-data message, for the few places where one part
// of a process talks to another's window. A handle names a handler registered
// here; sending calls it synchronously on the sender's thread.
#pragma once
#include <cstdint>
#include <functional>

#include "seam/Export.h"
#include "seam/Types.h"

struct HWND__;
using HWND = HWND__*;
using WPARAM = std::uintptr_t;
using LRESULT = std::intptr_t;

constexpr unsigned WM_COPYDATA = 0x004A;

struct COPYDATASTRUCT {
    std::uintptr_t dwData = 0;
    DWORD cbData = 0;
    const void* lpData = nullptr;
};

namespace platform {

using CopyDataHandler = std::function<LRESULT(WPARAM, const COPYDATASTRUCT&)>;

// A new window handle served by `handler`.
NORV_EXPORT HWND RegisterWindow(CopyDataHandler handler);
// After this returns no call of the handler is in progress or will start.
NORV_EXPORT void UnregisterWindow(HWND window);
// Delivers WM_COPYDATA to the window's handler; 0 when the window is unknown.
NORV_EXPORT LRESULT SendCopyData(HWND window, WPARAM wParam, const COPYDATASTRUCT& data);

} // namespace platform
