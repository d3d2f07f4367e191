// The WinInet calls the connection probe makes, in the standard types:
// <windows.h> names DWORD otherwise than our headers, so it stays in
// ProbeInet.cpp.
#pragma once
#include <cstdint>
#include <string>

namespace probe::wininet {

using Handle = void*;

// WinInet's status notifications, passed on with their text (a host name,
// an address) or the completed request's result and error.
using StatusFn = void (*)(void* context, std::uint32_t status, const std::string& text, std::uint32_t result,
                          std::uint32_t error);

std::uint32_t LastError();
std::string ErrorText(std::uint32_t code);
void Close(Handle h);

// The system's proxy settings; `status` hears every notification of the
// handles made from this one.
Handle Open(const char* agent, StatusFn status, void* context);
Handle Connect(Handle internet, const std::string& server, std::uint16_t port, void* context);
// A GET never answered from a cache, on a connection of its own, following
// redirects as WinInet does (never to the other scheme).
Handle OpenGet(Handle connect, const std::string& object, bool tls, void* context);
void SetTimeouts(Handle request, std::uint32_t connectMs, std::uint32_t receiveMs);
void SetCredentials(Handle request, bool proxy, const std::string& user, const std::string& password);
// The configured proxy ("host:port"), empty when requests go direct.
std::string Proxy(Handle internet);
bool Send(Handle request);
bool QueryStatus(Handle request, std::uint32_t& status);
bool Read(Handle request, void* out, std::uint32_t capacity, std::uint32_t& read);

struct UrlParts {
    bool https = false;
    bool http = false;
    std::string server;
    std::uint16_t port = 0;
    std::string object; // path with its query
};
bool CrackUrl(const std::string& url, UrlParts& out);

} // namespace probe::wininet
