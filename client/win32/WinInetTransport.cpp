// The session's transport over WinInet: one internet handle per session, one
// connection handle per server (it keeps the credentials), one request handle
// per send. WinInet follows the redirects and answers the challenges it has
// credentials for by itself, sending the body again: so the body goes in one
// piece, read whole from the request (libcurl reads it piece by piece).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "client/HttpTransport.h"
#include "client/KesaBodyReader.h"
#include "client/win32/WinInetApi.h"
#include "seam/TransferAbort.h"
#include "settings/StallTimeout.h"

namespace ferrylink {
namespace {

constexpr std::uint32_t kConnectTimeoutMs = 30000;

namespace api = wininet;

struct InternetDeleter {
    void operator()(void* h) const { api::Close(h); }
};
using Handle = std::unique_ptr<void, InternetDeleter>;

// Ends a send from outside when no byte moved for the stall bound, when the
// query passes its overall bound or when the program stops: closing the
// request handle makes WinInet's blocked call return. (WinInet's own receive
// timeouts are set beyond it: Wine sends a request again when its receive
// timeout passes, which would count as bytes moving.)
class Watchdog {
public:
    Watchdog(std::uint64_t bodyLength, long stallSeconds) : m_Stall(std::chrono::seconds(stallSeconds))
    {
        m_Base = QueryBoundSeconds(0);
        m_Overall = m_Base + static_cast<long>(bodyLength / kQueryBytesPerSecond);
        m_Body = bodyLength;
        m_Start = std::chrono::steady_clock::now();
        Moved();
    }
    void Watch(api::Handle request)
    {
        m_Request = request;
        m_Thread = std::thread([this] { Run(); });
    }
    // Bytes went out or came in.
    void Moved() { m_Last = (std::chrono::steady_clock::now() - m_Start).count(); }
    static void OnMoved(void* self) { static_cast<Watchdog*>(self)->Moved(); }
    ~Watchdog() { Stop(); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // The answer's announced length lengthens the bound.
    void Announce(std::uint64_t answerLength)
    {
        m_Overall = m_Base + static_cast<long>((m_Body + answerLength) / kQueryBytesPerSecond);
    }
    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Stopping = true;
        }
        m_Wake.notify_all();
        if (m_Thread.joinable()) m_Thread.join();
    }
    HttpFailure Ended() const { return m_Ended; }
    long OverallSeconds() const { return m_Overall; }
    // True when the handle was closed here (the caller must not close it again).
    bool Closed() const { return m_Ended != HttpFailure::None; }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        while (!m_Stopping) {
            m_Wake.wait_for(lock, std::chrono::milliseconds(50));
            if (m_Stopping) break;
            HttpFailure ended = HttpFailure::None;
            if (platform::TransfersAborted())
                ended = HttpFailure::Aborted;
            else if (std::chrono::steady_clock::now() - m_Start >= std::chrono::seconds(m_Overall.load()))
                ended = HttpFailure::TooLong;
            else if (std::chrono::steady_clock::now() - m_Start - Clock::duration(m_Last.load()) >= m_Stall)
                ended = HttpFailure::Stalled;
            if (ended != HttpFailure::None) {
                m_Ended = ended;
                api::Close(m_Request);
                break;
            }
        }
    }

    using Clock = std::chrono::steady_clock;
    api::Handle m_Request = nullptr;
    Clock::duration m_Stall;
    std::atomic<Clock::rep> m_Last{0};
    long m_Base = 0;
    std::uint64_t m_Body = 0;
    std::atomic<long> m_Overall{0};
    std::atomic<HttpFailure> m_Ended{HttpFailure::None};
    std::chrono::steady_clock::time_point m_Start;
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    bool m_Stopping = false;
    std::thread m_Thread;
};

class WinInetTransport final : public IHttpTransport {
public:
    explicit WinInetTransport(api::Handle internet) : m_Internet(internet) {}

    void Prepare(const HttpTarget& target) override
    {
        // A new server: a new connection handle, and no credentials yet.
        if (!m_Connect || target.server != m_Target.server || target.port != m_Target.port) {
            m_Connect.reset(api::Connect(m_Internet.get(), target.server, target.port));
        }
        m_Target = target;
    }

    bool BeginSend(CKesaBodyReader& body, std::uint64_t length) override
    {
        m_Body = &body;
        m_BodyLength = length;
        body.Seek(0);
        return m_Connect != nullptr;
    }

