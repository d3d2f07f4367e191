#include "client/KesaBodyReader.h"

#include <algorithm>
#include <cstring>

#include "client/KesaRequest.h"
#include "client/MultipartFormat.h"

using namespace ferrylink;

namespace {

std::string_view View(const std::string& s)
{
    return std::string_view(s.data(), s.size());
}

} // namespace

CKesaBodyReader::CKesaBodyReader(const CKesaRequest& request) : m_Request(request)
{
    m_Size = kClosing.size();
    for (int i = 0; i < request.GetArgCount(); ++i) m_Size += request.GetArg(i)->WideSize();
}

bool CKesaBodyReader::Piece(int arg, int piece, std::string_view& out) const noexcept
{
    if (arg >= m_Request.GetArgCount()) {
        out = kClosing;
        return arg == m_Request.GetArgCount() && piece == 0;
    }
    const CKesaHttpArg* a = m_Request.GetArg(arg);
    // Same order as CopyToBuffer writes them.
    switch (piece) {
    case 0: out = kBoundary; return true;
    case 1: out = kCrLf; return true;
    case 2: out = kDispositionHead; return true;
    case 3: out = View(a->Name()); return true;
    default: break;
    }
    if (a->IsFile()) {
        switch (piece) {
        case 4: out = kFileNameHead; return true;
        case 5: out = View(a->Value()); return true;
        case 6: out = kFileHeadEnd; return true;
        case 7: out = std::string_view(reinterpret_cast<const char*>(a->GetData()), a->GetLength()); return true;
        case 8: out = kCrLf; return true;
        default: return false;
        }
    }
    switch (piece) {
    case 4: out = kTextHeadEnd; return true;
    case 5: out = View(a->Value()); return true;
    case 6: out = kCrLf; return true;
    default: return false;
    }
}

std::size_t CKesaBodyReader::Read(BYTE* out, std::size_t capacity) noexcept
{
    std::size_t done = 0;
    std::string_view piece;
    while (done < capacity && m_Arg <= m_Request.GetArgCount()) {
        if (!Piece(m_Arg, m_Piece, piece)) {
            ++m_Arg;
            m_Piece = 0;
            m_Offset = 0;
            continue;
        }
        const std::size_t n = std::min(piece.size() - m_Offset, capacity - done);
        if (n) std::memcpy(out + done, piece.data() + m_Offset, n);
        done += n;
        m_Offset += n;
        if (m_Offset == piece.size()) {
            ++m_Piece;
            m_Offset = 0;
        }
    }
    m_Position += done;
    return done;
}

bool CKesaBodyReader::Seek(std::uint64_t offset) noexcept
{
    if (offset > m_Size) return false;
    m_Arg = 0;
    m_Piece = 0;
    m_Offset = 0;
    m_Position = offset;
    // Whole arguments first, then the pieces of the one the offset falls in.
    std::uint64_t left = offset;
    while (m_Arg < m_Request.GetArgCount() && left >= m_Request.GetArg(m_Arg)->WideSize()) {
        left -= m_Request.GetArg(m_Arg)->WideSize();
        ++m_Arg;
    }
    std::string_view piece;
    while (left > 0 && Piece(m_Arg, m_Piece, piece)) {
        if (left < piece.size()) {
            m_Offset = static_cast<std::size_t>(left);
            break;
        }
        left -= piece.size();
        ++m_Piece;
    }
    return true;
}
