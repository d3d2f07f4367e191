// The connection probe: fetches "test.bin" beside the current server's URL
// with the user's connection settings, answers authentication challenges by
// mode, and keeps the last error code and text of a failure. While it works
// it writes a running account of every step to an optional status window.
#pragma once
#include <memory>
#include <string>

#include "seam/Types.h"
#include "settings/ProbeStatusWindow.h"

class CProbeSession;

class CConnectionProbe {
public:
    // Reads Mode, ProxyPassword and ProxyUser of the "Tidepost" product.
    CConnectionProbe();
    virtual ~CConnectionProbe();
    CConnectionProbe(const CConnectionProbe&) = delete;
    CConnectionProbe& operator=(const CConnectionProbe&) = delete;

    bool OpenSession(const char* agent, IProbeStatusWindow* statusWindow);
    void CloseSession();
    // True when the server answered and the answer was read into `body`.
    // On false, m_LastErrorCode holds the HTTP status or internet error number
    // and, for most failures, m_LastMessage its text. A challenge (401, 407)
    // that is not answered, or still refused after six sends, is a failure.
    // A window given here serves the session from then on.
    bool Run(const char* url, std::string& body, const char* agent, IProbeStatusWindow* statusWindow);
    // Records `code` and logs its named line, or `text` followed by the code.
    void ReportError(DWORD code, std::string text);
    // One line to the session's status window, if any; cut to 511 characters.
    void Log(CProbeSession* session, const std::string& line);

    DWORD m_LastErrorCode = 0;
    std::unique_ptr<CProbeSession> m_Session;
    int m_Mode = 0;
    std::string m_ProxyUser;
    std::string m_ProxyPassword;
    std::string m_LastMessage;
};
