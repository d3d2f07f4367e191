#include "client/KesaHttpArg.h"

#include <cstdint>
#include <cstring>

#include "client/MultipartFormat.h"
#include "lexmo/Lexmo.h"
#include "quillio/KesaError.h"

using namespace ferrylink;

namespace {

BYTE* Put(BYTE* out, std::string_view text)
{
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

} // namespace

CKesaHttpArg::CKesaHttpArg() = default;

CKesaHttpArg::CKesaHttpArg(std::string name, std::string value) : m_Name(std::move(name)), m_Value(std::move(value)) {}

CKesaHttpArg::~CKesaHttpArg() = default;

DWORD CKesaHttpArg::Size() const
{
    return static_cast<DWORD>(WideSize());
}

std::uint64_t CKesaHttpArg::WideSize() const
{
    const std::uint64_t texts = std::uint64_t(m_Name.size()) + m_Value.size();
    return IsFile() ? texts + m_Length + 140 : texts + 87;
}

DWORD CKesaHttpArg::CopyToBuffer(BYTE* buffer, DWORD offset, DWORD capacity) const
{
    // Wide arithmetic: neither a large argument nor an offset near the top of
    // the range may wrap past the test.
    const std::uint64_t size = WideSize();
    if (size + offset > capacity) {
        CKesaError::Throw(2002, KESA_FormatMessage(2002, "CKesaHttpArg::CopyToBuffer"));
    }
    BYTE* out = buffer + offset;
    out = Put(out, kBoundary);
    out = Put(out, kCrLf);
    out = Put(out, kDispositionHead);
    out = Put(out, m_Name);
    if (IsFile()) {
        out = Put(out, kFileNameHead);
        out = Put(out, m_Value);
        out = Put(out, kFileHeadEnd);
        std::memcpy(out, m_Data, m_Length);
        out += m_Length;
    } else {
        out = Put(out, kTextHeadEnd);
        out = Put(out, m_Value);
    }
    Put(out, kCrLf);
    return offset + static_cast<DWORD>(size);
}
