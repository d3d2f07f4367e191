// The arguments of one query, in the order they were added, and the
// multipart body that carries them.
#pragma once
#include <string>

#include "client/BinDataList.h"
#include "client/KesaHttpArg.h"

class NORV_EXPORT CKesaRequest {
public:
    CKesaRequest();
    virtual ~CKesaRequest();
    CKesaRequest(const CKesaRequest&) = delete;
    CKesaRequest& operator=(const CKesaRequest&) = delete;

    void AddArg(std::string name, std::string value);
    // The bytes are neither copied nor owned: they must outlive the sending.
    void AddFileArg(std::string name, std::string fileName, BYTE* data, DWORD length);
    // Allocates (malloc) exactly the body's size, writes the body into it,
    // stores the pointer in *body and returns the size. The caller frees it.
    // The session does not use it: it sends the same bytes through a
    // CKesaBodyReader, without a second copy of the arguments.
    DWORD BuildBody(BYTE** body) const;
    // Size of the body BuildBody writes.
    DWORD BodySize() const;

    int GetArgCount() const { return m_Args.GetCount(); }
    CKesaHttpArg* GetArg(int index) const { return static_cast<CKesaHttpArg*>(m_Args.GetAt(index)); }

private:
    CBinDataList m_Args;
};
