#include "client/KesaSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "client/KesaBodyReader.h"
#include "client/MallocBuffer.h"
#include "lexmo/Lexmo.h"
#include "platform/TransferAbort.h"
#include "platform/Ui.h"
#include "quillio/KesaError.h"
#include "quillio/NorvFile.h"
#include "settings/HttpAuth.h"
#include "settings/Redirects.h"
#include "settings/RegGetNorveliaKey.h"
#include "settings/RegSettings.h"

using ferrylink::MallocBuffer;

namespace {

constexpr const char* kContext = "CKesaSession::ProcessRequest";
constexpr long kConnectTimeout = 30;
// Error texts of the platform are cut to this many bytes.
constexpr size_t kErrorTextMax = 128;

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct CurlTextDeleter {
    void operator()(char* p) const { curl_free(p); }
};

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One URL part, or nullopt-like empty with ok = false.
bool UrlPart(CURLU* url, CURLUPart part, unsigned flags, std::string& out)
{
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, flags) != CURLUE_OK) return false;
    std::unique_ptr<char, CurlTextDeleter> text(raw);
    out = text ? text.get() : "";
    return true;
}

// The answer, in one growing buffer of the C heap (the response takes it over).
struct Answer {
    CURL* handle = nullptr;
    MallocBuffer data;
    size_t size = 0;
    size_t capacity = 0;
    bool tooLarge = false;

    void Clear() { size = 0; tooLarge = false; }

    static size_t Write(char* bytes, size_t one, size_t count, void* self)
    {
        auto* a = static_cast<Answer*>(self);
        const size_t n = one * count;
        if (n > CKesaSession::kMaxAnswer - a->size) {
            a->tooLarge = true;
            return 0; // aborts the transfer
        }
        if (a->size + n > a->capacity) {
            size_t capacity = a->capacity ? a->capacity : 65536;
            // An announced length is taken at its word (within the limit): one
            // allocation, no copy as the answer grows.
            curl_off_t announced = -1;
            if (a->size == 0 && curl_easy_getinfo(a->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
                announced > 0 && static_cast<size_t>(announced) <= CKesaSession::kMaxAnswer) {
                capacity = std::max(capacity, static_cast<size_t>(announced));
            }
            while (capacity < a->size + n) capacity *= 2;
            auto* grown = static_cast<BYTE*>(std::realloc(a->data.get(), capacity));
            if (!grown) return 0;
            (void)a->data.release();
            a->data.reset(grown);
            a->capacity = capacity;
        }
        std::memcpy(a->data.get() + a->size, bytes, n);
        a->size += n;
        return n;
    }
};

// Fails a transfer that has moved no byte, either way, for the stall time:
// however slowly bytes come, a transfer that keeps moving goes on.
// Watches a transfer: it fails when no byte moved for `limit`, when it went on
// longer than its overall bound, or when the program was asked to stop.
struct StallWatch {
    std::chrono::steady_clock::duration limit;
    std::chrono::steady_clock::time_point last;
    std::chrono::steady_clock::time_point start;
    curl_off_t moved = -1;
    enum class Ended { No, Stalled, TooLong, Aborted } ended = Ended::No;
    long baseSeconds = 0;
    long overallSeconds = 0;

    void Start()
    {
        start = last = std::chrono::steady_clock::now();
        moved = -1;
        ended = Ended::No;
        baseSeconds = overallSeconds = QueryBoundSeconds(0);
    }

