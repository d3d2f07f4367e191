// What a connection check does apart from its window, shared by the Qt dialog
// and the Win32 one: the catalog, the probe, and what LastErrorCode keeps.
#pragma once
#include <cstdint>
#include <string>

class IProbeStatusWindow;

// Messages of the test program.
inline constexpr int kConnexionSuccess = 2055;
inline constexpr int kConnexionTitle = 2056;
inline constexpr int kConnexionExplanation = 2057;
inline constexpr int kConnexionCheck = 2058;
inline constexpr int kConnexionQuit = 2059;
inline constexpr int kConnexionFailure = 2084;

// The outcome of one check: the server answered and its answer was read, or
// the probe's error code (0 when it could not even start).
struct ConnexionOutcome {
    bool ok = false;
    std::uint32_t code = 0;
};

// Creates the product key when it is missing (and writable), then loads the
// catalog MsgDll names, else the locale's. False when no message could be loaded: the person is
// then told "Messages load failure" and the program ends.
bool LoadConnexionMessages();

// Fetches test.bin beside `serverUrl` (the default server when empty) on the
// caller's thread. The address tried comes first in `status`, then the
// probe's running account.
ConnexionOutcome RunConnexionCheck(const std::string& serverUrl, IProbeStatusWindow* status);

// LastErrorCode := "0" or the error code in decimal; returns the message that
// tells the person (kConnexionSuccess or kConnexionFailure).
int RecordConnexionOutcome(const ConnexionOutcome& outcome);

// The window was closed: LastErrorCode := the binary -1, at once.
void RecordConnexionQuit();
