// The line a status notification of the probe's session writes to its
// status window, the same whichever HTTP library raised it.
#pragma once
#include <optional>
#include <string>

#include "seam/Types.h"

// Notification numbers of the status callback.
enum : DWORD {
    INTERNET_STATUS_RESOLVING_NAME = 10,
    INTERNET_STATUS_NAME_RESOLVED = 11,
    INTERNET_STATUS_CONNECTING_TO_SERVER = 20,
    INTERNET_STATUS_CONNECTED_TO_SERVER = 21,
    INTERNET_STATUS_SENDING_REQUEST = 30,
    INTERNET_STATUS_REQUEST_SENT = 31,
    INTERNET_STATUS_RECEIVING_RESPONSE = 40,
    INTERNET_STATUS_RESPONSE_RECEIVED = 41,
    INTERNET_STATUS_CLOSING_CONNECTION = 50,
    INTERNET_STATUS_CONNECTION_CLOSED = 51,
    INTERNET_STATUS_HANDLE_CREATED = 60,
    INTERNET_STATUS_HANDLE_CLOSING = 70,
    INTERNET_STATUS_REQUEST_COMPLETE = 100,
    INTERNET_STATUS_REDIRECT = 110,
};

// What a completed request reports: 8 bytes, as the notification's record.
struct INTERNET_ASYNC_RESULT {
    DWORD dwResult;
    DWORD dwError;
};

// No line for the notifications that write none; `information` is a text
// (a host name, an address) or an INTERNET_ASYNC_RESULT of `length` bytes.
std::optional<std::string> ProbeStatusLine(DWORD status, const void* information, DWORD length);
