#include "settings/ConnectionProbe.h"

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>

#include "lexmo/Lexmo.h"
#include "lexmo/TextOr.h"
#include "seam/TransferAbort.h"
#include "seam/Ui.h"
#include "settings/CurlFailureText.h"
#include "settings/ProbeSession.h"
#include "settings/ProbeText.h"
#include "settings/HttpAuth.h"
#include "settings/Redirects.h"
#include "settings/RegGetNorveliaKey.h"
#include "settings/StallTimeout.h"

namespace {

// Internet error numbers that the probe reports.
enum : DWORD {
    ERROR_NOT_ENOUGH_MEMORY = 8,
    ERROR_INTERNET_TIMEOUT = 12002,
    ERROR_INTERNET_INTERNAL_ERROR = 12004,
    ERROR_INTERNET_INVALID_URL = 12005,
    ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006,
    ERROR_INTERNET_NAME_NOT_RESOLVED = 12007,
    ERROR_INTERNET_OPERATION_CANCELLED = 12017,
    ERROR_INTERNET_NO_DIRECT_ACCESS = 12023,
    ERROR_INTERNET_CANNOT_CONNECT = 12029,
    ERROR_INTERNET_CONNECTION_ABORTED = 12030,
    ERROR_INTERNET_CONNECTION_RESET = 12031,
    ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037,
    ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038,
    ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR = 12039,
    ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040,
    ERROR_INTERNET_INVALID_CA = 12045,
    ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152,
    ERROR_HTTP_REDIRECT_FAILED = 12156,
    ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157,
};

// libcurl's failures as the internet errors they stand for. Refused, aborted
// and reset connections are told apart by the socket's own error below.
struct CurlMapping {
    CURLcode curl;
    DWORD internet;
};
constexpr CurlMapping kCurlErrors[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, ERROR_INTERNET_UNRECOGNIZED_SCHEME},
    {CURLE_URL_MALFORMAT, ERROR_INTERNET_INVALID_URL},
    {CURLE_COULDNT_RESOLVE_PROXY, ERROR_INTERNET_NO_DIRECT_ACCESS},
    {CURLE_COULDNT_RESOLVE_HOST, ERROR_INTERNET_NAME_NOT_RESOLVED},
    {CURLE_COULDNT_CONNECT, ERROR_INTERNET_CANNOT_CONNECT},
    {CURLE_WEIRD_SERVER_REPLY, ERROR_HTTP_INVALID_SERVER_RESPONSE},
    {CURLE_HTTP2, ERROR_HTTP_INVALID_SERVER_RESPONSE},
    {CURLE_PARTIAL_FILE, ERROR_INTERNET_CONNECTION_ABORTED},
    {CURLE_OUT_OF_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
    {CURLE_OPERATION_TIMEDOUT, ERROR_INTERNET_TIMEOUT},
    {CURLE_SSL_CONNECT_ERROR, ERROR_INTERNET_SECURITY_CHANNEL_ERROR},
    {CURLE_GOT_NOTHING, ERROR_HTTP_INVALID_SERVER_RESPONSE},
    {CURLE_SEND_ERROR, ERROR_INTERNET_CONNECTION_ABORTED},
    {CURLE_RECV_ERROR, ERROR_INTERNET_CONNECTION_ABORTED},
    {CURLE_PEER_FAILED_VERIFICATION, ERROR_INTERNET_INVALID_CA},
    {CURLE_SSL_CACERT_BADFILE, ERROR_INTERNET_INVALID_CA},
    {CURLE_SSL_CERTPROBLEM, ERROR_INTERNET_SECURITY_CHANNEL_ERROR},
    {CURLE_SSL_CIPHER, ERROR_INTERNET_SECURITY_CHANNEL_ERROR},
    {CURLE_FILESIZE_EXCEEDED, ERROR_NOT_ENOUGH_MEMORY},
    {CURLE_TOO_MANY_REDIRECTS, ERROR_HTTP_REDIRECT_FAILED},
};

// X.509 verification results that name the cause of a refused certificate.
constexpr long kCertNotYetValid = 9, kCertHasExpired = 10, kHostnameMismatch = 62;

DWORD InternetError(CURL* h, CURLcode rc)
{
    long osError = 0;
    curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osError);
    if (rc == CURLE_COULDNT_CONNECT || rc == CURLE_SEND_ERROR || rc == CURLE_RECV_ERROR) {
        if (osError == ECONNREFUSED) return ERROR_INTERNET_CANNOT_CONNECT;
        if (osError == ECONNRESET || osError == EPIPE) return ERROR_INTERNET_CONNECTION_RESET;
        if (osError == ECONNABORTED) return ERROR_INTERNET_CONNECTION_ABORTED;
    }
    if (rc == CURLE_PEER_FAILED_VERIFICATION) {
        long verify = 0;
        curl_easy_getinfo(h, CURLINFO_SSL_VERIFYRESULT, &verify);
        if (verify == kCertHasExpired || verify == kCertNotYetValid) return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
        if (verify == kHostnameMismatch) return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    }
    for (const CurlMapping& m : kCurlErrors)
        if (m.curl == rc) return m.internet;
    return ERROR_INTERNET_INTERNAL_ERROR;
}