    static int Progress(void* self, curl_off_t dltotal, curl_off_t downloaded, curl_off_t ultotal,
                        curl_off_t uploaded)
    {
        auto* w = static_cast<StallWatch*>(self);
        if (platform::TransfersAborted()) {
            w->ended = Ended::Aborted;
            return 1;
        }
        const auto now = std::chrono::steady_clock::now();
        // The sizes are announced as the transfer goes on (the answer's length
        // arrives with its headers).
        const auto announced = static_cast<std::uint64_t>(std::max<curl_off_t>(dltotal, 0)) +
                               static_cast<std::uint64_t>(std::max<curl_off_t>(ultotal, 0));
        w->overallSeconds = w->baseSeconds + static_cast<long>(announced / kQueryBytesPerSecond);
        if (now - w->start >= std::chrono::seconds(w->overallSeconds)) {
            w->ended = Ended::TooLong;
            return 1;
        }
        if (downloaded + uploaded != w->moved) {
            w->moved = downloaded + uploaded;
            w->last = now;
            return 0;
        }
        if (now - w->last < w->limit) return 0;
        w->ended = Ended::Stalled;
        return 1; // aborts the transfer
    }
};

// The body goes out in the pieces libcurl asks for, read in place from the request.
size_t ReadBody(char* out, size_t one, size_t count, void* reader)
{
    return static_cast<CKesaBodyReader*>(reader)->Read(reinterpret_cast<BYTE*>(out), one * count);
}

// A resend (a challenge answered, a connection found dead) starts over.
int SeekBody(void* reader, curl_off_t offset, int origin)
{
    if (origin != SEEK_SET || offset < 0) return CURL_SEEKFUNC_CANTSEEK;
    return static_cast<CKesaBodyReader*>(reader)->Seek(static_cast<std::uint64_t>(offset)) ? CURL_SEEKFUNC_OK
                                                                                          : CURL_SEEKFUNC_FAIL;
}

[[noreturn]] void Raise(int number, std::string text)
{
    CKesaError::Throw(number, std::move(text));
}

// The HotSync directory with its separator, or empty for the current directory.
std::string DumpDirectory()
{
    CRegSettings settings;
    std::string path = settings.GetHotSyncPath();
    if (path == "*NODEF*" || path.empty()) return {};
    const char last = path.back();
    if (last == '/' || last == '\\') return path;
    // Paths may use "/" or the Windows "\": cut after whichever comes last.
    const size_t cut = path.find_last_of("/\\");
    if (cut == std::string::npos) return path + "/";
    return path.substr(0, cut + 1);
}

} // namespace

struct CKesaSession::Connection {
    std::unique_ptr<CURL, EasyDeleter> easy;
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    char errorText[CURL_ERROR_SIZE] = {};
};

CKesaSession::CKesaSession() = default;

CKesaSession::~CKesaSession()
{
    if (m_Connection) CKesaSession::Close();
}

void CKesaSession::Close()
{
    m_Connection.reset();
}

bool CKesaSession::IsOpen() const
{
    return m_Connection != nullptr;
}

std::string CKesaSession::GetRequestUrl() const
{
    std::string url = m_Port == 443 ? "https://" : "http://";
    url += m_Server + ":" + std::to_string(m_Port);
    url += m_ObjectPath.empty() || m_ObjectPath[0] != '/' ? "/" + m_ObjectPath : m_ObjectPath;
    return url;
}

bool CKesaSession::Open(std::string url)
{
    GlobalInit();
    // A second Open replaces the connection instead of leaking it.
    Close();
    m_Url = url;

    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
    std::string server, port, path, query;
    if (!UrlPart(parsed.get(), CURLUPART_HOST, 0, server) ||
        !UrlPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT, port) ||
        !UrlPart(parsed.get(), CURLUPART_PATH, 0, path)) {
        return false;
    }
    const long portNumber = std::strtol(port.c_str(), nullptr, 10);
    if (portNumber <= 0 || portNumber > 65535) return false;
    if (UrlPart(parsed.get(), CURLUPART_QUERY, 0, query)) path += "?" + query;

    auto connection = std::make_unique<Connection>();
    connection->easy.reset(curl_easy_init());
    if (!connection->easy) return false;
    // Whatever scheme a challenge offers; the retry answers with the one picked from it, and the
    // connection's later requests carry those credentials at once.
    curl_easy_setopt(connection->easy.get(), CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    curl_easy_setopt(connection->easy.get(), CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));

    m_Server = server;
    m_Port = static_cast<WORD>(portNumber);
    m_Object = path;
    m_ObjectPath = m_Object;
    m_Connection = std::move(connection);
    return true;
}

std::string CKesaSession::RegGetNorveliaKey(std::string product, std::string valueName)
{
    return ::RegGetNorveliaKey(std::move(product), std::move(valueName));
}

