// An open registry key, closed when it goes out of scope.
#pragma once
#include <memory>
#include <string>

#include "winreg/WinReg.h"

struct RegKeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using RegKey = std::unique_ptr<HKEY__, RegKeyCloser>;

// Opens root\path with the given rights; null when it cannot be opened.
inline RegKey OpenRegKey(HKEY root, const std::string& path, REGSAM access, LSTATUS* result = nullptr)
{
    HKEY key = nullptr;
    LSTATUS r = RegOpenKeyExA(root, path.c_str(), 0, access, &key);
    if (result)
        *result = r;
    return RegKey(r == ERROR_SUCCESS ? key : nullptr);
}
