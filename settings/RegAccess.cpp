#include "settings/RegAccess.h"

#include <cstring>

#include "settings/RegKey.h"

namespace {
constexpr DWORD kStringBuffer = 255;
constexpr std::size_t kMaxWrittenText = 254;
} // namespace

CRegAccess::~CRegAccess()
{
    m_LastError = ERROR_SUCCESS;
    m_RootKey = HKEY_CURRENT_USER;
    m_LazyWrite = true;
    m_KeyPath.clear();
}

void CRegAccess::Flush(HKEY key)
{
    if (!m_LazyWrite)
        RegFlushKey(key);
}

bool CRegAccess::SetRootKey(HKEY root)
{
    if (root != HKEY_CLASSES_ROOT && root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE && root != HKEY_USERS)
        return false;
    m_RootKey = root;
    return true;
}

bool CRegAccess::SetKey(std::string path, bool create)
{
    if (path.empty()) {
        m_KeyPath.clear();
        return true;
    }
    HKEY key = nullptr;
    if (create)
        m_LastError = RegCreateKeyExA(m_RootKey, path.c_str(), 0, KEY_ALL_ACCESS, &key, nullptr);
    else
        m_LastError = RegOpenKeyExA(m_RootKey, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (m_LastError != ERROR_SUCCESS)
        return false;
    RegKey owned(key);
    if (create)
        Flush(owned.get());
    m_KeyPath = path;
    return true;
}

DWORD CRegAccess::GetValueType(std::string name)
{
    RegKey key = OpenRegKey(m_RootKey, m_KeyPath, KEY_READ);
    DWORD type = REG_NONE;
    if (!key || RegQueryValueExA(key.get(), name.c_str(), &type, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return type;
}

std::string CRegAccess::ReadString(std::string name, std::string def)
{
    RegKey key = OpenRegKey(m_RootKey, m_KeyPath, KEY_READ);
    if (!key)
        return def;
    BYTE buffer[kStringBuffer];
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.get(), name.c_str(), &type, buffer, &size) != ERROR_SUCCESS)
        return def;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return def;
    // The text must end inside the buffer.
    const void* end = std::memchr(buffer, 0, size);
    if (!end && size >= kStringBuffer)
        return def;
    return std::string(reinterpret_cast<const char*>(buffer),
                       end ? static_cast<const BYTE*>(end) - buffer : std::ptrdiff_t(size));
}

bool CRegAccess::WriteString(std::string name, std::string text)
{
    if (text.size() > kMaxWrittenText)
        return false;
    RegKey key = OpenRegKey(m_RootKey, m_KeyPath, KEY_SET_VALUE);
    if (!key)
        return false;
    if (RegSetValueExA(key.get(), name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       DWORD(text.size() + 1)) != ERROR_SUCCESS)
        return false;
    Flush(key.get());
    return true;
}

bool CRegAccess::WriteBinaryDword(std::string name, DWORD value)
{
    RegKey key = OpenRegKey(m_RootKey, m_KeyPath, KEY_SET_VALUE);
    if (!key)
        return false;
    const BYTE bytes[4] = {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
    if (RegSetValueExA(key.get(), name.c_str(), REG_BINARY, bytes, sizeof bytes) != ERROR_SUCCESS)
        return false;
    Flush(key.get());
    return true;
}
