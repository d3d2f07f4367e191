#include "conduit/ConduitModule.h"

#include <unistd.h>

#include <mutex>

namespace {

std::mutex g_mutex;
int g_useCount = 0;
std::string g_loadDirectory;
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
    std::lock_guard<std::mutex> guard(g_mutex);
    char cwd[260] = {};
    if (::getcwd(cwd, sizeof cwd - 1) == nullptr) cwd[0] = '\0';
    g_loadDirectory = std::string(cwd) + "/";
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
    std::lock_guard<std::mutex> guard(g_mutex);
    if (g_useCount == 0) return;
    if (--g_useCount == 0) {
        PalmFreeLanguage(g_resources, Self());
        g_resources = Self();
    }
}

int ConduitUseCount()
{
    std::lock_guard<std::mutex> guard(g_mutex);
    return g_useCount;
}

std::string ConduitLoadDirectory()
{
    std::lock_guard<std::mutex> guard(g_mutex);
    return g_loadDirectory;
}

PALMMODULE ConduitResourceModule()
{
    std::lock_guard<std::mutex> guard(g_mutex);
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
