// The product's language choice, read from the settings store.
#include "settings/MessageLanguage.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "lexmo/Language.h"
#include "lexmo/Lexmo.h"
#include "settings/RegKey.h"

std::string StoredMsgDll()
{
#ifndef _WIN32
    // Asking for the language creates no settings store where none is yet
    // (on Windows the store is the system's registry, always there).
    std::error_code ec;
    if (const std::string store = winreg::StorePath(); !store.empty() && !std::filesystem::exists(store, ec))
        return {};
#endif
    // As CRegSettings reads a product value: a text that fits in 256 bytes.
    RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, "Software\\Norvelia\\Tidepost", KEY_READ);
    if (!key) return {};
    BYTE buffer[256];
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.get(), "MsgDll", &type, buffer, &size) != ERROR_SUCCESS) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
    const void* end = std::memchr(buffer, 0, size);
    if (!end && size >= sizeof buffer) return {};
    return std::string(reinterpret_cast<const char*>(buffer),
                       end ? static_cast<const BYTE*>(end) - buffer : std::ptrdiff_t(size));
}

std::string ChosenMsgDll()
{
    return lexmo::ChosenCatalog(StoredMsgDll());
}

int LoadChosenMessages(std::string* name)
{
    const std::string catalog = ChosenMsgDll();
    if (name) *name = catalog;
    return KESA_LoadMessages(catalog.c_str());
}
