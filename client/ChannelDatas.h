// The channels of a client, in the order of their creation; owns them.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "client/ChannelData.h"

class NORV_EXPORT CChannelDatas {
public:
    CChannelDatas();
    virtual ~CChannelDatas();
    CChannelDatas(const CChannelDatas&) = delete;
    CChannelDatas& operator=(const CChannelDatas&) = delete;

    // Position of the first channel whose id matches without regard to case;
    // raises 2001 when there is none.
    int ChannelIndex(const std::string& id) const;
    // Appends and takes ownership; returns the channel.
    CChannelData* Add(std::unique_ptr<CChannelData> channel);
    // 0 <= index < GetCount(); no range test.
    CChannelData* GetAt(int index) const { return m_Channels[static_cast<size_t>(index)].get(); }
    int GetCount() const { return static_cast<int>(m_Channels.size()); }

private:
    std::vector<std::unique_ptr<CChannelData>> m_Channels;
};
