#include "client/KesaResponse.h"

#include <cstdlib>

#include "client/FindBytes.h"
#include "client/MultipartFormat.h"
#include "lexmo/Lexmo.h"
#include "quillio/KesaError.h"

using namespace ferrylink;

namespace {

constexpr DWORD kBoundaryLength = 40;

// FindBytes over data[from..to), as an absolute position, or -1.
long long Find(const BYTE* data, DWORD from, DWORD to, std::string_view needle)
{
    if (from >= to) return -1;
    const int at = FindBytes(data + from, to - from, reinterpret_cast<const BYTE*>(needle.data()),
                             static_cast<DWORD>(needle.size()));
    return at < 0 ? -1 : static_cast<long long>(from) + at;
}

[[noreturn]] void Malformed()
{
    CKesaError::Throw(2004, KESA_FormatMessage(2004, "CKesaResponse::InitializeFromBuffer - 1"));
}

} // namespace

CKesaResponse::CKesaResponse() = default;

CKesaResponse::~CKesaResponse()
{
    Release();
}

void CKesaResponse::Release()
{
    m_Args.RemoveAll();
    std::free(m_Buffer);
    m_Buffer = nullptr;
    m_Length = 0;
}

bool CKesaResponse::InitializeFromBuffer(BYTE* data, DWORD length)
{
    if (data == m_Buffer) m_Buffer = nullptr; // parsing the same buffer again must not free it
    Release();
    m_Buffer = data;
    m_Length = data ? length : 0;
    if (m_Length < kBoundaryLength) return false;
    Parse();
    return true;
}

void CKesaResponse::Parse()
{
    const BYTE* d = m_Buffer;
    const DWORD length = m_Length;
    // The boundary is whatever the first 40 bytes are; the 2 bytes after it
    // are skipped unseen.
    const std::string_view boundary(reinterpret_cast<const char*>(d), kBoundaryLength);

    long long start = kBoundaryLength + 2;
    long long next = Find(d, static_cast<DWORD>(start), length, boundary);
    if (next <= start) return;

    while (next > start) {
        const auto partEnd = static_cast<DWORD>(next);
        const long long marker = Find(d, static_cast<DWORD>(start), partEnd, kNameMarker);
        if (marker < 0) Malformed();
        const long long nameStart = marker + static_cast<long long>(kNameMarker.size());
        const long long nameEnd = Find(d, static_cast<DWORD>(nameStart), partEnd, "\"");
        if (nameEnd < 0) Malformed();

        auto arg = std::make_unique<CKesaHttpArg>();
        arg->SetName(std::string(reinterpret_cast<const char*>(d + nameStart), static_cast<size_t>(nameEnd - nameStart)));

        long long headEnd = nameEnd;
        const long long fileMarker = Find(d, static_cast<DWORD>(nameEnd), partEnd, kFileNameMarker);
        if (fileMarker >= 0) {
            const long long fileStart = fileMarker + static_cast<long long>(kFileNameMarker.size());
            const long long fileEnd = Find(d, static_cast<DWORD>(fileStart), partEnd, "\"");
            if (fileEnd < 0) Malformed();
            arg->SetValue(std::string(reinterpret_cast<const char*>(d + fileStart), static_cast<size_t>(fileEnd - fileStart)));
            headEnd = fileEnd;
        }
        const long long blank = Find(d, static_cast<DWORD>(headEnd), partEnd, kBlankLine);
        if (blank < 0) Malformed();
        const long long valueStart = blank + static_cast<long long>(kBlankLine.size());
        const long long valueEnd = next - 2;
        // The head must leave room for the line end that precedes the boundary.
        if (valueEnd < valueStart) Malformed();
        const auto valueLength = static_cast<DWORD>(valueEnd - valueStart);
        if (fileMarker >= 0) {
            arg->SetData(m_Buffer + valueStart, valueLength, false);
        } else {
            arg->SetValue(std::string(reinterpret_cast<const char*>(d + valueStart), valueLength));
        }
        m_Args.Add(std::move(arg));

        start = next + kBoundaryLength;
        const long long found = Find(d, static_cast<DWORD>(start), length, boundary);
        next = found < 0 ? start - 1 : found;
    }
}

CKesaHttpArg* CKesaResponse::FindArg(const std::string& name) const
{
    for (int i = 0; i < GetArgCount(); ++i) {
        CKesaHttpArg* arg = GetArg(i);
        if (arg->Name() == name) return arg;
    }
    return nullptr;
}
