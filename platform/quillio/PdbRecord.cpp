#include "quillio/PdbRecord.h"

#include <algorithm>
#include <cstring>
#include <new>

CPdbRecord::CPdbRecord(const BYTE* data, long size)
{
    SetData(data, size);
}

CPdbRecord::~CPdbRecord() = default;

void* CPdbRecord::operator new(std::size_t size)
{
    auto* head = static_cast<BYTE*>(::operator new(size + kHead));
    head[0] = kOneByOne;
    return head + kHead;
}

void CPdbRecord::operator delete(void* p) noexcept
{
    if (p == nullptr) return;
    BYTE* head = static_cast<BYTE*>(p) - kHead;
    // A record of a block goes with its block.
    if (head[0] == kOneByOne) ::operator delete(head);
}

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
inline BYTE ByteAt(const CRecordBytes& d, long pos)
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
        const long pos = *offset;
        if (pos >= 0 && std::size_t(pos) < m_Data.size()) {
            // One search and one copy: records are read by the thousand.
            const std::size_t room = std::min(std::size_t(n), m_Data.size() - std::size_t(pos));
            const BYTE* start = m_Data.data() + pos;
            const void* zero = std::memchr(start, 0, room);
            const std::size_t length = zero ? std::size_t(static_cast<const BYTE*>(zero) - start) : room;
            out.assign(reinterpret_cast<const char*>(start), length);
        }
        *offset += n;
    }
    return out;
}

std::string CPdbRecord::ReadStringZeroAt(long* offset) const
{
    long pos = *offset;
    if (pos < 0) pos = long(m_Data.size());
    if (std::size_t(pos) >= m_Data.size()) {
        *offset = pos + 1;
        return {};
    }
    const BYTE* start = m_Data.data() + pos;
    const std::size_t room = m_Data.size() - std::size_t(pos);
    const void* zero = std::memchr(start, 0, room);
    const std::size_t length = zero ? std::size_t(static_cast<const BYTE*>(zero) - start) : room;
    *offset = pos + long(length) + 1;
    return std::string(reinterpret_cast<const char*>(start), length);
}
