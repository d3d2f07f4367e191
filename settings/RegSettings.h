// Settings of one HotSync user and product, read from and written to the
// registry layout under HKEY_LOCAL_MACHINE\Software\Norvelia\<product>.
// Failures are silent: reads give an empty text, writes do nothing, and no key
// is ever created.
#pragma once
#include <string>

#include "settings/Settings.h"

class CRegSettings : public CSettings {
public:
    CRegSettings() = default;

    // Fills the key paths and reads the user's current server and its URL.
    // An empty user leaves only the product values usable.
    void Init(std::string user, std::string product);

    std::string GetServerUrl() override;
    void SetServerUrl(std::string url) override;
    std::string GetLanguage() override;
    void SetLanguage(std::string language) override;
    std::string GetMsgDll() override;
    void SetMsgDll(std::string msgDll) override;
    std::string GetNorvVers() override;
    void SetNorvVers(std::string version) override;
    std::string GetUID() override;
    void SetUID(std::string uid) override;
    std::string GetPWD() override;
    void SetPWD(std::string pwd) override;
    std::string GetTrace() override;
    void SetTrace(std::string trace) override;
    // Under HKEY_CURRENT_USER; written only while that product key exists.
    void SetLastErrorCode(std::string code) override;
    // Deletes PWD of the user-server key under HKEY_CURRENT_USER, then HKEY_LOCAL_MACHINE.
    void DeletePWD() override;
    // The HotSync Manager's directory with its trailing separator, or "*NODEF*".
    std::string GetHotSyncPath() override;

    std::string ReadProductValue(const std::string& name) const;
    std::string ReadUserServerValue(const std::string& name) const;
    void WriteProductValue(const std::string& name, const std::string& text) const;
    void WriteUserServerValue(const std::string& name, const std::string& text) const;

    const std::string& UserName() const { return m_UserName; }
    const std::string& ServersKey() const { return m_ServersKey; }
    const std::string& ProductKey() const { return m_ProductKey; }
    const std::string& UserServerKey() const { return m_UserServerKey; }
    const std::string& CurrentServer() const { return m_CurrentServer; }

private:
    std::string m_UserName;
    std::string m_ServersKey;
    std::string m_ProductKey;
    std::string m_UserServerKey;
    std::string m_CurrentServer;
    std::string m_ServerUrl;
};
