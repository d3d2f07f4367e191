#include "SettingsRegistry.h"

#include "winreg/RegTestStore.h"

namespace settings_test {

void Clear()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvelia\\Tidepost");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\U.S. Robotics");
}

bool PutText(const std::string& path, const std::string& name, const std::string& text, bool user)
{
    return RegPutString(user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, path, name, text) == ERROR_SUCCESS;
}

bool PutNumber(const std::string& path, const std::string& name, std::uint32_t value)
{
    const std::string bytes(reinterpret_cast<const char*>(&value), sizeof value);
    return RegPut(HKEY_LOCAL_MACHINE, path, name, REG_DWORD, bytes) == ERROR_SUCCESS;
}

std::optional<std::string> Get(const std::string& path, const std::string& name)
{
    return RegGet(HKEY_LOCAL_MACHINE, path, name);
}

} // namespace settings_test
