#include "client/KesaRequest.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "client/MallocBuffer.h"
#include "client/MultipartFormat.h"
#include "lexmo/Lexmo.h"
#include "quillio/KesaError.h"

CKesaRequest::CKesaRequest() = default;
CKesaRequest::~CKesaRequest() = default;

void CKesaRequest::AddArg(std::string name, std::string value)
{
    m_Args.Add(std::make_unique<CKesaHttpArg>(std::move(name), std::move(value)));
}

void CKesaRequest::AddFileArg(std::string name, std::string fileName, BYTE* data, DWORD length)
{
    auto arg = std::make_unique<CKesaHttpArg>(std::move(name), std::move(fileName));
    arg->SetData(data, length, false);
    m_Args.Add(std::move(arg));
}

DWORD CKesaRequest::BodySize() const
{
    std::uint64_t size = ferrylink::kClosing.size();
    for (int i = 0; i < GetArgCount(); ++i) size += GetArg(i)->WideSize();
    // A body beyond 4 GiB cannot be described by its length: refuse it as one
    // that does not fit rather than write past a wrapped size.
    if (size > UINT32_MAX) CKesaError::Throw(2002, KESA_FormatMessage(2002, "CKesaHttpArg::CopyToBuffer"));
    return static_cast<DWORD>(size);
}

DWORD CKesaRequest::BuildBody(BYTE** body) const
{
    const DWORD size = BodySize();
    ferrylink::MallocBuffer buffer(static_cast<BYTE*>(std::malloc(size)));
    if (!buffer) throw std::bad_alloc();
    DWORD offset = 0;
    for (int i = 0; i < GetArgCount(); ++i) offset = GetArg(i)->CopyToBuffer(buffer.get(), offset, size);
    std::memcpy(buffer.get() + offset, ferrylink::kClosing.data(), ferrylink::kClosing.size());
    *body = buffer.release();
    return size;
}