    HttpResult Send() override
    {
        HttpResult result;
        if (!m_Connect) {
            result.failure = HttpFailure::Transport;
            result.errorText = api::ErrorText(api::LastError());
            return result;
        }
        Watchdog watch(m_BodyLength, m_Target.stallSeconds);
        api::Handle request =
            api::OpenPost(m_Connect.get(), m_Target.object, m_Target.tls, &Watchdog::OnMoved, &watch);
        if (!request) {
            result.failure = HttpFailure::Transport;
            result.errorText = api::ErrorText(api::LastError());
            return result;
        }
        const auto beyondMs = static_cast<std::uint32_t>((std::min<long>(m_Target.stallSeconds, 86400) + 30) * 1000);
        api::SetTimeouts(request, kConnectTimeoutMs, beyondMs, beyondMs);

        watch.Watch(request);
        const std::uint32_t error = Exchange(request, watch, result);
        watch.Stop();
        if (!watch.Closed()) api::Close(request);

        result.overallSeconds = watch.OverallSeconds();
        if (watch.Ended() != HttpFailure::None) {
            result.failure = watch.Ended();
        } else if (result.failure == HttpFailure::None && error != 0) {
            if (error == api::kTimeout)
                result.failure = HttpFailure::Stalled;
            else if (error == api::kHttpToHttpsOnRedirect || error == api::kHttpsToHttpOnRedirect)
                result.failure = HttpFailure::SchemeRedirect;
            else {
                result.failure = HttpFailure::Transport;
                result.errorText = api::ErrorText(error);
            }
        }
        if (result.failure != HttpFailure::None) {
            result.data.reset();
            result.size = 0;
        }
        return result;
    }

    void SetCredentials(bool proxy, const std::string& user, const std::string& password) override
    {
        if (m_Connect) api::SetCredentials(m_Connect.get(), proxy, user, password);
    }

    std::string ProxyFor(const std::string&) override { return api::Proxy(m_Internet.get()); }

private:
    // One send on `request`, with the answer read into `result`; the WinInet
    // error that ended it, or 0.
    std::uint32_t Exchange(api::Handle request, Watchdog& watch, HttpResult& result)
    {
        // The body goes in one piece: WinInet sends it again by itself when it
        // answers a challenge or follows a redirect that keeps the POST.
        std::unique_ptr<BYTE[]> body(new BYTE[m_BodyLength ? m_BodyLength : 1]);
        m_Body->Seek(0);
        for (std::uint64_t at = 0; at < m_BodyLength;) {
            const size_t n = m_Body->Read(body.get() + at, static_cast<size_t>(m_BodyLength - at));
            if (n == 0) break;
            at += n;
        }
        for (int resend = 0;; ++resend) {
            if (api::Send(request, body.get(), static_cast<std::uint32_t>(m_BodyLength))) break;
            const std::uint32_t error = api::LastError();
            if (error != api::kForceRetry || resend >= 3) return error;
        }

        std::uint32_t status = 0;
        if (!api::QueryStatus(request, status)) {
            result.queryError = static_cast<int>(api::LastError());
            return 0;
        }
        result.status = static_cast<long>(status);

        size_t capacity = 65536;
        std::uint32_t announced = 0;
        if (api::QueryContentLength(request, announced)) {
            if (announced > m_Target.maxAnswer) {
                result.failure = HttpFailure::TooLarge;
                return 0;
            }
            watch.Announce(announced);
            // An announced length is taken at its word (within the limit).
            capacity = std::max<size_t>(capacity, announced);
        }
        for (;;) {
            std::uint32_t available = 0;
            if (!api::Available(request, available)) return api::LastError();
            if (available == 0) break;
            if (available > m_Target.maxAnswer - result.size) {
                result.failure = HttpFailure::TooLarge;
                return 0;
            }
            if (result.size + available > capacity || !result.data) {
                while (capacity < result.size + available) capacity *= 2;
                auto* grown = static_cast<BYTE*>(std::realloc(result.data.get(), capacity));
                if (!grown) throw std::bad_alloc();
                (void)result.data.release();
                result.data.reset(grown);
            }
            std::uint32_t read = 0;
            if (!api::Read(request, result.data.get() + result.size, available, read)) return api::LastError();
            if (read == 0) break;
            result.size += read;
            watch.Moved();
        }
        return 0;
    }

    Handle m_Internet;
    Handle m_Connect;
    HttpTarget m_Target;
    CKesaBodyReader* m_Body = nullptr;
    std::uint64_t m_BodyLength = 0;
};

} // namespace

bool SplitUrl(const std::string& url, HttpUrlParts& out)
{
    api::UrlParts parts;
    if (!api::CrackUrl(url, parts) || parts.port == 0 || parts.server.empty()) return false;
    // The fragment stays on this side.
    std::string extra = parts.extra;
    if (const size_t hash = extra.find('#'); hash != std::string::npos) extra.resize(hash);
    out.server = parts.server;
    out.port = parts.port;
    out.object = (parts.path.empty() ? "/" : parts.path) + (extra == "?" ? "" : extra);
    return true;
}

std::unique_ptr<IHttpTransport> IHttpTransport::Create()
{
    api::Handle internet = api::Open("Ferrylink");
    if (!internet) return nullptr;
    return std::make_unique<WinInetTransport>(internet);
}

} // namespace ferrylink
