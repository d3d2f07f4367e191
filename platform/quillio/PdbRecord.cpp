#include "quillio/PdbRecord.h"

#include <cstring>

CPdbRecord::CPdbRecord(const BYTE* data, long size)
{
    SetData(data, size);
}

CPdbRecord::~CPdbRecord() = default;

void CPdbRecord::SetData(const BYTE* data, long size)
{
    if (data == nullptr || size <= 0) {
        m_Data.clear();
        return;
    }
    m_Data.assign(data, data + size);
}

namespace {
// The byte at `pos`, or zero past the end (and before the start).
inline BYTE ByteAt(const std::vector<BYTE>& d, long pos)
{
    return (pos >= 0 && std::size_t(pos) < d.size()) ? d[std::size_t(pos)] : 0;
}
} // namespace

BYTE CPdbRecord::ReadUCharAt(long* offset) const
{
    BYTE v = ByteAt(m_Data, *offset);
    *offset += 1;
    return v;
}

WORD CPdbRecord::ReadWordAt(long* offset) const
{
    WORD v = WORD((ByteAt(m_Data, *offset) << 8) | ByteAt(m_Data, *offset + 1));
    *offset += 2;
    return v;
}

DWORD CPdbRecord::ReadDWordAt(long* offset) const
{
    DWORD v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | ByteAt(m_Data, *offset + i);
    *offset += 4;
    return v;
}

std::string CPdbRecord::ReadFixedStringAt(long* offset, long n) const
{
    std::string out;
    if (n > 0) {
        for (long i = 0; i < n; ++i) {
            long pos = *offset + i;
            if (pos < 0 || std::size_t(pos) >= m_Data.size()) break;
            BYTE c = m_Data[std::size_t(pos)];
            if (c == 0) break;
            out.push_back(char(c));
        }
        *offset += n;
    }
    return out;
}

std::string CPdbRecord::ReadStringZeroAt(long* offset) const
{
    std::string out;
    long pos = *offset;
    if (pos < 0) pos = long(m_Data.size());
    while (std::size_t(pos) < m_Data.size() && m_Data[std::size_t(pos)] != 0) {
        out.push_back(char(m_Data[std::size_t(pos)]));
        ++pos;
    }
    *offset = pos + 1;
    return out;
}
