#include "client/ChannelDatas.h"

#include "lexmo/Lexmo.h"
#include "quillio/KesaError.h"

namespace {

// Texts are bytes of a single-byte code page; letters fold as ASCII.
bool SameIdIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

} // namespace

CChannelDatas::CChannelDatas() = default;

CChannelDatas::~CChannelDatas()
{
    for (auto& channel : m_Channels) channel.reset();
}

int CChannelDatas::ChannelIndex(const std::string& id) const
{
    for (size_t i = 0; i < m_Channels.size(); ++i) {
        if (SameIdIgnoringCase(m_Channels[i]->GetChannelId(), id)) return static_cast<int>(i);
    }
    CKesaError::Throw(2001, KESA_FormatMessage(2001, id, "CChannelDatas::ChannelIndex"));
}

CChannelData* CChannelDatas::Add(std::unique_ptr<CChannelData> channel)
{
    m_Channels.push_back(std::move(channel));
    return m_Channels.back().get();
}
