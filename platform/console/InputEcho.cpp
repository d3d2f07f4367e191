#include "seam/InputEcho.h"

#include <termios.h>
#include <unistd.h>

namespace platform {

bool StopInputEcho(bool& wasOn)
{
    termios mode{};
    if (::tcgetattr(STDIN_FILENO, &mode) != 0) return false;
    wasOn = (mode.c_lflag & ECHO) != 0;
    mode.c_lflag &= ~tcflag_t(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &mode);
    return true;
}

void RestoreInputEcho(bool wasOn)
{
    termios mode{};
    if (::tcgetattr(STDIN_FILENO, &mode) != 0) return;
    if (wasOn) mode.c_lflag |= ECHO;
    else mode.c_lflag &= ~tcflag_t(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &mode);
}

} // namespace platform
