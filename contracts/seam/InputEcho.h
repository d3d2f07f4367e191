// The echo of typed keys on the terminal that is standard input, one
// implementation per platform (a static library, not exported).
#pragma once

namespace platform {

// Stops the echo; false, and nothing done, where standard input is no
// terminal. `wasOn` tells RestoreInputEcho what to put back.
bool StopInputEcho(bool& wasOn);
void RestoreInputEcho(bool wasOn);

} // namespace platform
