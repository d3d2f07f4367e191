#include "hotsync/ConduitLibrary.h"

#include <windows.h>

#include <filesystem>

#include "seam/ProgramPath.h"
#include "seam/UserFolders.h"

namespace {

std::string LastErrorText()
{
    const DWORD code = ::GetLastError();
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n > 0 && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return out;
}

} // namespace

CConduitLibrary::~CConduitLibrary()
{
    if (m_Handle) ::FreeLibrary(HMODULE(m_Handle));
}

bool CConduitLibrary::Load(const std::string& path, std::string* error)
{
    if (m_Handle) ::FreeLibrary(HMODULE(m_Handle));
    // A full path, so that the system's search order plays no part; the
    // library's own DLLs are then looked for beside it first.
    const std::wstring full = std::filesystem::absolute(std::filesystem::path(path)).wstring();
    m_Handle = ::LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!m_Handle) {
        if (error) *error = path + ": " + LastErrorText();
        return false;
    }
    return true;
}

void* CConduitLibrary::Symbol(const char* name) const
{
    return m_Handle ? reinterpret_cast<void*>(::GetProcAddress(HMODULE(m_Handle), name)) : nullptr;
}

std::string CConduitLibrary::DefaultPath()
{
    // The conduit lies beside the programs, as every DLL they load.
    const std::string exe = platform::ProgramPath();
    std::string dir = ".";
    if (!exe.empty() && exe.find_first_of("/\\") != std::string::npos)
        dir = std::filesystem::path(exe).parent_path().string();
    return platform::JoinPath(dir, "Norv30.dll");
}

std::string CConduitLibrary::UiHostPath()
{
    return platform::JoinPath(std::filesystem::path(DefaultPath()).parent_path().string(), "NorvWinHost.dll");
}
