#include "seam/LocalClock.h"

namespace platform {

long LocalOffsetSeconds(std::time_t when)
{
    // No tm_gmtoff here: the local broken-down time read back as UTC.
    std::tm local{};
    if (::localtime_s(&local, &when) != 0) return 0;
    return long(::_mkgmtime(&local) - when);
}

} // namespace platform
