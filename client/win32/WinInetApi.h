// The WinInet calls the transport makes, in the standard types: <windows.h>
// names DWORD otherwise than our headers, so it stays in WinInetApi.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace ferrylink::wininet {

using Handle = void*;

// The WinInet errors the transport tells apart.
constexpr std::uint32_t kTimeout = 12002;
constexpr std::uint32_t kForceRetry = 12032;
constexpr std::uint32_t kHttpToHttpsOnRedirect = 12039;
constexpr std::uint32_t kHttpsToHttpOnRedirect = 12040;

std::uint32_t LastError();
std::string ErrorText(std::uint32_t code);
void Close(Handle h);

// INTERNET_OPEN_TYPE_PRECONFIG: the system's proxy settings.
Handle Open(const char* agent);
Handle Connect(Handle internet, const std::string& server, std::uint16_t port);
// Called on WinInet's status callback each time bytes went out or came in.
using MovedFn = void (*)(void* context);
// A POST of `object`, never cached, over TLS when `tls`; `moved(context)` is
// called as its bytes move.
Handle OpenPost(Handle connect, const std::string& object, bool tls, MovedFn moved, void* context);
void SetTimeouts(Handle request, std::uint32_t connectMs, std::uint32_t sendMs, std::uint32_t receiveMs);
void SetCredentials(Handle connect, bool proxy, const std::string& user, const std::string& password);
// The configured proxy ("host:port"), empty when requests go direct.
std::string Proxy(Handle internet);

// Sends the request with its whole body; WinInet may send it again for a
// challenge it has credentials for, or a redirect that keeps the method.
bool Send(Handle request, const void* body, std::uint32_t length);
// A numeric header (the status, the content length); false when absent.
bool QueryStatus(Handle request, std::uint32_t& status);
bool QueryContentLength(Handle request, std::uint32_t& length);
bool Available(Handle request, std::uint32_t& available);
bool Read(Handle request, void* out, std::uint32_t capacity, std::uint32_t& read);

struct UrlParts {
    bool https = false;
    std::string server;
    std::uint16_t port = 0;
    std::string path;
    std::string extra; // "?query#fragment"
};
bool CrackUrl(const std::string& url, UrlParts& out);

} // namespace ferrylink::wininet
