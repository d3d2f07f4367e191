// The connection probe over WinInet: the platform's own status callback,
// redirects and errors; challenges answered by mode as on Linux.
#include "settings/ConnectionProbe.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "lexmo/Lexmo.h"
#include "seam/TransferAbort.h"
#include "seam/Ui.h"
#include "settings/HttpAuth.h"
#include "settings/ProbeStatusLine.h"
#include "settings/ProbeText.h"
#include "settings/RegGetNorveliaKey.h"
#include "settings/StallTimeout.h"
#include "settings/win32/ProbeInet.h"

namespace inet = probe::wininet;

// The probe's internet session: one WinInet handle whose notifications
// become lines of the status window.
class CProbeSession {
public:
    CProbeSession(const char* agent, CConnectionProbe* probe)
        : m_Probe(probe), m_Internet(inet::Open(agent ? agent : "Norvelia", &OnStatus, this))
    {
    }
    ~CProbeSession() { inet::Close(m_Internet); }
    CProbeSession(const CProbeSession&) = delete;
    CProbeSession& operator=(const CProbeSession&) = delete;

    bool IsValid() const { return m_Internet != nullptr; }
    inet::Handle Internet() const { return m_Internet; }

    void OnStatusCallback(DWORD status, const void* information, DWORD length)
    {
        if (const auto line = ProbeStatusLine(status, information, length); line && m_Probe) m_Probe->Log(this, *line);
    }

    IProbeStatusWindow* m_StatusWindow = nullptr;

private:
    static void OnStatus(void* self, std::uint32_t status, const std::string& text, std::uint32_t result,
                         std::uint32_t error)
    {
        auto* s = static_cast<CProbeSession*>(self);
        if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
            const INTERNET_ASYNC_RESULT r{result, error};
            s->OnStatusCallback(status, &r, sizeof r);
        } else {
            s->OnStatusCallback(status, text.empty() ? nullptr : text.c_str(), DWORD(text.size()));
        }
    }

    CConnectionProbe* m_Probe;
    inet::Handle m_Internet;
};

