// A private registry file for one test, and small helpers over the registry calls.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "winreg/WinReg.h"

class RegTestStore {
public:
    RegTestStore()
    {
        std::string tmpl = ::testing::TempDir() + "norvreg-XXXXXX";
        if (!::mkdtemp(tmpl.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_Dir = tmpl;
        winreg::SetStorePath(Path());
    }
    ~RegTestStore()
    {
        winreg::SetStorePath("");
        std::error_code ec;
        std::filesystem::remove_all(m_Dir, ec);
    }
    RegTestStore(const RegTestStore&) = delete;
    RegTestStore& operator=(const RegTestStore&) = delete;

    std::string Dir() const { return m_Dir; }
    std::string Path() const { return m_Dir + "/sub/registry.db"; }

private:
    std::string m_Dir;
};

// Creates the key (and its parents) and sets one value.
inline LSTATUS RegPut(HKEY root, const std::string& path, const std::string& name, DWORD type,
                      const std::string& bytes)
{
    HKEY key = nullptr;
    LSTATUS r = RegCreateKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key, nullptr);
    if (r != ERROR_SUCCESS)
        return r;
    r = RegSetValueExA(key, name.c_str(), type, reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()));
    RegCloseKey(key);
    return r;
}

// A REG_SZ holding the text and its zero.
inline LSTATUS RegPutString(HKEY root, const std::string& path, const std::string& name, const std::string& text)
{
    return RegPut(root, path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

inline LSTATUS RegMakeKey(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    LSTATUS r = RegCreateKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key, nullptr);
    if (r == ERROR_SUCCESS)
        RegCloseKey(key);
    return r;
}

// The raw bytes of a value, or nothing when it cannot be read.
inline std::optional<std::string> RegGet(HKEY root, const std::string& path, const std::string& name,
                                         DWORD* type = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD size = 0;
    std::optional<std::string> out;
    if (RegQueryValueExA(key, name.c_str(), type, nullptr, &size) == ERROR_SUCCESS) {
        std::string bytes(size, '\0');
        if (RegQueryValueExA(key, name.c_str(), type, reinterpret_cast<BYTE*>(bytes.data()), &size) == ERROR_SUCCESS)
            out = bytes;
    }
    RegCloseKey(key);
    return out;
}

inline bool RegKeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline DWORD RegValueCount(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, &values);
    RegCloseKey(key);
    return values;
}
