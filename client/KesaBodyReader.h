// A request's body read out piece by piece, as an upload callback asks for
// it: the heads, the argument bytes in place and the closing line, never
// assembled into one buffer. The bytes are those BuildBody writes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "seam/Export.h"
#include "seam/Types.h"

class CKesaRequest;

class NORV_EXPORT CKesaBodyReader {
public:
    // The request (and the bytes of its file arguments) must outlive the reader
    // and must not change while it is read.
    explicit CKesaBodyReader(const CKesaRequest& request);

    std::uint64_t Size() const { return m_Size; }
    std::uint64_t Position() const { return m_Position; }
    // Copies the next bytes, at most `capacity`, to `out`; 0 once at the end.
    std::size_t Read(BYTE* out, std::size_t capacity) noexcept;
    // Moves to `offset` from the start (a resend rewinds); false past the end.
    bool Seek(std::uint64_t offset) noexcept;

private:
    // Piece `piece` of argument `arg` (the closing line after the last
    // argument); false when the argument has no more pieces.
    bool Piece(int arg, int piece, std::string_view& out) const noexcept;

    const CKesaRequest& m_Request;
    std::uint64_t m_Size = 0;
    std::uint64_t m_Position = 0;
    int m_Arg = 0;
    int m_Piece = 0;
    std::size_t m_Offset = 0;
};
