#include "conduit/ConduitModule.h"

#include <unistd.h>

#include <cstring>
#include <mutex>

namespace {

// Plain data only: the library's start-up runs before the constructors of
// this file's objects would. The lock is made on first use for the same
// reason (not every platform's mutex has a constant initializer).
std::mutex& Lock()
{
    static std::mutex mutex;
    return mutex;
}
int g_useCount = 0;
char g_loadDirectory[262];
// The conduit's own module: strings then come from the built-in table.
char g_selfTag;
PALMMODULE g_resources = &g_selfTag;

PALMMODULE Self()
{
    return &g_selfTag;
}

const char* BuiltInString(unsigned id)
{
    switch (id) {
    case 3369: return "sync configured to Do Nothing";
    default: return "";
    }
}

} // namespace

void ConduitStartup()
{
    std::lock_guard<std::mutex> guard(Lock());
    char cwd[260] = {};
    if (::getcwd(cwd, sizeof cwd - 1) == nullptr) cwd[0] = '\0';
    const std::size_t n = std::strlen(cwd);
    std::memcpy(g_loadDirectory, cwd, n);
    g_loadDirectory[n] = '/';
    g_loadDirectory[n + 1] = '\0';
    if (g_useCount == 0) {
        char work[260] = {};
        g_resources = PalmLoadLanguage("NORVCONDLANG.DLL", Self(), work, sizeof work);
        if (g_resources == nullptr) g_resources = Self();
        InitTables5DLL();
        InitPdcmn5DLL();
    }
    ++g_useCount;
}

void ConduitShutdown()
{
    std::lock_guard<std::mutex> guard(Lock());
    if (g_useCount == 0) return;
    if (--g_useCount == 0) {
        PalmFreeLanguage(g_resources, Self());
        g_resources = Self();
    }
}

int ConduitUseCount()
{
    std::lock_guard<std::mutex> guard(Lock());
    return g_useCount;
}

std::string ConduitLoadDirectory()
{
    std::lock_guard<std::mutex> guard(Lock());
    return g_loadDirectory;
}

PALMMODULE ConduitResourceModule()
{
    std::lock_guard<std::mutex> guard(Lock());
    return g_resources;
}

std::string ConduitString(unsigned id)
{
    const PALMMODULE module = ConduitResourceModule();
    if (module != Self()) {
        char buffer[256] = {};
        if (PalmLoadString(module, id, buffer, int(sizeof buffer)) > 0) return buffer;
    }
    return BuiltInString(id);
}
