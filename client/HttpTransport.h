// The session's HTTP transport: one POST at a time to one server, over the
// platform's HTTP client (libcurl on Linux, WinInet on Windows; CMake links
// the one side). The session keeps the rules (statuses, credentials, errors);
// a transport moves bytes and reports what happened.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "client/MallocBuffer.h"
#include "seam/Types.h"

class CKesaBodyReader;

namespace ferrylink {

// Where a request goes and the bounds it lives under.
struct HttpTarget {
    std::string url;    // scheme, server, port and object path
    std::string server;
    WORD port = 0;
    std::string object; // path and query
    bool tls = false;
    long stallSeconds = 0;  // no byte moved either way for this long: Stalled
    size_t maxAnswer = 0;   // larger answers: TooLarge
};

enum class HttpFailure {
    None,
    TooLarge,       // the answer went past maxAnswer
    Stalled,        // no byte moved for stallSeconds
    TooLong,        // past the query's overall bound (overallSeconds)
    Aborted,        // platform::AbortTransfers()
    SchemeRedirect, // a redirect to the other scheme, which is not followed
    Transport,      // anything else; errorText says what
};

struct HttpResult {
    long status = 0;         // 0 when no status could be read
    int queryError = 0;      // the platform's code when the status could not be read
    HttpFailure failure = HttpFailure::None;
    std::string errorText;   // the platform's text for Transport
    long overallSeconds = 0; // the bound in force, for TooLong
    MallocBuffer data;       // the answer, on the C heap (the response takes it over)
    size_t size = 0;
};

struct HttpUrlParts {
    std::string server;
    WORD port = 0;       // the scheme's default when the URL names none
    std::string object;  // path, and "?query" when there is one
};
// Splits an absolute URL; false when it cannot be parsed or its port is not 1 to 65535.
bool SplitUrl(const std::string& url, HttpUrlParts& out);

class IHttpTransport {
public:
    virtual ~IHttpTransport() = default;

    // The platform's side; null when it cannot start.
    static std::unique_ptr<IHttpTransport> Create();

    // Prepares the requests of one query to `target`. Raises std::bad_alloc
    // when out of memory.
    virtual void Prepare(const HttpTarget& target) = 0;
    // Sets the body up for the next send (rewound to its start); false when the
    // platform refused part of the setup (the request is sent anyway).
    virtual bool BeginSend(CKesaBodyReader& body, std::uint64_t length) = 0;
    // Sends the request and reads the whole answer.
    virtual HttpResult Send() = 0;
    // The credentials the next sends carry, for the server or for the proxy,
    // in the scheme the last challenge offered.
    virtual void SetCredentials(bool proxy, const std::string& user, const std::string& password) = 0;
    // The proxy a request to `url` goes through, as "host:port"; empty when direct.
    virtual std::string ProxyFor(const std::string& url) = 0;
};

} // namespace ferrylink
