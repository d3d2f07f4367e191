#include "password/ConnectionChoice.h"

#include "password/PasswordActions.h"
#include "password/PasswordRegistry.h"

bool TConnectionChoice::Read()
{
    const ConnectionSettings s = ReadConnectionSettings();
    m_Mode = 0;
    if (!s.keyOpened) return false;
    m_Mode = s.mode;
    m_ProxyUser = s.proxyUser;
    m_ProxyPassword = s.proxyPassword;
    return true;
}

bool TConnectionChoice::ProxyChosen(const std::string& login, const std::string& password) const
{
    if (m_Mode != 0 && Trim(login) == Trim(m_ProxyUser) && Trim(password) == Trim(m_ProxyPassword)) return false;
    return FieldsChanged(login, password);
}

bool TConnectionChoice::FieldsChanged(const std::string& login, const std::string& password)
{
    return !Trim(login).empty() && !Trim(password).empty();
}

int TConnectionChoice::Save(bool proxy, const std::string& login, const std::string& password)
{
    if (!proxy) {
        if (!WriteConnectionMode(0)) return kMsgCannotSave;
        m_Mode = 0;
        return kMsgSaved;
    }
    // A text the 256-byte value cannot hold is refused rather than cut.
    if (Trim(login).empty() || !FitsConnectionValue(login)) return kMsgEnterProxyUser;
    if (Trim(password).empty() || !FitsConnectionValue(password)) return kMsgEnterProxyPassword;
    if (!WriteConnectionMode(1, &login, &password)) return kMsgCannotSave;
    m_Mode = 1;
    m_ProxyUser = login;
    m_ProxyPassword = password;
    return kMsgSaved;
}