constexpr long kConnectTimeout = 30;
// "Request failed: <libcurl's reason> (WinInet error <number>)."
constexpr int kMsgRequestFailed = 4403;
using probe_text::Cut;
using probe_text::kErrorTextMax;
using probe_text::kLineMax;
using probe_text::kMaxAnswer;
using probe_text::kMaxSends;
using probe_text::kPiece;
using probe_text::Line;

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// One send: follows the answers' heads and keeps the body of a success,
// in pieces, with a line for each.
struct Transfer {
    CConnectionProbe* probe = nullptr;
    CProbeSession* session = nullptr;
    std::string* body = nullptr;
    long status = 0; // of the answer being received, from its status line
    bool inHead = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    unsigned long long total = 0;
    bool tooLarge = false;
    bool noMemory = false;
    bool stopped = false;

    bool Keeps() const { return status == 0 || status == 200 || status == 206; }

    // The program is stopping: a silent or trickling server must not hold it.
    static int Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept
    {
        if (!platform::TransfersAborted()) return 0;
        static_cast<Transfer*>(self)->stopped = true;
        return 1;
    }

    // Nothing may be thrown through libcurl: a failure here ends the transfer.
    static size_t Header(char* data, size_t one, size_t count, void* self) noexcept
    {
        try {
            return OnHeader(static_cast<Transfer*>(self), std::string(data, one * count));
        } catch (...) {
            static_cast<Transfer*>(self)->noMemory = true;
            return 0;
        }
    }

    static size_t Write(char* data, size_t one, size_t count, void* self) noexcept
    {
        try {
            return OnBody(static_cast<Transfer*>(self), data, one * count);
        } catch (...) {
            static_cast<Transfer*>(self)->noMemory = true;
            return 0;
        }
    }

    static size_t OnHeader(Transfer* t, const std::string& line)
    {
        const size_t n = line.size();
        if (line.rfind("HTTP/", 0) == 0) {
            const size_t blank = line.find(' ');
            // The answer before this one sent the request elsewhere.
            if (!t->inHead && IsRedirect(t->status))
                t->session->OnStatusCallback(1, INTERNET_STATUS_REDIRECT, nullptr, 0);
            t->status = blank == std::string::npos ? 0 : std::atol(line.c_str() + blank + 1);
            if (!t->inHead) t->session->OnStatusCallback(1, INTERNET_STATUS_REQUEST_SENT, nullptr, 0);
            t->inHead = true;
        } else if (line == "\r\n" || line == "\n") {
            t->inHead = false;
            t->session->OnStatusCallback(1, INTERNET_STATUS_RESPONSE_RECEIVED, nullptr, 0);
            t->start = std::chrono::steady_clock::now();
        }
        return n;
    }

    static size_t OnBody(Transfer* t, const char* data, size_t n)
    {
        if (!t->Keeps()) return n; // a refused answer is discarded
        if (n > kMaxAnswer - t->body->size()) {
            t->tooLarge = true;
            return 0;
        }
        for (size_t done = 0; done < n;) {
            const size_t piece = std::min(kPiece, n - done);
            t->body->append(data + done, piece);
            t->total += piece;
            done += piece;
            const auto seconds =
                std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - t->start).count();
            if (seconds > 0)
                t->probe->Log(t->session, Line(2060, t->total, double(t->total) / 1024.0 / double(seconds)));
            else
                t->probe->Log(t->session, Line(2061, t->total));
        }
        return n;
    }
};

} // namespace

CConnectionProbe::CConnectionProbe()
{
    m_Mode = std::atoi(RegGetNorveliaKey("Tidepost", "Mode").c_str());
    m_ProxyPassword = RegGetNorveliaKey("Tidepost", "ProxyPassword");
    m_ProxyUser = RegGetNorveliaKey("Tidepost", "ProxyUser");
}

CConnectionProbe::~CConnectionProbe()
{
    CloseSession();
}

bool CConnectionProbe::OpenSession(const char* agent, IProbeStatusWindow* statusWindow)
{
    CloseSession();
    GlobalInit();
    auto session = std::make_unique<CProbeSession>(agent, this);
    if (!session->IsValid()) return false;
    session->m_StatusWindow = nullptr;
    (void)session->EnableStatusCallback();
    session->m_StatusWindow = statusWindow;
    m_Session = std::move(session);
    return true;
}

