// A handheld bitmap read back from its bytes: the Palm OS version-0 bitmap
// that CPbmConverter writes (a 16-byte header, then one bit per pixel).
#pragma once
#include <cstddef>
#include <vector>

#include "seam/Export.h"
#include "seam/Types.h"

class NORV_EXPORT CPalmBitmap {
public:
    static constexpr std::size_t kHeaderSize = 16;

    CPalmBitmap();

    // False, and the bitmap left empty, unless the bytes are exactly one
    // uncompressed version-0 bitmap: a header whose row bytes hold the width,
    // then every row. Other image formats are told apart by that.
    bool FillFromBytes(const std::vector<BYTE>& bytes);

    bool IsEmpty() const { return m_Width == 0; }
    int GetWidth() const { return m_Width; }
    int GetHeight() const { return m_Height; }
    int GetRowBytes() const { return m_RowBytes; }
    // A set bit is a black pixel; outside the image, white.
    bool IsBlack(int x, int y) const;
    // Row y's bytes, first pixel in the top bit; null outside the image.
    const BYTE* GetRow(int y) const;

private:
    int m_Width = 0;
    int m_Height = 0;
    int m_RowBytes = 0;
    std::vector<BYTE> m_Rows;
};
