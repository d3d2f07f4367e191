// What the conduit sees of the server client: the channels found on the
// handheld, the user's credentials, the queries to the service and what the
// service answered, per channel and for the whole run.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/ChannelDatas.h"
#include "client/KesaRequest.h"
#include "client/KesaResponse.h"
#include "client/KesaSession.h"
#include "seam/Export.h"
#include "seam/Window.h"

class CPdbFile;

class NORV_EXPORT CFerrylink {
public:
    CFerrylink();
    virtual ~CFerrylink();
    CFerrylink(const CFerrylink&) = delete;
    CFerrylink& operator=(const CFerrylink&) = delete;

    // The yield function is accepted and not called.
    void Initialize(long (*yield)(unsigned short), std::string srcDir, std::string dstDir);
    // The directory has no effect: the service's trace names come from the user id.
    void ServerTraceEnable(bool enable, std::string traceDir);

    void SetUID(std::string uid) { m_UserId = std::move(uid); }
    std::string GetUID() const { return m_UserId; }
    void SetPWD(std::string pwd) { m_Password = std::move(pwd); }
    std::string GetPWD() const { return m_Password; }
    void SetKesaVers(std::string version) { m_KesaVers = std::move(version); }
    std::string GetNewKesaVers() const { return m_NewKesaVers; }
    std::string GetNorveliaFilepath() const { return m_NorveliaFilepath; }
    std::string GetUserPdbFilepath() const { return m_UserPdbFilepath; }
    bool HasNorveliaToInstall() const { return !m_NorveliaFilepath.empty(); }
    bool HasUserPdbToInstall() const { return !m_UserPdbFilepath.empty(); }

    // The process-wide window that SendIPCMsg talks to; every new client
    // forgets it.
    void SetIPC(HWND window);
    // 260 bytes to the IPC window, synchronously: the code (32-bit little
    // endian), then the text, cut to 255 bytes, with its zero byte.
    void SendIPCMsg(int code, std::string text);

    // The channel with this id (compared without regard to case), created
    // when there is none; never null.
    CChannelData* AddChannel(std::string id, _channelType type, bool inPCL);
    CChannelData* AddCatalog(std::string id, _channelType type, bool inPCL);
    // Serialises the database at once; the file stays the caller's.
    void AddList(std::string id, std::string listName, CPdbFile* pdb);
    // Reads <source directory>/<fileName>; raises 2007 or 2008.
    void AddList(std::string id, std::string listName, std::string fileName);
    void AddGameScore(std::string id, std::string gameName, std::string points);
    void AddGameScoreTimestamp(std::string id, std::string stamp);

    // 0 <= index < GetNbChannelsToProcess(); no range test.
    CChannelData* GetChannelData(int index) const;
    // Raises 2001 when there is no such channel.
    CChannelData* GetChannelData(std::string id) const;
    unsigned GetNbChannelsToProcess() const;
    int GetNbChannelsToInstall() const;
    int GetNbChannelsToDownload() const;
    // Processing is synchronous here: counts the successful channels.
    unsigned WaitAllChannelsProcessed() const;
    bool ChannelSucceeded(int index) const;

    // True when all `length` bytes were written to `path`.
    bool Buffer2File(const char* path, void* data, int length);

    bool SRVQRY_OpenSession(std::string url);
    void SRVQRY_CloseSession();
    // "DeclareChannels"; raises 2012, 2010, 2003 or 2007.
    void SRVQRY_DeclareCatalogs();
    // The channels of the last declaration that were not taken: new ones
    // beyond MaxNewChannels(), in the service's order.
    const std::vector<std::string>& GetChannelsLeftOut() const { return m_ChannelsLeftOut; }
    // Lists, game score and catalog of one channel; failures are stored in it.
    void SRVQRY_ProcessChannel(int index);
    // "StartGame"; raises 2050 on every failure.
    void SRVQRY_StartGame(std::string gameName, std::string stamp);

    // Told of each list the service accepted (a process date and no error),
    // as soon as its answer is read, on the thread of the query: the order is
    // placed from then on, whatever happens to the run.
    using ListAcceptedHandler = std::function<void(const std::string& channelId, const CSynchPdb& list)>;
    void SetListAcceptedHandler(ListAcceptedHandler handler) { m_ListAccepted = std::move(handler); }

protected:
    void ResetRequest();
    void ResetResponse();

private:
    class QueryScope;

    // Request arguments shared by every query.
    void NewRequest(const char* function);
    void AddTraceArg(const std::string& logName);
    // "Message" of the answer, else message 2003 with `context`.
    std::string AnswerError(const char* context) const;
    std::string DestinationPath(const std::string& name) const;

    void ProcessList(CChannelData& channel, int i);
    void ProcessGame(CChannelData& channel);
    void ProcessCatalog(CChannelData& channel);

    std::string m_NewKesaVers;
    std::string m_NorveliaFilepath;
    std::string m_KesaVers;
    CKesaSession m_Session;
    bool m_TraceEnabled = false;
    std::unique_ptr<CKesaResponse> m_Response;
    std::unique_ptr<CKesaRequest> m_Request;
    std::string m_Password;
    std::string m_UserId;
    std::string m_SrcDir;
    std::string m_DstDir;
    CChannelDatas m_Channels;
    std::string m_UserPdbFilepath;
    ListAcceptedHandler m_ListAccepted;
    std::vector<std::string> m_ChannelsLeftOut;

    // Every query shares the request, the response and the session.
    std::mutex m_QueryMutex;
};
