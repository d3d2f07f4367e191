// Where the connection probe's running account goes (the test program's
// list), apart from the probe itself: a window's code includes this beside
// <windows.h>, which names DWORD otherwise than the probe's header.
#pragma once
#include <string>

// Called on the probe's thread.
class IProbeStatusWindow {
public:
    virtual ~IProbeStatusWindow() = default;
    virtual void AddLine(const std::string& line) = 0;
};
