// How many channels the handheld does not hold yet one run takes from the
// service: each is a catalog installed on the handheld, and a service that
// declares thousands would fill it and keep the run going for minutes. A
// hundred, unless NORVELIA_MAX_NEW_CHANNELS names another number (1 to
// 86400); those left out come on later runs.
#pragma once
#include "settings/StallTimeout.h"

constexpr long kDefaultMaxNewChannels = 100;
constexpr const char* kMaxNewChannelsVariable = "NORVELIA_MAX_NEW_CHANNELS";

inline long MaxNewChannels()
{
    return ParseStallSeconds(std::getenv(kMaxNewChannelsVariable)).value_or(kDefaultMaxNewChannels);
}
