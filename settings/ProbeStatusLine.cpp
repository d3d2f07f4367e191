#include "settings/ProbeStatusLine.h"

#include <cstring>

#include "lexmo/Lexmo.h"

namespace {

// A catalog text that serves as a format, filled type-safely.
template <class... A>
std::string Line(int number, const A&... args)
{
    return KESA_FormatText(KESA_FormatMessage(number), args...);
}

} // namespace

std::optional<std::string> ProbeStatusLine(DWORD status, const void* information, DWORD length)
{
    const char* text = static_cast<const char*>(information);
    switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME: return Line(2064, text ? text : "");
    case INTERNET_STATUS_NAME_RESOLVED: return Line(2065, text ? text : "");
    case INTERNET_STATUS_CONNECTING_TO_SERVER: return Line(2066);
    case INTERNET_STATUS_CONNECTED_TO_SERVER: return Line(2069);
    case INTERNET_STATUS_SENDING_REQUEST: return Line(2068);
    case INTERNET_STATUS_REQUEST_SENT: return Line(2067);
    case INTERNET_STATUS_RECEIVING_RESPONSE:
    case INTERNET_STATUS_HANDLE_CLOSING: return std::nullopt;
    case INTERNET_STATUS_RESPONSE_RECEIVED: return Line(2070);
    case INTERNET_STATUS_CLOSING_CONNECTION: return Line(2071);
    case INTERNET_STATUS_CONNECTION_CLOSED: return Line(2072);
    case INTERNET_STATUS_HANDLE_CREATED: return std::string(); // an empty line
    case INTERNET_STATUS_REQUEST_COMPLETE:
        if (length == sizeof(INTERNET_ASYNC_RESULT) && information) {
            INTERNET_ASYNC_RESULT result;
            std::memcpy(&result, information, sizeof result);
            return Line(2073, result.dwResult, result.dwError);
        }
        return Line(2074);
    default: return Line(2075, status);
    }
}
