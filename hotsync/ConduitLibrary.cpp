#include "hotsync/ConduitLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "seam/ProgramPath.h"

CConduitLibrary::~CConduitLibrary()
{
    if (m_Handle) ::dlclose(m_Handle);
}

bool CConduitLibrary::Load(const std::string& path, std::string* error)
{
    if (m_Handle) ::dlclose(m_Handle);
    // A bare file name would make dlopen search the system's paths.
    std::string p = path.find('/') == std::string::npos ? "./" + path : path;
    m_Handle = ::dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_Handle) {
        const char* why = ::dlerror();
        if (error) *error = why ? why : "unknown error";
        return false;
    }
    return true;
}

void* CConduitLibrary::Symbol(const char* name) const
{
    return m_Handle ? ::dlsym(m_Handle, name) : nullptr;
}

std::string CConduitLibrary::DefaultPath()
{
    const std::string exe = platform::ProgramPath();
    std::string dir = ".";
    if (!exe.empty() && exe.find_first_of("/\\") != std::string::npos)
        dir = std::filesystem::path(exe).parent_path().string();
    // Installed, the private libraries have a folder of their own; a build
    // tree keeps them all in lib/.
    const std::string installed = dir + "/../" NORV_PRIVATE_LIBDIR;
    struct stat st {};
    if (::stat(installed.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return installed + "/libNorv30.so";
    return dir + "/../lib/libNorv30.so";
}

std::string CConduitLibrary::UiHostPath()
{
    return std::filesystem::path(DefaultPath()).parent_path().string() + "/libNorvQtHost.so";
}
