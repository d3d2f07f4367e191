// The client's one channel to the service: one server URL, over which every
// query is posted as a multipart body and answered with one.
#pragma once
#include <memory>
#include <string>

#include "client/KesaRequest.h"
#include "client/KesaResponse.h"
#include "seam/Export.h"
#include "seam/Types.h"
#include "settings/StallTimeout.h"

class NORV_EXPORT CKesaSession {
public:
    CKesaSession();
    virtual ~CKesaSession();
    CKesaSession(const CKesaSession&) = delete;
    CKesaSession& operator=(const CKesaSession&) = delete;

    // Splits the URL into server, port and object path and prepares the
    // connection; false when the URL cannot be parsed. Port 443, and only
    // that port, means TLS, whatever the scheme says.
    bool Open(std::string url);
    // Safe to call repeatedly and on a session never opened.
    virtual void Close();
    bool IsOpen() const;

    // Posts the request (which stays the caller's) and returns the parsed
    // answer. Raises CKesaError on every failure; never returns null.
    std::unique_ptr<CKesaResponse> ProcessRequest(CKesaRequest* request);

    // A string value of HKEY_LOCAL_MACHINE\Software\Norvelia\<product>, or empty.
    std::string RegGetNorveliaKey(std::string product, std::string valueName);

    std::string GetUrl() const { return m_Url; }
    std::string GetServer() const { return m_Server; }
    WORD GetPort() const { return m_Port; }
    std::string GetObjectPath() const { return m_ObjectPath; }
    // The URL requests actually go to (scheme chosen by the port).
    std::string GetRequestUrl() const;

    // Seconds without a byte, received or sent, after which a transfer fails
    // (StallTimeoutSeconds() by default). Each query also has an overall bound
    // (QueryBoundSeconds()), and every transfer ends at once when
    // platform::AbortTransfers() is called.
    void SetStallTimeout(long seconds) { m_StallSeconds = seconds; }

    // Answers larger than this are refused.
    static constexpr size_t kMaxAnswer = size_t(256) << 20;

private:
    struct Connection;

    void WriteDump(const BYTE* data, size_t length);

    int m_DumpCounter = 0;
    std::string m_ObjectPath;
    std::unique_ptr<Connection> m_Connection;
    std::string m_Url;
    std::string m_Server;
    std::string m_Object;
    WORD m_Port = 0;
    long m_StallSeconds = StallTimeoutSeconds();
};
