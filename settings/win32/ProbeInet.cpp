#include "settings/win32/ProbeInet.h"

#include <windows.h>
#include <wininet.h>

namespace probe::wininet {

namespace {

struct Listener {
    StatusFn status;
    void* context;
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* information, DWORD length)
{
    const auto* l = reinterpret_cast<const Listener*>(context);
    if (!l || !l->status) return;
    std::string text;
    std::uint32_t result = 0, error = 0;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE && information && length >= sizeof(INTERNET_ASYNC_RESULT)) {
        const auto* r = static_cast<const INTERNET_ASYNC_RESULT*>(information);
        result = std::uint32_t(r->dwResult);
        error = r->dwError;
    } else if ((status == INTERNET_STATUS_RESOLVING_NAME || status == INTERNET_STATUS_NAME_RESOLVED ||
                status == INTERNET_STATUS_CONNECTING_TO_SERVER || status == INTERNET_STATUS_CONNECTED_TO_SERVER) &&
               information && length > 0) {
        // A zero-ended text, at most `length` bytes.
        const char* s = static_cast<const char*>(information);
        std::size_t n = 0;
        while (n < length && s[n]) ++n;
        text.assign(s, n);
    }
    l->status(l->context, status, text, result, error);
}

// One listener per probe thread: a probe sends one request at a time.
thread_local Listener t_Listener;

} // namespace

std::uint32_t LastError()
{
    return GetLastError();
}

std::string ErrorText(std::uint32_t code)
{
    char* raw = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                       FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   GetModuleHandleA("wininet.dll"), code, 0, reinterpret_cast<char*>(&raw), 0,
                                   nullptr);
    std::string text = n && raw ? std::string(raw, n) : std::string();
    if (raw) LocalFree(raw);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    if (text.empty()) text = "WinInet error " + std::to_string(code);
    return text;
}

void Close(Handle h)
{
    if (h) InternetCloseHandle(h);
}

Handle Open(const char* agent, StatusFn status, void* context)
{
    HINTERNET internet = InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    t_Listener = {status, context};
    if (internet) InternetSetStatusCallbackA(internet, &OnStatus);
    return internet;
}

Handle Connect(Handle internet, const std::string& server, std::uint16_t port, void*)
{
    return InternetConnectA(internet, server.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0,
                            reinterpret_cast<DWORD_PTR>(&t_Listener));
}

Handle OpenGet(Handle connect, const std::string& object, bool tls, void*)
{
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
    if (tls) flags |= INTERNET_FLAG_SECURE;
    return HttpOpenRequestA(connect, "GET", object.c_str(), nullptr, nullptr, nullptr, flags,
                            reinterpret_cast<DWORD_PTR>(&t_Listener));
}

void SetTimeouts(Handle request, std::uint32_t connectMs, std::uint32_t receiveMs)
{
    DWORD connect = connectMs, receive = receiveMs;
    InternetSetOptionA(request, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

void SetCredentials(Handle request, bool proxy, const std::string& user, const std::string& password)
{
    InternetSetOptionA(request, proxy ? INTERNET_OPTION_PROXY_USERNAME : INTERNET_OPTION_USERNAME,
                       const_cast<char*>(user.c_str()), DWORD(user.size()));
    InternetSetOptionA(request, proxy ? INTERNET_OPTION_PROXY_PASSWORD : INTERNET_OPTION_PASSWORD,
                       const_cast<char*>(password.c_str()), DWORD(password.size()));
}

std::string Proxy(Handle internet)
{
    DWORD size = 0;
    InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, nullptr, &size);
    if (size == 0) return {};
    std::string buffer(size, '\0');
    if (!InternetQueryOptionA(internet, INTERNET_OPTION_PROXY, buffer.data(), &size)) return {};
    const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
    if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || !info->lpszProxy) return {};
    std::string proxy = reinterpret_cast<const char*>(info->lpszProxy);
    // "http=host:port https=..." or "host:port": the first entry's address.
    proxy = proxy.substr(0, proxy.find(' '));
    if (const auto eq = proxy.find('='); eq != std::string::npos) proxy = proxy.substr(eq + 1);
    return proxy;
}

bool Send(Handle request)
{
    return HttpSendRequestA(request, nullptr, 0, nullptr, 0) != FALSE;
}

bool QueryStatus(Handle request, std::uint32_t& status)
{
    DWORD value = 0, size = sizeof value;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) return false;
    status = value;
    return true;
}

bool Read(Handle request, void* out, std::uint32_t capacity, std::uint32_t& read)
{
    DWORD got = 0;
    const BOOL ok = InternetReadFile(request, out, capacity, &got);
    read = got;
    return ok != FALSE;
}

bool CrackUrl(const std::string& url, UrlParts& out)
{
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    char scheme[16] = {}, host[256] = {}, path[2048] = {}, extra[2048] = {};
    parts.lpszScheme = scheme;
    parts.dwSchemeLength = sizeof scheme;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof extra;
    if (!InternetCrackUrlA(url.c_str(), DWORD(url.size()), 0, &parts)) return false;
    out.https = parts.nScheme == INTERNET_SCHEME_HTTPS;
    out.http = parts.nScheme == INTERNET_SCHEME_HTTP;
    out.server = host;
    out.port = parts.nPort;
    out.object = std::string(path) + extra;
    if (out.object.empty()) out.object = "/";
    return true;
}

} // namespace probe::wininet
