// Whole answers of the service, through the client's declaration and channel
// processing over a loopback connection. The input's first two bytes give the
// length of the declaration's answer; the rest answers every other query.
#include <cstdint>
#include <mutex>
#include <string>

#include "FuzzFiles.h"
#include "client/Ferrylink.h"
#include "quillio/KesaError.h"
#include "quillio/PdbFile.h"
#include "tests/common/LoopbackServer.h"
#include "winreg/WinReg.h"

namespace {

class LoopbackService {
public:
    LoopbackService()
    {
        m_Server.Routes().Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_Mutex);
            const bool declaration = req.body.find("DeclareChannels") != std::string::npos;
            res.set_content(declaration ? m_Declaration : m_Other, "application/octet-stream");
        });
        m_Server.Start();
    }
    void Answer(std::string declaration, std::string other)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Declaration = std::move(declaration);
        m_Other = std::move(other);
    }
    std::string Url() const { return m_Server.Url("/Tidepost/srv"); }

private:
    std::mutex m_Mutex;
    std::string m_Declaration, m_Other;
    LoopbackServer m_Server; // last: stopped before what its route uses
};

LoopbackService& Service()
{
    static LoopbackService service;
    return service;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    winreg::SetStorePath(FuzzDir() + "/registry.db");
    std::filesystem::create_directories(FuzzDir() + "/src");
    std::filesystem::create_directories(FuzzDir() + "/dst");
    Service();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const size_t split = std::min<size_t>(size - 2, size_t(data[0]) | size_t(data[1]) << 8);
    const char* text = reinterpret_cast<const char*>(data) + 2;
    Service().Answer(std::string(text, split), std::string(text + split, size - 2 - split));

    CFerrylink link;
    link.Initialize(nullptr, FuzzDir() + "/src", FuzzDir() + "/dst");
    CPdbFile list("Courses", "KESA", "LIST", 0, 1, 0, 0);
    link.AddList("C7", "Courses", &list);
    link.AddCatalog("C7", ChannelKeepType, true);
    if (!link.SRVQRY_OpenSession(Service().Url())) return 0;
    try {
        link.SRVQRY_DeclareCatalogs();
    } catch (const CKesaError&) {
        return 0;
    }
    const unsigned count = std::min(link.GetNbChannelsToProcess(), 4u);
    for (unsigned i = 0; i < count; ++i) {
        try {
            link.SRVQRY_ProcessChannel(int(i));
        } catch (const CKesaError&) {
        }
    }
    link.SRVQRY_CloseSession();
    return 0;
}
