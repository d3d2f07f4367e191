#include "client/win32/WinInetApi.h"

#include "settings/win32/ProbeInet.h"

#include <windows.h>
#include <wininet.h>

#include <memory>

namespace ferrylink::wininet {

std::uint32_t LastError()
{
    return GetLastError();
}

std::string ErrorText(std::uint32_t code)
{
    return probe::wininet::ErrorText(code);
}

void Close(Handle h)
{
    if (h) InternetCloseHandle(h);
}

Handle Open(const char* agent)
{
    return InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

Handle Connect(Handle internet, const std::string& server, std::uint16_t port)
{
    return InternetConnectA(internet, server.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
}

namespace {
struct Watcher {
    MovedFn moved;
    void* context;
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void*, DWORD)
{
    if (!context) return;
    if (status == INTERNET_STATUS_REQUEST_SENT || status == INTERNET_STATUS_RESPONSE_RECEIVED) {
        const auto* w = reinterpret_cast<const Watcher*>(context);
        w->moved(w->context);
    }
}
} // namespace

Handle OpenPost(Handle connect, const std::string& object, bool tls, MovedFn moved, void* context)
{
    // One watcher per thread: a transport sends one request at a time.
    thread_local Watcher watcher;
    watcher = {moved, context};
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
    if (tls) flags |= INTERNET_FLAG_SECURE;
    HINTERNET request = HttpOpenRequestA(connect, "POST", object.c_str(), nullptr, nullptr, nullptr, flags,
                                         reinterpret_cast<DWORD_PTR>(&watcher));
    if (request) InternetSetStatusCallbackA(request, &OnStatus);
    return request;
}

void SetTimeouts(Handle request, std::uint32_t connectMs, std::uint32_t sendMs, std::uint32_t receiveMs)
{
    DWORD values[] = {connectMs, sendMs, receiveMs};
    InternetSetOptionA(request, INTERNET_OPTION_CONNECT_TIMEOUT, &values[0], sizeof(DWORD));
    InternetSetOptionA(request, INTERNET_OPTION_SEND_TIMEOUT, &values[1], sizeof(DWORD));
    InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &values[2], sizeof(DWORD));
}

void SetCredentials(Handle connect, bool proxy, const std::string& user, const std::string& password)
{
    InternetSetOptionA(connect, proxy ? INTERNET_OPTION_PROXY_USERNAME : INTERNET_OPTION_USERNAME,
                       const_cast<char*>(user.c_str()), static_cast<DWORD>(user.size() + 1));
    InternetSetOptionA(connect, proxy ? INTERNET_OPTION_PROXY_PASSWORD : INTERNET_OPTION_PASSWORD,
                       const_cast<char*>(password.c_str()), static_cast<DWORD>(password.size() + 1));
}

std::string Proxy(Handle internet)
{
    DWORD size = 0;
    InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, nullptr, &size);
    if (size < sizeof(INTERNET_PROXY_INFO)) return {};
    std::unique_ptr<BYTE[]> raw(new BYTE[size]);
    if (!InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, raw.get(), &size)) return {};
    const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(raw.get());
    if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || !info->lpszProxy) return {};
    std::string proxy = reinterpret_cast<const char*>(info->lpszProxy);
    // "http=host:port https=host:port": the first entry names the proxy.
    const size_t equals = proxy.find('=');
    if (equals != std::string::npos) proxy.erase(0, equals + 1);
    const size_t end = proxy.find_first_of(" ;");
    if (end != std::string::npos) proxy.resize(end);
    return proxy;
}

bool Send(Handle request, const void* body, std::uint32_t length)
{
    return HttpSendRequestA(request, nullptr, 0, const_cast<void*>(body), length);
}

namespace {
bool QueryNumber(Handle request, DWORD what, std::uint32_t& out)
{
    DWORD value = 0;
    DWORD length = sizeof value;
    if (!HttpQueryInfoA(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &length, nullptr)) return false;
    out = value;
    return true;
}
} // namespace

bool QueryStatus(Handle request, std::uint32_t& status)
{
    return QueryNumber(request, HTTP_QUERY_STATUS_CODE, status);
}

bool QueryContentLength(Handle request, std::uint32_t& length)
{
    return QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, length);
}

bool Available(Handle request, std::uint32_t& available)
{
    DWORD n = 0;
    if (!InternetQueryDataAvailable(request, &n, 0, 0)) return false;
    available = n;
    return true;
}

bool Read(Handle request, void* out, std::uint32_t capacity, std::uint32_t& read)
{
    DWORD n = 0;
    if (!InternetReadFile(request, out, capacity, &n)) return false;
    read = n;
    return true;
}

bool CrackUrl(const std::string& url, UrlParts& out)
{
    char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    std::string path(url.size() + 1, '\0');
    std::string extra(url.size() + 1, '\0');
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    path.resize(parts.dwUrlPathLength);
    extra.resize(parts.dwExtraInfoLength);
    out.https = parts.nScheme == INTERNET_SCHEME_HTTPS;
    out.server = host;
    out.port = parts.nPort;
    out.path = path;
    out.extra = extra;
    return true;
}

} // namespace ferrylink::wininet
