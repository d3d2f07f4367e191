// The settings of one HotSync user, whatever keeps them.
#pragma once
#include <string>

class CSettings {
public:
    virtual ~CSettings() = default;

    virtual std::string GetServerUrl() = 0;
    virtual void SetServerUrl(std::string url) = 0;
    virtual std::string GetLanguage() = 0;
    virtual void SetLanguage(std::string language) = 0;
    virtual std::string GetMsgDll() = 0;
    virtual void SetMsgDll(std::string msgDll) = 0;
    virtual std::string GetNorvVers() = 0;
    virtual void SetNorvVers(std::string version) = 0;
    virtual std::string GetUID() = 0;
    virtual void SetUID(std::string uid) = 0;
    virtual std::string GetPWD() = 0;
    virtual void SetPWD(std::string pwd) = 0;
    virtual std::string GetTrace() = 0;
    virtual void SetTrace(std::string trace) = 0;
    virtual void SetLastErrorCode(std::string code) = 0;
    virtual void DeletePWD() = 0;
    virtual std::string GetHotSyncPath() = 0;
};
