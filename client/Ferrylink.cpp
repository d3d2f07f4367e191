#include "client/Ferrylink.h"

#include <array>
#include <atomic>
#include <new>
#include <cstdlib>
#include <cstring>

#include "client/MallocBuffer.h"
#include "lexmo/Lexmo.h"
#include "quillio/KesaError.h"
#include "quillio/NorvFile.h"
#include "quillio/PdbFile.h"
#include "settings/ChannelBound.h"

using ferrylink::MallocBuffer;

namespace {

// One IPC window for the whole process, as the progress monitor is one.
std::atomic<HWND> g_IpcWindow{nullptr};

constexpr size_t kIpcPayload = 260;
constexpr size_t kIpcTextMax = 255;

// The service names received files; they must stay inside the destination
// directory: no separator, no "." or "..", no NUL byte, not empty.
bool IsPlainFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

} // namespace

// Holds the query lock and releases the request and the response on every
// way out of a query.
class CFerrylink::QueryScope {
public:
    explicit QueryScope(CFerrylink& owner) : m_Owner(owner), m_Lock(owner.m_QueryMutex)
    {
        m_Owner.ResetRequest();
        m_Owner.ResetResponse();
    }
    ~QueryScope()
    {
        m_Owner.ResetRequest();
        m_Owner.ResetResponse();
    }
    QueryScope(const QueryScope&) = delete;
    QueryScope& operator=(const QueryScope&) = delete;

private:
    CFerrylink& m_Owner;
    std::lock_guard<std::mutex> m_Lock;
};

CFerrylink::CFerrylink()
{
    g_IpcWindow.store(nullptr);
}

CFerrylink::~CFerrylink()
{
    ResetRequest();
    ResetResponse();
}

void CFerrylink::Initialize(long (*yield)(unsigned short), std::string srcDir, std::string dstDir)
{
    (void)yield;
    m_SrcDir = std::move(srcDir);
    m_DstDir = std::move(dstDir);
}

void CFerrylink::ServerTraceEnable(bool enable, std::string traceDir)
{
    (void)traceDir;
    m_TraceEnabled = enable;
}

void CFerrylink::SetIPC(HWND window)
{
    g_IpcWindow.store(window);
}

void CFerrylink::SendIPCMsg(int code, std::string text)
{
    const HWND window = g_IpcWindow.load();
    if (!window) return;
    std::array<BYTE, kIpcPayload> payload{};
    const auto word = static_cast<std::uint32_t>(code);
    for (int i = 0; i < 4; ++i) payload[size_t(i)] = BYTE(word >> (8 * i));
    const size_t n = text.size() < kIpcTextMax ? text.size() : kIpcTextMax;
    std::memcpy(payload.data() + 4, text.data(), n);
    payload[4 + n] = 0;
    COPYDATASTRUCT data;
    data.dwData = 0;
    data.cbData = DWORD(kIpcPayload);
    data.lpData = payload.data();
    platform::SendCopyData(window, 0, data);
}

CChannelData* CFerrylink::AddChannel(std::string id, _channelType type, bool inPCL)
{
    CChannelData* channel = nullptr;
    try {
        channel = m_Channels.GetAt(m_Channels.ChannelIndex(id));
    } catch (const CKesaError&) {
        auto created = std::make_unique<CChannelData>();
        created->SetChannelId(id);
        channel = m_Channels.Add(std::move(created));
    }
    if (inPCL) channel->SetInPCL(true);
    if (type != ChannelKeepType) channel->SetChannelType(type);
    return channel;
}

CChannelData* CFerrylink::AddCatalog(std::string id, _channelType type, bool inPCL)
{
    CChannelData* channel = AddChannel(std::move(id), type, inPCL);
    channel->SetPalmCatalogFound(true);
    return channel;
}

void CFerrylink::AddList(std::string id, std::string listName, CPdbFile* pdb)
{
    CChannelData* channel = AddChannel(std::move(id), ChannelList, true);
    channel->SetPalmListFound(true);
    BYTE* raw = nullptr;
    long size = pdb ? pdb->ConvertToBuffer(&raw) : 0;
    MallocBuffer bytes(raw);
    if (size < 0) size = 0;
    // The list database takes the bytes over.
    channel->AddListOrIODData(listName, listName + ".pdb", bytes.get(), DWORD(size), false);
    (void)bytes.release();
}

