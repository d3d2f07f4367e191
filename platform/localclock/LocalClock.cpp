#include "seam/LocalClock.h"

namespace platform {

long LocalOffsetSeconds(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    return local.tm_gmtoff;
}

} // namespace platform