void CConnectionProbe::CloseSession()
{
    if (!m_Session) return;
    m_Session->m_StatusWindow = nullptr;
    m_Session.reset();
}

void CConnectionProbe::Log(CProbeSession* session, const std::string& line)
{
    if (!session || !session->m_StatusWindow) return;
    session->m_StatusWindow->AddLine(Cut(line, kLineMax));
}

bool CConnectionProbe::Run(const char* url, std::string& body, const char* agent, IProbeStatusWindow* statusWindow)
{
    body.clear();
    if (!m_Session && !OpenSession(agent, statusWindow)) return false;
    if (statusWindow) m_Session->m_StatusWindow = statusWindow;
    CProbeSession* session = m_Session.get();
    CURL* h = session->Handle();
    const std::string target = url ? url : "";

    // Nothing cached anywhere on the way: the answer comes from the server itself.
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    for (const char* header : {"Cache-Control: no-cache", "Pragma: no-cache"}) {
        curl_slist* grown = curl_slist_append(headers.get(), header);
        if (!grown) return false;
        (void)headers.release();
        headers.reset(grown);
    }

    char errorText[CURL_ERROR_SIZE] = {};
    Transfer transfer;
    transfer.probe = this;
    transfer.session = session;
    transfer.body = &body;

    auto set = [h](CURLoption option, auto value) { (void)curl_easy_setopt(h, option, value); };
    set(CURLOPT_URL, target.c_str());
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_USERAGENT, session->Agent().c_str());
    set(CURLOPT_HTTPHEADER, headers.get());
    set(CURLOPT_NOSIGNAL, 1L);
    FollowRedirects(h, target);
    // Each probe makes its own connection, and closes it when done.
    set(CURLOPT_FORBID_REUSE, 1L);
    set(CURLOPT_ERRORBUFFER, errorText);
    set(CURLOPT_HEADERFUNCTION, &Transfer::Header);
    set(CURLOPT_HEADERDATA, &transfer);
    set(CURLOPT_WRITEFUNCTION, &Transfer::Write);
    set(CURLOPT_WRITEDATA, &transfer);
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &Transfer::Progress);
    set(CURLOPT_XFERINFODATA, &transfer);
    set(CURLOPT_CONNECTTIMEOUT, kConnectTimeout);
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, StallTimeoutSeconds());
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* bundle = std::getenv("CURL_CA_BUNDLE"); bundle && *bundle) set(CURLOPT_CAINFO, bundle);
    set(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    set(CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));

    const std::string proxy = ProxyFor(target);
    std::string host;
    if (CURLU* u = curl_url()) {
        char* part = nullptr;
        if (curl_url_set(u, CURLUPART_URL, target.c_str(), 0) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
            host = part;
            curl_free(part);
        }
        curl_url_cleanup(u);
    }
    session->SetLookupHost(proxy.empty() ? host : proxy.substr(0, proxy.rfind(':')));

    // Credentials serve this probe only, and the handle keeps no pointer into this frame.
    std::string user, password;
    struct Detach {
        CURL* h;
        ~Detach()
        {
            for (CURLoption o : {CURLOPT_USERNAME, CURLOPT_PASSWORD, CURLOPT_PROXYUSERNAME, CURLOPT_PROXYPASSWORD,
                                 CURLOPT_ERRORBUFFER, CURLOPT_HEADERDATA, CURLOPT_WRITEDATA, CURLOPT_XFERINFODATA})
                curl_easy_setopt(h, o, static_cast<void*>(nullptr));
            curl_easy_setopt(h, CURLOPT_NOPROGRESS, 1L);
            curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, static_cast<curl_xferinfo_callback>(nullptr));
            curl_easy_setopt(h, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
            curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, static_cast<curl_write_callback>(nullptr));
            curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, static_cast<curl_write_callback>(nullptr));
        }
    } detach{h};
    for (CURLoption o : {CURLOPT_USERNAME, CURLOPT_PASSWORD, CURLOPT_PROXYUSERNAME, CURLOPT_PROXYPASSWORD})
        set(o, static_cast<const char*>(nullptr));

    session->OnStatusCallback(1, INTERNET_STATUS_HANDLE_CREATED, nullptr, 0);
    bool done = false;
    for (int sends = 1; !done; ++sends) {
        body.clear();
        transfer.status = 0;
        transfer.inHead = false;
        transfer.total = 0;
        transfer.tooLarge = false;
        transfer.noMemory = false;
        transfer.stopped = false;
        errorText[0] = 0;
        const CURLcode rc = curl_easy_perform(h);
        if (transfer.noMemory) {
            body.clear();
            return false;
        }
        DWORD failure = rc == CURLE_OK             ? 0
                        : transfer.tooLarge          ? ERROR_NOT_ENOUGH_MEMORY
                        : transfer.stopped           ? ERROR_INTERNET_OPERATION_CANCELLED
                                                     : InternetError(h, rc);
        // A redirect to the other scheme is refused, as the platform refuses it.
        const bool schemeChange = rc == CURLE_UNSUPPORTED_PROTOCOL && IsRedirect(transfer.status);
        if (schemeChange)
            failure = std::string(RedirectScheme(target)) == "https" ? ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR
                                                                     : ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR;
        if (rc == CURLE_OK) {
            const INTERNET_ASYNC_RESULT result{1u, 0u};
            session->OnStatusCallback(1, INTERNET_STATUS_REQUEST_COMPLETE, &result, sizeof result);
        } else {
            // Here the request ends on its reason, told as the error's line
            // tells it; the WinInet number it stands for is kept for reference.
            Log(session, Line(kMsgRequestFailed,
                              CurlFailureText(rc, PeerName(h, proxy.empty() ? host : proxy, 0),
                                              errorText[0] ? errorText : curl_easy_strerror(rc)),
                              failure));
        }

        long status = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        if (status == 0) {
            // A proxy that refuses the tunnel answers on the CONNECT.
            long connect = 0;
            curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &connect);
            if (connect != 0 && connect != 200) status = connect;
        }

        // A proxy may refuse and drop the connection at once: the challenge still counts.
        const bool redirectFailed = schemeChange || rc == CURLE_TOO_MANY_REDIRECTS;
        if (rc != CURLE_OK && (redirectFailed || (status != 401 && status != 407 && (status == 0 || transfer.Keeps())))) {
            std::string text = transfer.tooLarge ? lexmo::TextOr(4646, "The answer is larger than 256 MiB")
                               : transfer.stopped ? probe_text::Stopped()
                               : schemeChange    ? lexmo::TextOr(4645, "The server redirected the request to another "
                                                                       "scheme (http and https), which is not followed")
                                                 : CurlFailureText(rc, PeerName(h, proxy.empty() ? host : proxy, 0),
                                                                   errorText[0] ? errorText : curl_easy_strerror(rc));
            text = Cut(text, kErrorTextMax);
            ReportError(failure, text);
            m_LastMessage = text;
            body.clear();
            return false;
        }

        switch (status) {
        case 0:
            platform::UiHost().ShowMessage(KESA_FormatText("Failed to get HTTP query status code, Error:%d", int(rc)),
                                           "", platform::MsgIcon::None, platform::MsgButtons::Ok);
            done = true;
            break;
        case 200:
        case 206:
            done = true;
            break;
        case 401:
        case 407: {
            body.clear();
            const bool byProxy = status == 407;
            bool again = false;
            if (sends < kMaxSends) {
                if (m_Mode == 0) {
                    const bool askedByProxy = byProxy && !proxy.empty();
                    again = platform::UiHost().AskCredentials(CredentialsPrompt(askedByProxy, askedByProxy ? proxy : host),
                                                              user, password);
                } else if (m_Mode == 1) {
                    user = m_ProxyUser;
                    password = m_ProxyPassword;
                    again = true;
                }
            }
            if (again) {
                long offered = 0;
                curl_easy_getinfo(h, byProxy ? CURLINFO_PROXYAUTH_AVAIL : CURLINFO_HTTPAUTH_AVAIL, &offered);
                set(byProxy ? CURLOPT_PROXYAUTH : CURLOPT_HTTPAUTH, static_cast<long>(PickAuth(offered)));
                set(byProxy ? CURLOPT_PROXYUSERNAME : CURLOPT_USERNAME, user.c_str());
                set(byProxy ? CURLOPT_PROXYPASSWORD : CURLOPT_PASSWORD, password.c_str());
                break;
            }
            // Refused, declined, or no way to answer: the server was not reached.
            m_LastMessage = KESA_FormatMessage(2046);
            ReportError(DWORD(status), m_LastMessage);
            return false;
        }
        case 403:
            m_LastMessage = KESA_FormatMessage(2045, "HTTP_STATUS_FORBIDDEN");
            ReportError(403, m_LastMessage);
            body.clear();
            return false;
        case 404:
            m_LastMessage = KESA_FormatMessage(2085, target);
            ReportError(404, m_LastMessage);
            body.clear();
            return false;
        default:
            m_LastMessage = KESA_FormatMessage(2086, status);
            ReportError(DWORD(status), m_LastMessage);
            body.clear();
            return false;
        }
    }
    Log(session, Line(2062, transfer.total));
    Log(session, Line(2063));
    return true;
}