void CFerrylink::AddList(std::string id, std::string listName, std::string fileName)
{
    CChannelData* channel = AddChannel(std::move(id), ChannelList, true);
    const std::string path = m_SrcDir + "/" + fileName;
    CNorvFile file;
    // A directory opens here (not on Windows) but has no length: it is no file to send.
    const long length = CNorvFile::GetLength(path.c_str());
    if (length < 0 || !file.Open(path.c_str(), "rb"))
        CKesaError::Throw(2007, KESA_FormatMessage(2007, path, "CFerrylink::AddList"));
    MallocBuffer buffer(static_cast<BYTE*>(std::malloc(size_t(length) + 1)));
    if (!buffer) throw std::bad_alloc();
    const int read = length ? file.Read(buffer.get(), int(length)) : 0;
    if (read != int(length)) CKesaError::Throw(2008, KESA_FormatMessage(2008, path, "CFerrylink::AddList"));
    file.Close();
    channel->AddListOrIODData(listName, listName + ".pdb", buffer.get(), DWORD(length), false);
    (void)buffer.release();
    channel->SetPalmListFound(true);
}

void CFerrylink::AddGameScore(std::string id, std::string gameName, std::string points)
{
    CChannelData* channel = AddChannel(std::move(id), ChannelGame, true);
    channel->SetInPCL(true);
    channel->SetPalmListFound(true);
    channel->SetGameInfo(std::move(gameName), std::move(points));
}

void CFerrylink::AddGameScoreTimestamp(std::string id, std::string stamp)
{
    CChannelData* channel = AddChannel(std::move(id), ChannelGame, true);
    channel->SetInPCL(true);
    channel->SetPalmCatalogFound(true);
    channel->SetGameTimestamp(std::move(stamp));
}

CChannelData* CFerrylink::GetChannelData(int index) const
{
    return m_Channels.GetAt(index);
}

CChannelData* CFerrylink::GetChannelData(std::string id) const
{
    return m_Channels.GetAt(m_Channels.ChannelIndex(id));
}

unsigned CFerrylink::GetNbChannelsToProcess() const
{
    return unsigned(m_Channels.GetCount());
}

int CFerrylink::GetNbChannelsToInstall() const
{
    int n = 0;
    for (int i = 0; i < m_Channels.GetCount(); ++i)
        if (m_Channels.GetAt(i)->IsChannelToInstall()) ++n;
    return n;
}

int CFerrylink::GetNbChannelsToDownload() const
{
    int n = 0;
    for (int i = 0; i < m_Channels.GetCount(); ++i)
        if (m_Channels.GetAt(i)->IsChannelToDownload()) ++n;
    return n;
}

unsigned CFerrylink::WaitAllChannelsProcessed() const
{
    unsigned n = 0;
    for (int i = 0; i < m_Channels.GetCount(); ++i)
        if (m_Channels.GetAt(i)->IsSuccessful()) ++n;
    return n;
}

bool CFerrylink::ChannelSucceeded(int index) const
{
    return m_Channels.GetAt(index)->IsSuccessful();
}

bool CFerrylink::Buffer2File(const char* path, void* data, int length)
{
    CNorvFile file;
    if (!file.Open(path, "wb")) return false;
    const int written = length > 0 ? file.Write(data, length) : 0;
    // A write the system could not complete shows at close time too.
    const bool flushed = file.Flush();
    file.Close();
    return written == length && flushed;
}

bool CFerrylink::SRVQRY_OpenSession(std::string url)
{
    std::lock_guard<std::mutex> lock(m_QueryMutex);
    return m_Session.Open(std::move(url));
}

void CFerrylink::SRVQRY_CloseSession()
{
    std::lock_guard<std::mutex> lock(m_QueryMutex);
    m_Session.Close();
}

void CFerrylink::ResetRequest()
{
    m_Request.reset();
}

void CFerrylink::ResetResponse()
{
    m_Response.reset();
}

void CFerrylink::NewRequest(const char* function)
{
    ResetRequest();
    ResetResponse();
    m_Request = std::make_unique<CKesaRequest>();
    m_Request->AddArg("function", function);
}

void CFerrylink::AddTraceArg(const std::string& logName)
{
    // A name on the service's side: it keeps the backslash.
    if (m_TraceEnabled) m_Request->AddArg("tracefile", m_UserId + "\\" + logName);
}

std::string CFerrylink::AnswerError(const char* context) const
{
    if (m_Response) {
        if (const CKesaHttpArg* message = m_Response->FindArg("Message")) return message->GetValue();
    }
    return KESA_FormatMessage(2003, context);
}

std::string CFerrylink::DestinationPath(const std::string& name) const
{
    return m_DstDir + "/" + name;
}

