// The probe's internet session: one libcurl handle whose resolver, socket,
// pre-request and header callbacks become status notifications, written as
// lines to an optional status window.
#pragma once
#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "seam/Types.h"
#include "settings/ProbeStatusLine.h"

class CConnectionProbe;
class IProbeStatusWindow;

class CProbeSession {
public:
    // `agent` null: the program's name. `probe` receives the lines (not owned).
    CProbeSession(const char* agent, CConnectionProbe* probe);
    virtual ~CProbeSession();
    CProbeSession(const CProbeSession&) = delete;
    CProbeSession& operator=(const CProbeSession&) = delete;

    bool IsValid() const { return m_Easy != nullptr; }
    CURL* Handle() const { return m_Easy.get(); }
    const std::string& Agent() const { return m_Agent; }

    // Installs the callbacks that feed OnStatusCallback; false when libcurl refuses one.
    bool EnableStatusCallback();
    // The host whose name a resolution looks up (the proxy's when one is used).
    void SetLookupHost(std::string host) { m_LookupHost = std::move(host); }

    IProbeStatusWindow* m_StatusWindow = nullptr;

    virtual void OnStatusCallback(std::uintptr_t context, DWORD status, const void* information, DWORD length);

private:
    struct EasyDeleter {
        void operator()(CURL* h) const { curl_easy_cleanup(h); }
    };

    static int OnResolverStart(void* resolverState, void* reuse, void* self) noexcept;
    static curl_socket_t OnOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) noexcept;
    static int OnCloseSocket(void* self, curl_socket_t socket) noexcept;
    static int OnPrerequest(void* self, char* remoteIp, char* localIp, int remotePort, int localPort) noexcept;
    // OnStatusCallback for context 1, with `information` as text when given.
    void Notify(DWORD status, const std::string& information = {}) noexcept;

    CConnectionProbe* m_Probe;
    std::string m_Agent;
    std::string m_LookupHost;
    bool m_Resolving = false;
    bool m_Connecting = false;
    std::unique_ptr<CURL, EasyDeleter> m_Easy;
};
