// The kind of a channel, as the AppInfo block's type bits give it.
// Shared by the record library, the server client and the conduit: include
// this header rather than declaring the enumeration again.
#pragma once

enum _channelType : int {
    CHANNEL_KEEP = 0,    // as an argument only: keep the channel's current type
    CHANNEL_CATALOG = 1, // the type of every new channel
    CHANNEL_LIST = 2,    // its lists carry an order
    CHANNEL_GAME = 3,    // its score and time stamp are sent with the game query
    CHANNEL_OTHER = 4,   // carried and stored
};