void CFerrylink::SRVQRY_DeclareCatalogs()
{
    QueryScope scope(*this);

    std::string ids;
    for (int i = 0; i < m_Channels.GetCount(); ++i) {
        const CChannelData* channel = m_Channels.GetAt(i);
        if (!channel->IsPalmCatalogFound() || !channel->IsPalmListFound()) continue;
        if (!ids.empty()) ids += ";";
        ids += channel->GetChannelId();
    }

    NewRequest("DeclareChannels");
    m_Request->AddArg("UID", m_UserId);
    m_Request->AddArg("PWD", m_Password);
    m_Request->AddArg("CIDList", ids);
    m_Request->AddArg("NorvVers", m_KesaVers);
    AddTraceArg("DeclareChannels.log");

    try {
        m_Response = m_Session.ProcessRequest(m_Request.get());
    } catch (const CKesaError& e) {
        CKesaError::Throw(2012, KESA_FormatMessage(2012, e.Argument()));
    } catch (...) {
        CKesaError::Throw(2012, KESA_FormatMessage(2012, "system error"));
    }
    ResetRequest();

    const CKesaHttpArg* cdl = m_Response->FindArg("CDL");
    if (!cdl) {
        if (const CKesaHttpArg* message = m_Response->FindArg("Message"))
            CKesaError::Throw(2010, KESA_FormatMessage(2010, message->GetValue()));
        CKesaError::Throw(2003, KESA_FormatMessage(2003, "SRVQRY_DeclareCatalogs -> CDL"));
    }

    // Runs of separators, and separators at either end, give no channel.
    const std::string list = cdl->GetValue();
    const long newBound = MaxNewChannels();
    long added = 0;
    m_ChannelsLeftOut.clear();
    size_t at = 0;
    while (true) {
        at = list.find_first_not_of(';', at);
        if (at == std::string::npos) break;
        size_t end = list.find(';', at);
        if (end == std::string::npos) end = list.size();
        std::string id = list.substr(at, end - at);
        at = end;
        bool isNew = false;
        try {
            m_Channels.ChannelIndex(id);
        } catch (const CKesaError&) {
            isNew = true;
        }
        if (isNew && added >= newBound) {
            m_ChannelsLeftOut.push_back(std::move(id));
            continue;
        }
        AddChannel(std::move(id), ChannelKeepType, false)->SetInCDL(true);
        if (isNew) ++added;
    }

    m_NorveliaFilepath.clear();
    if (const CKesaHttpArg* version = m_Response->FindArg("ReceiveVersion")) {
        m_NewKesaVers = version->GetValue();
        if (!m_NewKesaVers.empty()) {
            // Without the application file nothing is written.
            if (CKesaHttpArg* prc = m_Response->FindArg("NorveliaPrc")) {
                const std::string path = DestinationPath("norvelia.prc");
                if (!Buffer2File(path.c_str(), prc->GetData(), int(prc->GetLength())))
                    CKesaError::Throw(2007, KESA_FormatMessage(2007, path, ""));
                m_NorveliaFilepath = path;
            }
        }
    }

    if (CKesaHttpArg* user = m_Response->FindArg("UserPdb")) {
        const std::string path = DestinationPath("USERCTX.pdb");
        if (!Buffer2File(path.c_str(), user->GetData(), int(user->GetLength())))
            CKesaError::Throw(2007, KESA_FormatMessage(2007, path, ""));
        m_UserPdbFilepath = path;
    }
}

void CFerrylink::SRVQRY_ProcessChannel(int index)
{
    QueryScope scope(*this);
    CChannelData& channel = *m_Channels.GetAt(index);

    if (channel.GetChannelType() == ChannelList) {
        for (int i = 0; i < channel.GetNbListPdbs(); ++i) ProcessList(channel, i);
    } else if (channel.GetChannelType() == ChannelGame) {
        ProcessGame(channel);
    }
    if (channel.IsInCDL()) ProcessCatalog(channel);
}

void CFerrylink::ProcessList(CChannelData& channel, int i)
{
    CSynchPdb* pdb = channel.GetNthListPdb(i);
    const std::string id = channel.GetChannelId();

    NewRequest("ProcessList");
    m_Request->AddArg("UID", m_UserId);
    m_Request->AddArg("PWD", m_Password);
    m_Request->AddArg("CID", id);
    m_Request->AddFileArg("IODBinData", pdb->GetFileName(), pdb->GetData(), pdb->GetLength());
    AddTraceArg(KESA_FormatText("ProcessList_%s_%d.log", id, i));

    try {
        m_Response = m_Session.ProcessRequest(m_Request.get());
    } catch (const CKesaError& e) {
        ResetRequest();
        pdb->SetError(KESA_FormatMessage(2013, pdb->GetFileName(), id, e.Argument()));
        pdb->SetReason(e.Argument());
        pdb->SetUnanswered(true);
        return;
    }
    ResetRequest();

    const CKesaHttpArg* date = m_Response->FindArg("ProcessDate");
    if (date && !date->GetValue().empty()) {
        pdb->SetProcessDate(date->GetValue());
        if (m_ListAccepted && !pdb->HasError()) m_ListAccepted(id, *pdb);
    } else {
        const std::string error = AnswerError("SRVQRY_ProcessChannel/ProcessList");
        pdb->SetError(KESA_FormatMessage(2013, pdb->GetFileName(), id, error));
        pdb->SetReason(error);
        // Only a message refuses the order; an answer without one may come
        // from a service that recorded it.
        pdb->SetUnanswered(!m_Response || m_Response->FindArg("Message") == nullptr);
    }
    ResetResponse();
}