namespace {

constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;

constexpr DWORD kConnectTimeoutMs = 30000;
using probe_text::Cut;
using probe_text::kErrorTextMax;
using probe_text::kLineMax;
using probe_text::kMaxAnswer;
using probe_text::kMaxSends;
using probe_text::kPiece;
using probe_text::Line;

struct HandleCloser {
    inet::Handle h = nullptr;
    ~HandleCloser() { inet::Close(h); }
};

// Ends a request at once when the program is stopping (SIGTERM): closing its
// handle makes WinInet's blocked call return, however silent or slow the
// server. The handle is then the watch's to have closed.
class StopWatch {
public:
    explicit StopWatch(HandleCloser& request) : m_Request(request)
    {
        m_Thread = std::thread([this] { Run(); });
    }
    ~StopWatch()
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Ending = true;
        }
        m_Wake.notify_all();
        m_Thread.join();
        if (m_Fired) m_Request.h = nullptr;
    }
    StopWatch(const StopWatch&) = delete;
    StopWatch& operator=(const StopWatch&) = delete;
    bool Fired() const { return m_Fired; }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        while (!m_Ending) {
            if (platform::TransfersAborted()) {
                m_Fired = true;
                inet::Close(m_Request.h);
                return;
            }
            m_Wake.wait_for(lock, std::chrono::milliseconds(50));
        }
    }

    HandleCloser& m_Request;
    std::atomic<bool> m_Fired{false};
    bool m_Ending = false;
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::thread m_Thread;
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
    auto session = std::make_unique<CProbeSession>(agent, this);
    if (!session->IsValid()) return false;
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
    const std::string target = url ? url : "";

    auto fail = [&](DWORD code, std::string text) {
        text = Cut(text, kErrorTextMax);
        ReportError(code, text);
        m_LastMessage = text;
        body.clear();
        return false;
    };

    inet::UrlParts parts;
    if (!inet::CrackUrl(target, parts)) return fail(ERROR_INTERNET_INVALID_URL, inet::ErrorText(inet::LastError()));
    if (!parts.http && !parts.https)
        return fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME, inet::ErrorText(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
    HandleCloser connect{inet::Connect(session->Internet(), parts.server, parts.port, session)};
    if (!connect.h) return fail(inet::LastError(), inet::ErrorText(inet::LastError()));
    const std::string proxy = inet::Proxy(session->Internet());

    std::string user, password;
    session->OnStatusCallback(INTERNET_STATUS_HANDLE_CREATED, nullptr, 0);
    unsigned long long total = 0;
    for (int sends = 1;; ++sends) {
        // Each probe makes its own request, and closes it when done.
        if (platform::TransfersAborted()) return fail(ERROR_INTERNET_OPERATION_CANCELLED, probe_text::Stopped());
        HandleCloser request{inet::OpenGet(connect.h, parts.object, parts.https, session)};
        if (!request.h) return fail(inet::LastError(), inet::ErrorText(inet::LastError()));
        const long stallMs = StallTimeoutSeconds() * 1000;
        inet::SetTimeouts(request.h, kConnectTimeoutMs, DWORD(stallMs));
        if (!user.empty() || !password.empty()) inet::SetCredentials(request.h, false, user, password);
        if (!m_ProxyUser.empty() && m_Mode == 1) inet::SetCredentials(request.h, true, m_ProxyUser, m_ProxyPassword);
        const StopWatch watch(request);
        auto failed = [&] {
            const DWORD error = inet::LastError();
            return watch.Fired() ? fail(ERROR_INTERNET_OPERATION_CANCELLED, probe_text::Stopped())
                                 : fail(error, inet::ErrorText(error));
        };

        if (!inet::Send(request.h)) return failed();
        std::uint32_t status = 0;
        if (watch.Fired()) return failed();
        if (!inet::QueryStatus(request.h, status)) {
            platform::UiHost().ShowMessage(
                KESA_FormatText("Failed to get HTTP query status code, Error:%d", int(inet::LastError())), "",
                platform::MsgIcon::None, platform::MsgButtons::Ok);
            break;
        }
        if (status == 200 || status == 206) {
            body.clear();
            total = 0;
            const auto start = std::chrono::steady_clock::now();
            char piece[kPiece];
            for (;;) {
                std::uint32_t got = 0;
                if (!inet::Read(request.h, piece, kPiece, got)) return failed();
                if (got == 0) break;
                if (got > kMaxAnswer - body.size())
                    return fail(ERROR_NOT_ENOUGH_MEMORY, "The answer is larger than 256 MiB");
                body.append(piece, got);
                total += got;
                const auto seconds =
                    std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
                if (seconds > 0)
                    Log(session, Line(2060, total, double(total) / 1024.0 / double(seconds)));
                else
                    Log(session, Line(2061, total));
            }
            // A read cut off by the stop may end as if the answer ended.
            if (watch.Fired()) return failed();
            break;
        }
        if (status == 401 || status == 407) {
            const bool byProxy = status == 407;
            bool again = false;
            if (sends < kMaxSends) {
                if (m_Mode == 0) {
                    const bool askedByProxy = byProxy && !proxy.empty();
                    again = platform::UiHost().AskCredentials(
                        CredentialsPrompt(askedByProxy, askedByProxy ? proxy : parts.server), user, password);
                } else if (m_Mode == 1) {
                    user = m_ProxyUser;
                    password = m_ProxyPassword;
                    again = true;
                }
            }
            if (again) continue;
            // Refused, declined, or no way to answer: the server was not reached.
            m_LastMessage = KESA_FormatMessage(2046);
            ReportError(status, m_LastMessage);
            return false;
        }
        if (status == 403) return fail(403, KESA_FormatMessage(2045, "HTTP_STATUS_FORBIDDEN"));
        if (status == 404) return fail(404, KESA_FormatMessage(2085, target));
        return fail(status, KESA_FormatMessage(2086, status));
    }
    Log(session, Line(2062, total));
    Log(session, Line(2063));
    return true;
}
