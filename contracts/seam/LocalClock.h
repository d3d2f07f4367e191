// The local time zone's offset, one implementation per platform. Linked into
// each library that needs it (a static library, not exported).
#pragma once
#include <ctime>

namespace platform {

// Seconds the local wall clock is ahead of UTC at `when`, summer time included.
long LocalOffsetSeconds(std::time_t when);

} // namespace platform
