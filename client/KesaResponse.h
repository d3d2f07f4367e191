// An answer of the service cut back into its arguments. The response owns
// the answer buffer; file arguments point into it and live as long as it.
#pragma once
#include <string>

#include "client/BinDataList.h"
#include "client/KesaHttpArg.h"

class NORV_EXPORT CKesaResponse {
public:
    CKesaResponse();
    virtual ~CKesaResponse();
    CKesaResponse(const CKesaResponse&) = delete;
    CKesaResponse& operator=(const CKesaResponse&) = delete;

    // Takes the buffer over (released with free) and parses it. False only
    // when it is shorter than 40 bytes; raises 2004 on a malformed part.
    bool InitializeFromBuffer(BYTE* data, DWORD length);
    // First argument whose name equals `name` byte for byte, or null.
    CKesaHttpArg* FindArg(const std::string& name) const;

    int GetArgCount() const { return m_Args.GetCount(); }
    CKesaHttpArg* GetArg(int index) const { return static_cast<CKesaHttpArg*>(m_Args.GetAt(index)); }
    const BYTE* GetBuffer() const { return m_Buffer; }
    DWORD GetBufferLength() const { return m_Length; }

private:
    void Parse();
    void Release();

    CBinDataList m_Args;
    BYTE* m_Buffer = nullptr;
    DWORD m_Length = 0;
};