void CFerrylink::ProcessGame(CChannelData& channel)
{
    const std::string id = channel.GetChannelId();

    NewRequest("ProcessGame");
    m_Request->AddArg("UID", m_UserId);
    m_Request->AddArg("Game", channel.GetGameName());
    m_Request->AddArg("Points", channel.GetGamePoints());
    m_Request->AddArg("Stamp", channel.GetGameTimeStamp());
    AddTraceArg(KESA_FormatText("ProcessGame_%s.log", id));

    try {
        m_Response = m_Session.ProcessRequest(m_Request.get());
    } catch (const CKesaError& e) {
        ResetRequest();
        channel.SetGameError(KESA_FormatMessage(2050, id, e.Argument()));
        return;
    }
    ResetRequest();

    if (!m_Response->FindArg("Notification")) {
        const std::string error = AnswerError("SRVQRY_ProcessChannel/ProcessGame");
        channel.SetGameError(KESA_FormatMessage(2050, id, error));
    }
    ResetResponse();
}

void CFerrylink::ProcessCatalog(CChannelData& channel)
{
    const std::string id = channel.GetChannelId();

    NewRequest("GetUpToDateCatalog");
    m_Request->AddArg("UID", m_UserId);
    m_Request->AddArg("CID", id);
    const bool listInPCL = channel.IsInPCL() && channel.GetChannelType() == ChannelList;
    m_Request->AddArg("DefListRequested", listInPCL ? "no" : "yes");
    AddTraceArg(KESA_FormatText("GetUpToDateCatalog_%s.log", id));

    try {
        m_Response = m_Session.ProcessRequest(m_Request.get());
    } catch (const CKesaError& e) {
        ResetRequest();
        channel.SetCatalogError(KESA_FormatMessage(2014, id, e.Argument(), e.Number()));
        return;
    }
    ResetRequest();

    CKesaHttpArg* catalog = m_Response->FindArg("CatalogBinData");
    if (!catalog) {
        const std::string error = AnswerError("SRVQRY_ProcessChannel");
        channel.SetCatalogError(KESA_FormatMessage(2014, id, error, "000"));
        ResetResponse();
        return;
    }

    // Writes one received file. A name that would leave the destination
    // directory is refused like a file that cannot be written, and then no
    // path is recorded, so that nothing outside gets installed.
    auto store = [&](CKesaHttpArg* arg, void (CChannelData::*setPath)(std::string), int failure) {
        const std::string name = arg->GetValue();
        const std::string path = DestinationPath(name);
        if (!IsPlainFileName(name)) {
            channel.SetCatalogError(KESA_FormatMessage(failure, path, id, ""));
            return false;
        }
        (channel.*setPath)(path);
        if (!Buffer2File(path.c_str(), arg->GetData(), int(arg->GetLength()))) {
            channel.SetCatalogError(KESA_FormatMessage(failure, path, id, ""));
            return false;
        }
        return true;
    };

    if (!store(catalog, &CChannelData::SetNewCatalogPdbFilepath, 2015)) return ResetResponse();
    if (CKesaHttpArg* def = m_Response->FindArg("DefListBinData")) {
        if (!store(def, &CChannelData::SetDefListPdbFilepath, 2016)) return ResetResponse();
    }
    if (CKesaHttpArg* ref = m_Response->FindArg("RefListBinData")) {
        if (!store(ref, &CChannelData::SetRefListPdbFilepath, 2016)) return ResetResponse();
    }
    ResetResponse();
}

void CFerrylink::SRVQRY_StartGame(std::string gameName, std::string stamp)
{
    QueryScope scope(*this);

    NewRequest("StartGame");
    m_Request->AddArg("UID", m_UserId);
    m_Request->AddArg("Game", gameName);
    m_Request->AddArg("Stamp", stamp);
    AddTraceArg(KESA_FormatText("StartGame_%s.log", gameName));

    try {
        m_Response = m_Session.ProcessRequest(m_Request.get());
    } catch (const CKesaError& e) {
        CKesaError::Throw(2050, KESA_FormatMessage(2050, gameName, e.Argument()));
    } catch (...) {
        CKesaError::Throw(2050, KESA_FormatMessage(2050, gameName, "system error"));
    }
    ResetRequest();

    if (!m_Response->FindArg("Notification")) {
        const std::string error = AnswerError("SRVQRY_ProcessChannel/ProcessGame");
        ResetResponse();
        CKesaError::Throw(2050, KESA_FormatMessage(2050, gameName, error));
    }
}
