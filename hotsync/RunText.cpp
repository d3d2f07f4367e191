#include "hotsync/RunText.h"

#include <algorithm>
#include <memory>

#include "winreg/WinReg.h"

namespace runtext {

bool LoadLanguage()
{
    std::string catalog;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Norvelia\\Tidepost", 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        const std::unique_ptr<HKEY__, LSTATUS (*)(HKEY)> owned(key, &RegCloseKey);
        char value[260] = {};
        DWORD type = 0, size = sizeof value - 1;
        if (RegQueryValueExA(key, "MsgDll", &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ))
            catalog.assign(value, std::min<std::size_t>(size, sizeof value - 1));
        catalog = catalog.c_str(); // up to its terminator
    }
    if (catalog.empty()) catalog = "Lexmo.dll";
    return KESA_LoadMessages(catalog.c_str()) > 0;
}

} // namespace runtext
