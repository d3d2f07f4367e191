// The settings a window test puts in place and reads back, through the
// registry calls of the system's own code (this header stays apart from
// <windows.h>, which names the registry's types otherwise).
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace settings_test {

// The product key and the HotSync Manager's, removed.
void Clear();
// A REG_SZ (or a REG_DWORD) in HKEY_LOCAL_MACHINE, or HKEY_CURRENT_USER when `user`.
bool PutText(const std::string& path, const std::string& name, const std::string& text, bool user = false);
bool PutNumber(const std::string& path, const std::string& name, std::uint32_t value);
// The value's bytes in HKEY_LOCAL_MACHINE; nothing when it is missing.
std::optional<std::string> Get(const std::string& path, const std::string& name);

} // namespace settings_test
