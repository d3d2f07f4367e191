// The catalog of the process: loading, look-up and the C entry points.
//
// A catalog is a text file, one message a line, "NUMBER<TAB>text", with the
// escapes \n \t \\; blank lines and lines starting with '#' are skipped.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <system_error>

#include "CutPoint.h"
#include "lexmo/Lexmo.h"
#include "seam/ProgramPath.h"

#ifndef NORV_SOURCE_SHARE_DIR
#define NORV_SOURCE_SHARE_DIR ""
#endif

namespace fs = std::filesystem;

namespace {

using Catalog = std::map<int, std::string>;

// One catalog per process, shared by every module; a load replaces it whole,
// readers copy the text they ask for under the shared lock.
struct State {
    std::shared_mutex mutex;
    Catalog messages;
};

State& TheState()
{
    static State state;
    return state;
}

// A catalog larger than this is not a message file.
constexpr std::uintmax_t kMaxCatalogBytes = 16u << 20;

std::string Unescape(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char c = s[i + 1];
            if (c == 'n') { out += '\n'; ++i; continue; }
            if (c == 't') { out += '\t'; ++i; continue; }
            if (c == '\\') { out += '\\'; ++i; continue; }
        }
        out += s[i];
    }
    return out;
}

// Lines that are neither messages, blank nor comments are skipped: one bad
// line should not cost the user every other text.
Catalog Parse(std::istream& in)
{
    Catalog messages;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) continue;
        std::string_view digits(line.data(), tab);
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        messages[std::atoi(std::string(digits).c_str())] = Unescape(std::string_view(line).substr(tab + 1));
    }
    return messages;
}

// "Lexmo.dll", "C:\\x\\LexmoUs.DLL" or "Lexmo" -> "Lexmo.msg" / "LexmoUs.msg".
// Only the base name counts, so a name from the settings cannot lead outside
// the catalog folders.
std::string CatalogFileName(std::string_view library)
{
    size_t slash = library.find_last_of("/\\");
    if (slash != std::string_view::npos) library.remove_prefix(slash + 1);
    size_t dot = library.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0) library = library.substr(0, dot);
    if (library.empty() || library == "." || library == "..") return {};
    return std::string(library) + ".msg";
}

std::string ProgramShareDir()
{
    const fs::path exe = platform::ProgramPath();
    if (exe.empty()) return {};
    return (exe.parent_path() / ".." / "share" / "norvelia").lexically_normal().string();
}

bool SameNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The file in `dir`, exactly named or else named without regard to case (the
// settings were written for a system that ignores case).
std::string FindIn(const std::string& dir, const std::string& name)
{
    if (dir.empty()) return {};
    // The listing gives the file's own name even where the file system
    // ignores case and would open any spelling.
    std::error_code ec;
    std::string noCase;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        std::error_code kind;
        if (!SameNoCase(entry, name) || !it->is_regular_file(kind)) continue;
        if (entry == name) return it->path().string();
        if (noCase.empty()) noCase = it->path().string();
    }
    if (!noCase.empty()) return noCase;
    // A folder that cannot be listed may still be searched.
    const fs::path exact = fs::path(dir) / name;
    return fs::is_regular_file(exact, ec) ? exact.string() : std::string();
}

} // namespace

namespace lexmo {

std::string FindCatalog(std::string_view libraryFile)
{
    std::string name = CatalogFileName(libraryFile);
    if (name.empty()) return {};
    const char* env = std::getenv("NORVELIA_MSGDIR");
    for (const std::string& dir : {std::string(env ? env : ""), ProgramShareDir(), std::string(NORV_SOURCE_SHARE_DIR)}) {
        std::string found = FindIn(dir, name);
        if (!found.empty()) return found;
    }
    return {};
}

std::string MessageText(int number)
{
    State& state = TheState();
    std::shared_lock lock(state.mutex);
    auto it = state.messages.find(number);
    return it == state.messages.end() ? std::string() : it->second;
}

} // namespace lexmo

// A failed load keeps the texts already loaded: other modules of the process
// may be showing them.
int KESA_LoadMessages(const char* libraryFile)
{
    try {
        std::string path = lexmo::FindCatalog(libraryFile ? libraryFile : "");
        if (path.empty()) return 0;
        std::error_code ec;
        auto size = fs::file_size(path, ec);
        if (ec || size > kMaxCatalogBytes) return 0;
        std::ifstream in(path, std::ios::binary);
        if (!in) return 0;
        Catalog messages = Parse(in);
        if (messages.empty()) return 0;
        int count = static_cast<int>(messages.size());
        State& state = TheState();
        std::unique_lock lock(state.mutex);
        state.messages.swap(messages);
        return count;
    } catch (...) {
        return 0;
    }
}

void KESA_GetMessage(int number, char* buffer, int size)
{
    if (!buffer || size <= 0) return;
    std::string text = lexmo::MessageText(number);
    // Do not end the copy inside a UTF-8 sequence.
    size_t n = lexmo::CutPoint(text, static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}