void CKesaSession::WriteDump(const BYTE* data, size_t length)
{
    const std::string path = DumpDirectory() + KESA_FormatText("norvtrace%d.bin", m_DumpCounter);
    ++m_DumpCounter;
    CNorvFile file;
    if (!file.Open(path.c_str(), "wb")) return;
    if (length) file.Write(data, static_cast<int>(length));
    file.Close();
}

std::unique_ptr<CKesaResponse> CKesaSession::ProcessRequest(CKesaRequest* request)
{
    const int mode = std::atoi(RegGetNorveliaKey("Tidepost", "Mode").c_str());
    const std::string proxyPassword = RegGetNorveliaKey("Tidepost", "ProxyPassword");
    const std::string proxyUser = RegGetNorveliaKey("Tidepost", "ProxyUser");

    if (!m_Connection) Raise(2006, KESA_FormatMessage(2006, kContext));

    try {
        // The size first: a body that cannot be described by its length is refused here.
        const DWORD bodyLength = request->BodySize();
        CKesaBodyReader body(*request);

        CURL* h = m_Connection->easy.get();
        Answer answer;
        answer.handle = h;

        // What libcurl adds unasked: a form Content-Type, "Expect: 100-continue", an Accept list.
        std::unique_ptr<curl_slist, SlistDeleter> headers;
        for (const char* line : {"Expect:", "Content-Type:", "Accept:"}) {
            curl_slist* grown = curl_slist_append(headers.get(), line);
            if (!grown) throw std::bad_alloc();
            (void)headers.release();
            headers.reset(grown);
        }
        m_Connection->headers = std::move(headers);

        const std::string url = GetRequestUrl();
        CURLcode setup = CURLE_OK;
        auto set = [&](CURLoption option, auto value) {
            const CURLcode rc = curl_easy_setopt(h, option, value);
            if (rc != CURLE_OK && setup == CURLE_OK) setup = rc;
        };
        set(CURLOPT_URL, url.c_str());
        set(CURLOPT_PROTOCOLS_STR, "http,https");
        set(CURLOPT_NOSIGNAL, 1L);
        set(CURLOPT_POST, 1L);
        set(CURLOPT_HTTPHEADER, m_Connection->headers.get());
        FollowRedirects(h, url);
        set(CURLOPT_ERRORBUFFER, m_Connection->errorText);
        set(CURLOPT_WRITEFUNCTION, &Answer::Write);
        set(CURLOPT_WRITEDATA, &answer);
        set(CURLOPT_CONNECTTIMEOUT, kConnectTimeout);
        StallWatch stall{std::chrono::seconds(m_StallSeconds), {}, {}};
        set(CURLOPT_NOPROGRESS, 0L);
        set(CURLOPT_XFERINFOFUNCTION, &StallWatch::Progress);
        set(CURLOPT_XFERINFODATA, &stall);
        set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxAnswer));
        set(CURLOPT_SSL_VERIFYPEER, 1L);
        set(CURLOPT_SSL_VERIFYHOST, 2L);
        // A test may name its own certificate authority; verification stays on.
        if (const char* bundle = std::getenv("CURL_CA_BUNDLE"); bundle && *bundle) set(CURLOPT_CAINFO, bundle);

        for (int attempts = 0;; ++attempts) {
            if (attempts > 5) Raise(2046, KESA_FormatMessage(2046));

            CURLcode start = setup;
            body.Seek(0);
            if (curl_easy_setopt(h, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr)) != CURLE_OK ||
                curl_easy_setopt(h, CURLOPT_READFUNCTION, &ReadBody) != CURLE_OK ||
                curl_easy_setopt(h, CURLOPT_READDATA, &body) != CURLE_OK ||
                curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, &SeekBody) != CURLE_OK ||
                curl_easy_setopt(h, CURLOPT_SEEKDATA, &body) != CURLE_OK ||
                curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength)) != CURLE_OK) {
                start = CURLE_FAILED_INIT;
            }
            // A request that cannot be started is shown, and sent anyway.
            if (start != CURLE_OK) {
                platform::UiHost().ShowMessage("Error !!!", "", platform::MsgIcon::None, platform::MsgButtons::Ok);
            }

            answer.Clear();
            stall.Start();
            m_Connection->errorText[0] = 0;
            const CURLcode sent = curl_easy_perform(h);
            long status = 0;
            const CURLcode queried = curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
            if (queried == CURLE_OK && status == 0) {
                // Through a proxy, an HTTPS request's refusal is the CONNECT's answer.
                long connect = 0;
                curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &connect);
                if (connect == 401 || connect == 407) status = connect;
            }

            if (answer.tooLarge || sent == CURLE_FILESIZE_EXCEEDED) Raise(2006, KESA_FormatMessage(2006, kContext));
            // A proxy may refuse and drop the connection at once: the challenge still counts.
            if (sent != CURLE_OK && status != 401 && status != 407) {
                std::string text;
                if (stall.ended == StallWatch::Ended::Stalled)
                    text = KESA_FormatText("Operation timed out: no data received or sent for %ld seconds",
                                           m_StallSeconds);
                else if (stall.ended == StallWatch::Ended::TooLong)
                    text = KESA_FormatText("Operation timed out: the query took more than %ld seconds",
                                           stall.overallSeconds);
                else if (stall.ended == StallWatch::Ended::Aborted)
                    text = "Operation abandoned: the program is stopping";
                else if (sent == CURLE_UNSUPPORTED_PROTOCOL && IsRedirect(status))
                    text = "The server redirected the request to another scheme (http and https), which is not "
                           "followed";
                else
                    text = m_Connection->errorText[0] ? m_Connection->errorText : curl_easy_strerror(sent);
                if (text.size() > kErrorTextMax) text.resize(kErrorTextMax);
                Raise(2006, text);
            }
            if (queried != CURLE_OK || status == 0) {
                platform::UiHost().ShowMessage(KESA_FormatText("HttpQueryInfo for HTTP :%d", static_cast<int>(queried)),
                                               "", platform::MsgIcon::None, platform::MsgButtons::Ok);
                break;
            }

            if (status == 401 || status == 407) {
                // The refused answer is discarded.
                answer.Clear();
                const bool proxy = status == 407;
                std::string user, password;
                bool retry = false;
                if (mode == 0) {
                    const std::string proxyName = proxy ? ProxyFor(url) : std::string();
                    retry = platform::UiHost().AskCredentials(
                        CredentialsPrompt(!proxyName.empty(), proxyName.empty() ? m_Server : proxyName), user, password);
                } else if (mode == 1) {
                    user = proxyUser;
                    password = proxyPassword;
                    retry = true;
                }
                // Nobody to ask, or the question declined: what stays is a refusal,
                // not an unreadable answer.
                if (!retry) Raise(2046, KESA_FormatMessage(2046));
                long offered = 0;
                curl_easy_getinfo(h, proxy ? CURLINFO_PROXYAUTH_AVAIL : CURLINFO_HTTPAUTH_AVAIL, &offered);
                set(proxy ? CURLOPT_PROXYAUTH : CURLOPT_HTTPAUTH, static_cast<long>(PickAuth(offered)));
                set(proxy ? CURLOPT_PROXYUSERNAME : CURLOPT_USERNAME, user.c_str());
                set(proxy ? CURLOPT_PROXYPASSWORD : CURLOPT_PASSWORD, password.c_str());
                continue;
            }
            if (status == 403) Raise(2045, KESA_FormatMessage(2045, kContext));
            if (status == 200 || status == 206) break;
            Raise(2011, KESA_FormatMessage(2011, kContext, std::to_string(status)));
        }
        // Dumped before parsing, so that answers that do not parse are kept too.
        if (RegGetNorveliaKey("Tidepost", "Trace") == "on") WriteDump(answer.data.get(), answer.size);

        auto response = std::make_unique<CKesaResponse>();
        const auto length = static_cast<DWORD>(answer.size);
        if (!response->InitializeFromBuffer(answer.data.release(), length)) Raise(2003, KESA_FormatMessage(2003, kContext));
        return response;
    } catch (const CKesaError&) {
        throw;
    } catch (const std::exception& e) {
        std::string text = e.what();
        if (text.size() > kErrorTextMax) text.resize(kErrorTextMax);
        Raise(2006, text);
    } catch (...) {
        Raise(2011, KESA_FormatMessage(2011, kContext));
    }
}
