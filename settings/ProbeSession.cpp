#include "settings/ProbeSession.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lexmo/Lexmo.h"
#include "settings/ConnectionProbe.h"

namespace {

std::string AddressText(const curl_sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address->family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address->addr);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    } else if (address->family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address->addr);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    }
    return text;
}

} // namespace

CProbeSession::CProbeSession(const char* agent, CConnectionProbe* probe)
    : m_Probe(probe), m_Agent(agent ? agent : program_invocation_short_name), m_Easy(curl_easy_init())
{
}

CProbeSession::~CProbeSession()
{
    // Closing the cached connection still notifies, but no window may be gone by then.
    m_StatusWindow = nullptr;
    m_Easy.reset();
}

bool CProbeSession::EnableStatusCallback()
{
    CURL* h = m_Easy.get();
    if (!h) return false;
    bool ok = true;
    auto set = [&](CURLoption option, auto value) { ok = curl_easy_setopt(h, option, value) == CURLE_OK && ok; };
    set(CURLOPT_RESOLVER_START_FUNCTION, &CProbeSession::OnResolverStart);
    set(CURLOPT_RESOLVER_START_DATA, this);
    set(CURLOPT_OPENSOCKETFUNCTION, &CProbeSession::OnOpenSocket);
    set(CURLOPT_OPENSOCKETDATA, this);
    set(CURLOPT_CLOSESOCKETFUNCTION, &CProbeSession::OnCloseSocket);
    set(CURLOPT_CLOSESOCKETDATA, this);
    set(CURLOPT_PREREQFUNCTION, &CProbeSession::OnPrerequest);
    set(CURLOPT_PREREQDATA, this);
    return ok;
}

// The callbacks below let nothing be thrown through libcurl: a line that cannot be written is lost.
int CProbeSession::OnResolverStart(void*, void*, void* self) noexcept
{
    auto* s = static_cast<CProbeSession*>(self);
    s->m_Resolving = true;
    s->Notify(INTERNET_STATUS_RESOLVING_NAME, s->m_LookupHost);
    return 0;
}

curl_socket_t CProbeSession::OnOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) noexcept
{
    auto* s = static_cast<CProbeSession*>(self);
    if (purpose == CURLSOCKTYPE_IPCXN) {
        if (s->m_Resolving) {
            s->m_Resolving = false;
            try {
                s->Notify(INTERNET_STATUS_NAME_RESOLVED, AddressText(address));
            } catch (...) {
            }
        }
        s->m_Connecting = true;
        s->Notify(INTERNET_STATUS_CONNECTING_TO_SERVER);
    }
    const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    return fd < 0 ? CURL_SOCKET_BAD : fd;
}

int CProbeSession::OnCloseSocket(void* self, curl_socket_t socket) noexcept
{
    auto* s = static_cast<CProbeSession*>(self);
    s->Notify(INTERNET_STATUS_CLOSING_CONNECTION);
    const int rc = ::close(socket);
    s->Notify(INTERNET_STATUS_CONNECTION_CLOSED);
    return rc;
}

int CProbeSession::OnPrerequest(void* self, char*, char*, int, int) noexcept
{
    auto* s = static_cast<CProbeSession*>(self);
    if (s->m_Connecting) {
        s->m_Connecting = false;
        s->Notify(INTERNET_STATUS_CONNECTED_TO_SERVER);
    }
    s->Notify(INTERNET_STATUS_SENDING_REQUEST);
    return CURL_PREREQFUNC_OK;
}

void CProbeSession::Notify(DWORD status, const std::string& information) noexcept
{
    try {
        OnStatusCallback(1, status, information.empty() ? nullptr : information.c_str(),
                         information.empty() ? 0 : static_cast<DWORD>(information.size() + 1));
    } catch (...) {
    }
}

void CProbeSession::OnStatusCallback(std::uintptr_t, DWORD status, const void* information, DWORD length)
{
    const std::optional<std::string> line = ProbeStatusLine(status, information, length);
    if (!line) return;
    if (m_Probe) m_Probe->Log(this, *line);
}
