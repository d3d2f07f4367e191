// The connection page's choice as stored: the mode (0 the system's own
// settings, 1 the proxy credentials) and the proxy user and password, with
// the rules that enable Valider and the save itself.
#pragma once
#include <string>

class TConnectionChoice {
public:
    // Reads Mode, ProxyUser and ProxyPassword; false when the product key does
    // not open (mode 0, and the page's fields stay as they are).
    bool Read();

    int Mode() const { return m_Mode; }
    const std::string& ProxyUser() const { return m_ProxyUser; }
    const std::string& ProxyPassword() const { return m_ProxyPassword; }

    // Whether Valider is enabled after each event of the page (fields as typed).
    // Choosing the default is a change when the proxy is stored.
    bool DefaultChosen() const { return m_Mode != 0; }
    // Choosing the proxy again with the stored user and password is none.
    bool ProxyChosen(const std::string& login, const std::string& password) const;
    static bool FieldsChanged(const std::string& login, const std::string& password);

    // Valider: the default mode (the proxy values stay), or the proxy mode
    // with the two fields as typed. kMsgSaved, and the stored copy follows;
    // else kMsgEnterProxyUser, kMsgEnterProxyPassword (also for a text the
    // 256-byte value cannot hold) or kMsgCannotSave.
    int Save(bool proxy, const std::string& login, const std::string& password);

private:
    int m_Mode = 0;
    std::string m_ProxyUser;
    std::string m_ProxyPassword;
};
