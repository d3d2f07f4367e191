// The session's transport over libcurl: one easy handle per session, kept
// across queries so that the connection and the credentials stay.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "client/HttpTransport.h"
#include "client/KesaBodyReader.h"
#include "seam/TransferAbort.h"
#include "settings/CurlFailureText.h"
#include "settings/HttpAuth.h"
#include "settings/Redirects.h"
#include "settings/StallTimeout.h"

namespace ferrylink {
namespace {

constexpr long kConnectTimeout = 30;

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

// One URL part; false when the URL has none.
bool UrlPart(CURLU* url, CURLUPart part, unsigned flags, std::string& out)
{
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, flags) != CURLUE_OK) return false;
    std::unique_ptr<char, CurlTextDeleter> text(raw);
    out = text ? text.get() : "";
    return true;
}

// The answer, in one growing buffer of the C heap.
struct Answer {
    CURL* handle = nullptr;
    size_t maxAnswer = 0;
    MallocBuffer data;
    size_t size = 0;
    size_t capacity = 0;
    bool tooLarge = false;

    static size_t Write(char* bytes, size_t one, size_t count, void* self)
    {
        auto* a = static_cast<Answer*>(self);
        const size_t n = one * count;
        if (n > a->maxAnswer - a->size) {
            a->tooLarge = true;
            return 0; // aborts the transfer
        }
        if (a->size + n > a->capacity) {
            size_t capacity = a->capacity ? a->capacity : 65536;
            // An announced length is taken at its word (within the limit): one
            // allocation, no copy as the answer grows.
            curl_off_t announced = -1;
            if (a->size == 0 && curl_easy_getinfo(a->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
                announced > 0 && static_cast<size_t>(announced) <= a->maxAnswer) {
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

// Watches a transfer: it fails when no byte moved, either way, for `limit`
// (however slowly bytes come, a transfer that keeps moving goes on), when it
// went on longer than its overall bound, or when the program was asked to stop.
struct StallWatch {
    std::chrono::steady_clock::duration limit{};
    std::chrono::steady_clock::time_point last;
    std::chrono::steady_clock::time_point start;
    curl_off_t moved = -1;
    HttpFailure ended = HttpFailure::None;
    long baseSeconds = 0;
    long overallSeconds = 0;

    void Start()
    {
        start = last = std::chrono::steady_clock::now();
        moved = -1;
        ended = HttpFailure::None;
        baseSeconds = overallSeconds = QueryBoundSeconds(0);
    }

    static int Progress(void* self, curl_off_t dltotal, curl_off_t downloaded, curl_off_t ultotal,
                        curl_off_t uploaded)
    {
        auto* w = static_cast<StallWatch*>(self);
        if (platform::TransfersAborted()) {
            w->ended = HttpFailure::Aborted;
            return 1;
        }
        const auto now = std::chrono::steady_clock::now();
        // The sizes are announced as the transfer goes on (the answer's length
        // arrives with its headers).
        const auto announced = static_cast<std::uint64_t>(std::max<curl_off_t>(dltotal, 0)) +
                               static_cast<std::uint64_t>(std::max<curl_off_t>(ultotal, 0));
        w->overallSeconds = w->baseSeconds + static_cast<long>(announced / kQueryBytesPerSecond);
        if (now - w->start >= std::chrono::seconds(w->overallSeconds)) {
            w->ended = HttpFailure::TooLong;
            return 1;
        }
        if (downloaded + uploaded != w->moved) {
            w->moved = downloaded + uploaded;
            w->last = now;
            return 0;
        }
        if (now - w->last < w->limit) return 0;
        w->ended = HttpFailure::Stalled;
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

class CurlTransport final : public IHttpTransport {
public:
    explicit CurlTransport(CURL* easy) : m_Easy(easy)
    {
        // Whatever scheme a challenge offers; the retry answers with the one picked from it, and the
        // connection's later requests carry those credentials at once.
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
    }

    void Prepare(const HttpTarget& target) override
    {
        CURL* h = m_Easy.get();
        m_Setup = CURLE_OK;
        m_Target = target;
        m_Answer = Answer{};
        m_Answer.handle = h;
        m_Answer.maxAnswer = target.maxAnswer;

        // What libcurl adds unasked: a form Content-Type, "Expect: 100-continue", an Accept list.
        std::unique_ptr<curl_slist, SlistDeleter> headers;
        for (const char* line : {"Expect:", "Content-Type:", "Accept:"}) {
            curl_slist* grown = curl_slist_append(headers.get(), line);
            if (!grown) throw std::bad_alloc();
            (void)headers.release();
            headers.reset(grown);
        }
        m_Headers = std::move(headers);

        Set(CURLOPT_URL, m_Target.url.c_str());
        Set(CURLOPT_PROTOCOLS_STR, "http,https");
        Set(CURLOPT_NOSIGNAL, 1L);
        Set(CURLOPT_POST, 1L);
        Set(CURLOPT_HTTPHEADER, m_Headers.get());
        FollowRedirects(h, m_Target.url);
        Set(CURLOPT_ERRORBUFFER, m_ErrorText);
        Set(CURLOPT_WRITEFUNCTION, &Answer::Write);
        Set(CURLOPT_WRITEDATA, &m_Answer);
        Set(CURLOPT_CONNECTTIMEOUT, kConnectTimeout);
        m_Stall = StallWatch{};
        m_Stall.limit = std::chrono::seconds(target.stallSeconds);
        Set(CURLOPT_NOPROGRESS, 0L);
        Set(CURLOPT_XFERINFOFUNCTION, &StallWatch::Progress);
        Set(CURLOPT_XFERINFODATA, &m_Stall);
        Set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(target.maxAnswer));
        Set(CURLOPT_SSL_VERIFYPEER, 1L);
        Set(CURLOPT_SSL_VERIFYHOST, 2L);
        // A test may name its own certificate authority; verification stays on.
        if (const char* bundle = std::getenv("CURL_CA_BUNDLE"); bundle && *bundle) Set(CURLOPT_CAINFO, bundle);
    }

    bool BeginSend(CKesaBodyReader& body, std::uint64_t length) override
    {
        CURL* h = m_Easy.get();
        body.Seek(0);
        return m_Setup == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr)) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_READFUNCTION, &ReadBody) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_READDATA, &body) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, &SeekBody) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_SEEKDATA, &body) == CURLE_OK &&
               curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length)) == CURLE_OK;
    }

    HttpResult Send() override
    {
        CURL* h = m_Easy.get();
        m_Answer.size = 0;
        m_Answer.tooLarge = false;
        m_Stall.Start();
        m_ErrorText[0] = 0;
        const CURLcode sent = curl_easy_perform(h);

        HttpResult result;
        const CURLcode queried = curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.status);
        if (queried == CURLE_OK && result.status == 0) {
            // Through a proxy, an HTTPS request's refusal is the CONNECT's answer.
            long connect = 0;
            curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &connect);
            if (connect == 401 || connect == 407) result.status = connect;
        }
        if (queried != CURLE_OK) result.status = 0;
        result.queryError = static_cast<int>(queried);
        result.overallSeconds = m_Stall.overallSeconds;

        if (m_Answer.tooLarge || sent == CURLE_FILESIZE_EXCEEDED)
            result.failure = HttpFailure::TooLarge;
        else if (sent == CURLE_OK)
            result.failure = HttpFailure::None;
        else if (m_Stall.ended != HttpFailure::None)
            result.failure = m_Stall.ended;
        else if (sent == CURLE_UNSUPPORTED_PROTOCOL && IsRedirect(result.status))
            result.failure = HttpFailure::SchemeRedirect;
        else {
            result.failure = HttpFailure::Transport;
            result.errorText = CurlFailureText(sent, PeerName(m_Easy.get(), m_Target.server, m_Target.port),
                                               m_ErrorText[0] ? m_ErrorText : curl_easy_strerror(sent));
        }
        result.size = m_Answer.size;
        result.data = std::move(m_Answer.data);
        m_Answer.capacity = 0;
        return result;
    }

    void SetCredentials(bool proxy, const std::string& user, const std::string& password) override
    {
        long offered = 0;
        curl_easy_getinfo(m_Easy.get(), proxy ? CURLINFO_PROXYAUTH_AVAIL : CURLINFO_HTTPAUTH_AVAIL, &offered);
        Set(proxy ? CURLOPT_PROXYAUTH : CURLOPT_HTTPAUTH, static_cast<long>(PickAuth(offered)));
        Set(proxy ? CURLOPT_PROXYUSERNAME : CURLOPT_USERNAME, user.c_str());
        Set(proxy ? CURLOPT_PROXYPASSWORD : CURLOPT_PASSWORD, password.c_str());
    }

    std::string ProxyFor(const std::string& url) override { return ::ProxyFor(url); }

private:
    // The first option libcurl refuses is remembered: the send reports it.
    template <typename T> void Set(CURLoption option, T value)
    {
        const CURLcode rc = curl_easy_setopt(m_Easy.get(), option, value);
        if (rc != CURLE_OK && m_Setup == CURLE_OK) m_Setup = rc;
    }

    std::unique_ptr<CURL, EasyDeleter> m_Easy;
    std::unique_ptr<curl_slist, SlistDeleter> m_Headers;
    HttpTarget m_Target;
    Answer m_Answer;
    StallWatch m_Stall;
    CURLcode m_Setup = CURLE_OK;
    char m_ErrorText[CURL_ERROR_SIZE] = {};
};

} // namespace

bool SplitUrl(const std::string& url, HttpUrlParts& out)
{
    GlobalInit();
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
    out.server = server;
    out.port = static_cast<WORD>(portNumber);
    out.object = path;
    return true;
}

std::unique_ptr<IHttpTransport> IHttpTransport::Create()
{
    GlobalInit();
    CURL* easy = curl_easy_init();
    if (!easy) return nullptr;
    return std::make_unique<CurlTransport>(easy);
}

} // namespace ferrylink
