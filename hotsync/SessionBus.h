// Whether the desktop session's bus can be reached, found without starting
// one: a bus that nobody started is never launched for a notification.
#pragma once
#include <sys/stat.h>

#include <cstdlib>
#include <string>

// The address in DBUS_SESSION_BUS_ADDRESS, else the user manager's socket
// $XDG_RUNTIME_DIR/bus, whose address is then put in the environment for Qt.
inline bool SessionBusThere()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return false;
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st {};
    if (::stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
    return ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 0) == 0;
}
