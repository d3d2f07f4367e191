#include "settings/StallTimeout.h"

#include <cstdlib>

long StallTimeoutSeconds()
{
    const char* text = std::getenv("NORVELIA_STALL_SECONDS");
    if (text == nullptr || *text == 0) return kDefaultStallSeconds;
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    // Anything else is a mistake; the usual bound is safer than none.
    if (*end != 0 || seconds < 1 || seconds > 86400) return kDefaultStallSeconds;
    return seconds;
}
