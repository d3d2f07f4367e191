#include "client/KesaSession.h"

#include <cstdlib>
#include <new>

#include "client/HttpTransport.h"
#include "client/KesaBodyReader.h"
#include "lexmo/Lexmo.h"
#include "lexmo/TextOr.h"
#include "seam/Ui.h"
#include "quillio/KesaError.h"
#include "quillio/NorvFile.h"
#include "settings/HttpAuth.h"
#include "settings/RegGetNorveliaKey.h"
#include "settings/RegSettings.h"

using ferrylink::HttpFailure;

namespace {

constexpr const char* kContext = "CKesaSession::ProcessRequest";
// Error texts of the platform are cut to this many bytes.
constexpr size_t kErrorTextMax = 128;

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
    std::unique_ptr<ferrylink::IHttpTransport> transport;
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
    // A second Open replaces the connection instead of leaking it.
    Close();
    m_Url = url;

    ferrylink::HttpUrlParts parts;
    if (!ferrylink::SplitUrl(url, parts)) return false;
    auto connection = std::make_unique<Connection>();
    connection->transport = ferrylink::IHttpTransport::Create();
    if (!connection->transport) return false;

    m_Server = parts.server;
    m_Port = parts.port;
    m_Object = parts.object;
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

        ferrylink::IHttpTransport& transport = *m_Connection->transport;
        const std::string url = GetRequestUrl();
        transport.Prepare({url, m_Server, m_Port, m_ObjectPath, m_Port == 443, m_StallSeconds, kMaxAnswer});

        ferrylink::HttpResult answer;
        for (int attempts = 0;; ++attempts) {
            if (attempts > 5) Raise(2046, KESA_FormatMessage(2046));

            // A request that cannot be started is shown, and sent anyway.
            if (!transport.BeginSend(body, bodyLength)) {
                platform::UiHost().ShowMessage("Error !!!", "", platform::MsgIcon::None, platform::MsgButtons::Ok);
            }

            answer = transport.Send();
            const long status = answer.status;

            if (answer.failure == HttpFailure::TooLarge) Raise(2006, KESA_FormatMessage(2006, kContext));
            // A proxy may refuse and drop the connection at once: the challenge still counts.
            if (answer.failure != HttpFailure::None && status != 401 && status != 407) {
                std::string text;
                switch (answer.failure) {
                case HttpFailure::Stalled:
                    text = m_StallSeconds == 1
                               ? lexmo::TextOr(4640, "Operation timed out: no data received or sent for 1 second")
                               : lexmo::TextOr(4641, "Operation timed out: no data received or sent for %ld seconds",
                                               m_StallSeconds);
                    break;
                case HttpFailure::TooLong:
                    text = answer.overallSeconds == 1
                               ? lexmo::TextOr(4642, "Operation timed out: the query took more than 1 second")
                               : lexmo::TextOr(4643, "Operation timed out: the query took more than %ld seconds",
                                               answer.overallSeconds);
                    break;
                case HttpFailure::Aborted:
                    text = lexmo::TextOr(4644, "Operation abandoned: the program is stopping");
                    break;
                case HttpFailure::SchemeRedirect:
                    text = lexmo::TextOr(4645, "The server redirected the request to another scheme (http and https), "
                                               "which is not followed");
                    break;
                default:
                    text = answer.errorText;
                    break;
                }
                if (text.size() > kErrorTextMax) text.resize(kErrorTextMax);
                Raise(2006, text);
            }
            if (status == 0) {
                platform::UiHost().ShowMessage(KESA_FormatText("HttpQueryInfo for HTTP :%d", answer.queryError), "",
                                               platform::MsgIcon::None, platform::MsgButtons::Ok);
                break;
            }

            if (status == 401 || status == 407) {
                // The refused answer is discarded.
                answer.data.reset();
                answer.size = 0;
                const bool proxy = status == 407;
                std::string user, password;
                bool retry = false;
                if (mode == 0) {
                    const std::string proxyName = proxy ? transport.ProxyFor(url) : std::string();
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
                transport.SetCredentials(proxy, user, password);
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
