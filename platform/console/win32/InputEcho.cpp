#include "seam/InputEcho.h"

#include <windows.h>

namespace platform {

bool StopInputEcho(bool& wasOn)
{
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(in, &mode)) return false; // a pipe or a file
    wasOn = (mode & ENABLE_ECHO_INPUT) != 0;
    ::SetConsoleMode(in, mode & ~DWORD(ENABLE_ECHO_INPUT));
    return true;
}

void RestoreInputEcho(bool wasOn)
{
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(in, &mode)) return;
    ::SetConsoleMode(in, wasOn ? mode | ENABLE_ECHO_INPUT : mode & ~DWORD(ENABLE_ECHO_INPUT));
}

} // namespace platform
