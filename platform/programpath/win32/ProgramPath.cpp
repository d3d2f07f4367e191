#include "seam/ProgramPath.h"

#include <windows.h>

#include <filesystem>
#include <vector>

namespace platform {

std::string ProgramPath()
{
    // Long paths: grow the buffer until the name fits.
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (n == 0) return {};
        if (n < name.size()) return std::filesystem::path(std::wstring(name.data(), n)).string();
        if (name.size() >= 32768) return {};
        name.resize(name.size() * 2);
    }
}

} // namespace platform
