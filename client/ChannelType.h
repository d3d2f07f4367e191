// Kind of a channel, as the type bits of a catalog's AppInfo block give it.
#pragma once
#include <cstdint>

enum _channelType : std::int32_t {
    ChannelKeepType = 0, // only as an argument: keep the channel's current type
    ChannelCatalog = 1,  // the type of every new channel
    ChannelList = 2,     // the handheld holds shopping lists of this channel
    ChannelGame = 3,     // score and time stamp go with the game query
    ChannelOther = 4,    // carried and stored, no behaviour
};
