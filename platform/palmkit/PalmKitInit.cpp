#include "palmkit/PalmKitInit.h"
#include "seam/ProgramPath.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

struct LanguageModule {
    std::map<unsigned, std::string> strings;
};

std::mutex g_mutex;
std::set<LanguageModule*>& Modules()
{
    static std::set<LanguageModule*> modules;
    return modules;
}

std::string Unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool ReadCatalog(const std::string& path, LanguageModule& module)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t tab = line.find('\t');
        if (tab == 0 || tab == std::string::npos) continue;
        const std::string number = line.substr(0, tab);
        if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        if (number.size() > 9) continue;
        module.strings[unsigned(std::stoul(number))] = Unescape(line.substr(tab + 1));
    }
    return true;
}

std::string ProgramDir()
{
    // parent_path knows both separators on Windows, only '/' elsewhere.
    const std::string p = platform::ProgramPath();
    return p.empty() ? std::string() : std::filesystem::path(p).parent_path().string();
}

std::atomic<int> g_tables{0};
std::atomic<int> g_dialogs{0};

} // namespace

extern "C" {

long InitTables5DLL()
{
    ++g_tables;
    return 0;
}

long InitPdcmn5DLL()
{
    ++g_dialogs;
    return 0;
}

PALMMODULE PalmLoadLanguage(const char* libraryName, PALMMODULE self, char* work, std::size_t workSize)
{
    if (work != nullptr && workSize > 0) work[0] = '\0';
    if (libraryName == nullptr || *libraryName == '\0') return self;
    try {
        std::string base = libraryName;
        const std::size_t slash = base.find_last_of("/\\");
        if (slash != std::string::npos) base = base.substr(slash + 1);
        const std::size_t dot = base.rfind('.');
        if (dot != std::string::npos) base = base.substr(0, dot);
        const std::string file = base + ".msg";
        std::vector<std::string> dirs;
        if (const char* env = std::getenv("NORVELIA_MSGDIR"); env && *env) dirs.push_back(env);
        if (std::string p = ProgramDir(); !p.empty()) dirs.push_back(p + "/../share/norvelia");
        dirs.push_back(NORV_SOURCE_SHARE_DIR);
        for (const std::string& dir : dirs) {
            auto module = std::make_unique<LanguageModule>();
            const std::string path = dir + "/" + file;
            if (!ReadCatalog(path, *module)) continue;
            if (work != nullptr && workSize > 0) {
                std::strncpy(work, path.c_str(), workSize - 1);
                work[workSize - 1] = '\0';
            }
            std::lock_guard<std::mutex> guard(g_mutex);
            LanguageModule* raw = module.release();
            Modules().insert(raw);
            return raw;
        }
    } catch (...) {
    }
    return self;
}

void PalmFreeLanguage(PALMMODULE module, PALMMODULE self)
{
    if (module == nullptr || module == self) return;
    std::lock_guard<std::mutex> guard(g_mutex);
    auto* m = static_cast<LanguageModule*>(module);
    if (Modules().erase(m)) delete m;
}

int PalmLoadString(PALMMODULE module, unsigned id, char* buffer, int bufferSize)
{
    if (buffer == nullptr || bufferSize <= 0) return 0;
    buffer[0] = '\0';
    std::lock_guard<std::mutex> guard(g_mutex);
    auto* m = static_cast<LanguageModule*>(module);
    if (!Modules().count(m)) return 0;
    auto it = m->strings.find(id);
    if (it == m->strings.end()) return 0;
    const int n = int(std::min<std::size_t>(it->second.size(), std::size_t(bufferSize - 1)));
    std::memcpy(buffer, it->second.data(), std::size_t(n));
    buffer[n] = '\0';
    return n;
}

} // extern "C"
