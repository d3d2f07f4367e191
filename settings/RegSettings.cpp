#include "settings/RegSettings.h"

#include <cstring>

#include "settings/RegKey.h"

namespace {

constexpr DWORD kBufferSize = 256;
const char* const kHotSyncKey = "Software\\U.S. Robotics\\Pilot Desktop\\Core";

// A string value read into a 256-byte buffer. False when the key or value is
// missing, is not a string, or holds more than 255 characters: the text must
// end inside the buffer.
bool ReadValue(HKEY root, const std::string& path, const std::string& name, std::string* text)
{
    if (path.empty() || name.empty())
        return false; // an unset path would name the hive itself, an empty name the key's default value
    RegKey key = OpenRegKey(root, path, KEY_READ);
    if (!key)
        return false;
    BYTE buffer[kBufferSize];
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.get(), name.c_str(), &type, buffer, &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    const void* end = std::memchr(buffer, 0, size);
    if (!end && size >= kBufferSize)
        return false;
    *text = std::string(reinterpret_cast<const char*>(buffer),
                        end ? static_cast<const BYTE*>(end) - buffer : std::ptrdiff_t(size));
    return true;
}

std::string ReadOrEmpty(HKEY root, const std::string& path, const std::string& name)
{
    std::string text;
    return ReadValue(root, path, name, &text) ? text : std::string();
}

// Writes a REG_SZ with its terminating zero into an existing key; never creates it.
void WriteValue(HKEY root, const std::string& path, const std::string& name, const std::string& text)
{
    if (path.empty() || name.empty())
        return;
    RegKey key = OpenRegKey(root, path + "\\", KEY_SET_VALUE);
    if (!key)
        return;
    RegSetValueExA(key.get(), name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   DWORD(text.size() + 1));
}

void DeleteValue(HKEY root, const std::string& path, const std::string& name)
{
    if (path.empty())
        return;
    if (RegKey key = OpenRegKey(root, path, KEY_SET_VALUE))
        RegDeleteValueA(key.get(), name.c_str());
}

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n\v\f";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

} // namespace

void CRegSettings::Init(std::string user, std::string product)
{
    // Start from nothing, so that a second Init never keeps another user's paths.
    *this = CRegSettings();
    m_ProductKey = "Software\\Norvelia\\" + product;
    if (user.empty())
        return;
    const std::string userKey = m_ProductKey + "\\Users\\" + user;
    m_UserName = user;
    std::string server;
    if (!ReadValue(HKEY_LOCAL_MACHINE, userKey, "CurrentServer", &server))
        return;
    m_CurrentServer = server;
    m_UserServerKey = userKey + "\\" + server;
    m_ServersKey = m_ProductKey + "\\Servers";
    std::string url;
    if (ReadValue(HKEY_LOCAL_MACHINE, m_ServersKey, m_CurrentServer, &url))
        m_ServerUrl = url;
}

std::string CRegSettings::ReadProductValue(const std::string& name) const
{
    return ReadOrEmpty(HKEY_LOCAL_MACHINE, m_ProductKey, name);
}

std::string CRegSettings::ReadUserServerValue(const std::string& name) const
{
    return ReadOrEmpty(HKEY_LOCAL_MACHINE, m_UserServerKey, name);
}

void CRegSettings::WriteProductValue(const std::string& name, const std::string& text) const
{
    WriteValue(HKEY_LOCAL_MACHINE, m_ProductKey, name, text);
}

void CRegSettings::WriteUserServerValue(const std::string& name, const std::string& text) const
{
    WriteValue(HKEY_LOCAL_MACHINE, m_UserServerKey, name, text);
}

std::string CRegSettings::GetServerUrl() { return m_ServerUrl; }

void CRegSettings::SetServerUrl(std::string url)
{
    m_ServerUrl = url;
    WriteValue(HKEY_LOCAL_MACHINE, m_ServersKey, m_CurrentServer, url);
}

std::string CRegSettings::GetLanguage() { return ReadProductValue("Language"); }
void CRegSettings::SetLanguage(std::string language) { WriteProductValue("Language", language); }
std::string CRegSettings::GetMsgDll() { return ReadProductValue("MsgDLL"); }
void CRegSettings::SetMsgDll(std::string msgDll) { WriteProductValue("MsgDLL", msgDll); }
std::string CRegSettings::GetNorvVers() { return ReadUserServerValue("NorvVers"); }
void CRegSettings::SetNorvVers(std::string version) { WriteUserServerValue("NorvVers", version); }
std::string CRegSettings::GetUID() { return ReadUserServerValue("UID"); }
void CRegSettings::SetUID(std::string uid) { WriteUserServerValue("UID", uid); }
std::string CRegSettings::GetPWD() { return ReadUserServerValue("PWD"); }
void CRegSettings::SetPWD(std::string pwd) { WriteUserServerValue("PWD", pwd); }
std::string CRegSettings::GetTrace() { return ReadProductValue("Trace"); }
void CRegSettings::SetTrace(std::string trace) { WriteProductValue("Trace", trace); }

void CRegSettings::SetLastErrorCode(std::string code)
{
    WriteValue(HKEY_CURRENT_USER, m_ProductKey, "LastErrorCode", code);
}

void CRegSettings::DeletePWD()
{
    DeleteValue(HKEY_CURRENT_USER, m_UserServerKey, "PWD");
    DeleteValue(HKEY_LOCAL_MACHINE, m_UserServerKey, "PWD");
}

std::string CRegSettings::GetHotSyncPath()
{
    std::string path;
    if (!ReadValue(HKEY_CURRENT_USER, kHotSyncKey, "HotSyncPath", &path))
        path = "*NODEF*";
    // Keep the directory with its separator: the Windows one, or the one of this platform.
    std::size_t cut = path.find_last_of("\\/");
    if (cut != std::string::npos)
        path = path.substr(0, cut + 1);
    return Trim(path);
}
