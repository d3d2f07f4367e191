#include "client/BinData.h"

#include <cstdlib>

CBinData::CBinData() = default;

CBinData::~CBinData()
{
    ReleaseData();
}

void CBinData::ReleaseData()
{
    if (m_OwnsData) std::free(m_Data);
    m_Data = nullptr;
    m_Length = 0;
    m_OwnsData = false;
}

void CBinData::SetData(BYTE* data, DWORD length, bool own)
{
    // Handing back the bytes already held must not free them under the caller.
    if (data != m_Data) ReleaseData();
    m_Data = data;
    m_Length = length;
    m_OwnsData = own;
}
