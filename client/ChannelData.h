// What the client knows of one channel: what each side holds, the list
// databases to send, the files received and the errors met.
#pragma once
#include <string>

#include "client/BinDataList.h"
#include "client/ChannelType.h"
#include "client/SynchPdb.h"

class NORV_EXPORT CChannelData {
public:
    CChannelData();
    virtual ~CChannelData();
    CChannelData(const CChannelData&) = delete;
    CChannelData& operator=(const CChannelData&) = delete;

    void SetChannelId(std::string id) { m_ChannelId = std::move(id); }
    std::string GetChannelId() const { return m_ChannelId; }
    void SetChannelType(_channelType type) { m_ChannelType = type; }
    _channelType GetChannelType() const { return m_ChannelType; }
    void SetInCDL(bool in) { m_InCDL = in; }
    bool IsInCDL() const { return m_InCDL; }
    void SetInPCL(bool in) { m_InPCL = in; }
    bool IsInPCL() const { return m_InPCL; }
    void SetPalmCatalogFound(bool found) { m_PalmCatalogFound = found; }
    bool IsPalmCatalogFound() const { return m_PalmCatalogFound; }
    void SetPalmListFound(bool found) { m_PalmListFound = found; }
    bool IsPalmListFound() const { return m_PalmListFound; }
    void SetNewCatalogPdbFilepath(std::string path) { m_NewCatalogPath = std::move(path); }
    std::string GetNewCatalogPdbFilepath() const { return m_NewCatalogPath; }
    void SetDefListPdbFilepath(std::string path) { m_DefListPath = std::move(path); }
    std::string GetDefListPdbFilepath() const { return m_DefListPath; }
    void SetRefListPdbFilepath(std::string path) { m_RefListPath = std::move(path); }
    std::string GetRefListPdbFilepath() const { return m_RefListPath; }
    void SetCatalogError(std::string error) { m_CatalogError = std::move(error); }
    std::string GetCatalogErrorMessage() const { return m_CatalogError; }
    void SetGameError(std::string error) { m_GameError = std::move(error); }
    std::string GetGameErrorMessage() const { return m_GameError; }
    std::string GetGameName() const { return m_GameName; }
    std::string GetGamePoints() const { return m_GamePoints; }
    std::string GetGameTimeStamp() const { return m_GameTimestamp; }

    // Game name and score; the channel becomes a game channel.
    void SetGameInfo(std::string name, std::string points);
    // Game time stamp; the channel becomes a game channel.
    void SetGameTimestamp(std::string stamp);

    // Appends a list database that owns its bytes from then on (released
    // with free); with copy the bytes are copied first.
    CSynchPdb* AddListOrIODData(std::string pdbName, std::string fileName, BYTE* data, DWORD length, bool copy);
    int GetNbListPdbs() const { return m_ListPdbs.GetCount(); }
    // Raises 2005 when n is out of range.
    CSynchPdb* GetNthListPdb(int n) const;
    // First list database whose name matches exactly (case matters), or null.
    CSynchPdb* FindListOrIODByName(const std::string& name) const;

    bool HasCatalogError() const { return !m_CatalogError.empty(); }
    bool HasGameError() const { return !m_GameError.empty(); }
    bool HasNewCatalog() const { return !m_NewCatalogPath.empty(); }
    bool HasDefList() const { return !m_DefListPath.empty(); }
    bool HasRefList() const { return !m_RefListPath.empty(); }
    // No catalog error and no list database in error; the game error does not count.
    bool IsSuccessful() const;
    bool IsChannelToDownload() const { return m_InCDL || GetNbListPdbs() > 0; }
    bool IsChannelToInstall() const { return HasNewCatalog(); }
    // Every error, each followed by a line feed: lists, catalog, game.
    std::string GetErrorMessageList() const;

    // Channels keep no address-zone records.
    int GetNbAdrZoneRecords() const { return 0; }
    bool GetNthAdrZoneRecordInfo(std::string&, std::string&) const { return false; }
    int AddAdrZoneRecord(const std::string&, const std::string&) { return -1; }

private:
    bool m_PalmListFound = false;
    std::string m_GameError;
    bool m_PalmCatalogFound = false;
    _channelType m_ChannelType = ChannelCatalog;
    std::string m_CatalogError;
    std::string m_ChannelId;
    bool m_InCDL = false;
    bool m_InPCL = false;
    CBinDataList m_ListPdbs;
    std::string m_NewCatalogPath;
    std::string m_DefListPath;
    std::string m_RefListPath;
    std::string m_GameName;
    std::string m_GamePoints;
    std::string m_GameTimestamp;
};
