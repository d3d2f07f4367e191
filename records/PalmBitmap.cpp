#include "records/PalmBitmap.h"

namespace {

WORD WordAt(const std::vector<BYTE>& b, std::size_t at)
{
    return WORD((b[at] << 8) | b[at + 1]);
}

} // namespace

CPalmBitmap::CPalmBitmap() = default;

bool CPalmBitmap::FillFromBytes(const std::vector<BYTE>& bytes)
{
    *this = CPalmBitmap();
    if (bytes.size() < kHeaderSize) return false;
    const int width = WordAt(bytes, 0);
    const int height = WordAt(bytes, 2);
    const int rowBytes = WordAt(bytes, 4);
    const WORD flags = WordAt(bytes, 6);
    // Byte 9 is the version of later bitmap layouts, zero in version 0; the
    // flags' top bit marks a compressed one.
    constexpr WORD kCompressed = 0x8000;
    if (width == 0 || height == 0 || bytes[9] != 0 || (flags & kCompressed) != 0) return false;
    if (rowBytes < (width + 15) / 16 * 2 || rowBytes % 2 != 0) return false;
    if (bytes.size() != kHeaderSize + std::size_t(rowBytes) * std::size_t(height)) return false;
    m_Width = width;
    m_Height = height;
    m_RowBytes = rowBytes;
    m_Rows.assign(bytes.begin() + kHeaderSize, bytes.end());
    return true;
}

bool CPalmBitmap::IsBlack(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_Width || y >= m_Height) return false;
    const BYTE b = m_Rows[std::size_t(y) * std::size_t(m_RowBytes) + std::size_t(x / 8)];
    return ((b >> (7 - x % 8)) & 1) != 0;
}

const BYTE* CPalmBitmap::GetRow(int y) const
{
    if (y < 0 || y >= m_Height) return nullptr;
    return m_Rows.data() + std::size_t(y) * std::size_t(m_RowBytes);
}
