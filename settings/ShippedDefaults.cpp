#include "settings/ShippedDefaults.h"

#include <strings.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "RegFile.h"
#include "seam/ProgramPath.h"
#include "settings/RegKey.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kProductKey = "Software\\Norvelia\\Tidepost";
constexpr const char* kFileName = "defaults.reg";

bool IsFile(const std::string& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool ProductKeyComplete()
{
    return OpenRegKey(HKEY_LOCAL_MACHINE, std::string(kProductKey) + "\\Servers", KEY_READ) != nullptr;
}

bool ValueExists(HKEY key, const std::string& name)
{
    DWORD size = 0;
    return RegQueryValueExA(key, name.c_str(), nullptr, nullptr, &size) != ERROR_FILE_NOT_FOUND;
}

} // namespace

std::string CShippedDefaults::DefaultsFile()
{
    if (const char* dir = std::getenv("NORVELIA_MSGDIR"); dir && *dir) {
        const std::string path = std::string(dir) + "/" + kFileName;
        if (IsFile(path)) return path;
    }
    const std::string program = platform::ProgramPath();
    if (!program.empty()) {
        const std::string path =
            (fs::path(program).parent_path().parent_path() / "share" / "norvelia" / kFileName).string();
        if (IsFile(path)) return path;
    }
#ifdef NORV_SOURCE_SHARE_DIR
    const std::string source = std::string(NORV_SOURCE_SHARE_DIR) + "/" + kFileName;
    if (IsFile(source)) return source;
#endif
    return {};
}

bool CShippedDefaults::Missing()
{
    return !ProductKeyComplete();
}

CShippedDefaults::Result CShippedDefaults::ApplyIfMissing(const std::string& file)
{
    Result result;
    result.file = file;
    if (!Missing()) return result;
    if (file.empty()) {
        result.error = std::string("no ") + kFileName + " was found beside the program";
        return result;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        result.error = "cannot read " + file;
        return result;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<RegFileKey> keys;
    std::string error;
    if (!ParseRegFile(text, &keys, &error)) {
        result.error = file + ": " + error;
        return result;
    }
    std::vector<std::string> servers;
    // Checked again inside the transaction: another program may be applying them now.
    bool wrote = false;
    const LSTATUS rc = winreg::RunInTransaction([&]() -> LSTATUS {
        servers.clear();
        wrote = false;
        if (ProductKeyComplete()) return ERROR_SUCCESS;
        for (const RegFileKey& k : keys) {
            // Defaults add; they never take anything away.
            if (k.remove || k.path.empty()) continue;
            HKEY raw = nullptr;
            if (LSTATUS c = RegCreateKeyExA(k.hive, k.path.c_str(), 0, KEY_ALL_ACCESS, &raw, nullptr);
                c != ERROR_SUCCESS)
                return c;
            RegKey key(raw);
            const bool serversKey = k.hive == HKEY_LOCAL_MACHINE &&
                                    ::strcasecmp(k.path.c_str(), (std::string(kProductKey) + "\\Servers").c_str()) == 0;
            for (const RegFileValue& v : k.values) {
                // The language is the user's choice, else the locale's.
                if (v.remove || ::strcasecmp(v.name.c_str(), "MsgDll") == 0 || ValueExists(key.get(), v.name))
                    continue;
                if (LSTATUS w = RegSetValueExA(key.get(), v.name.c_str(), v.type,
                                               reinterpret_cast<const BYTE*>(v.data.data()), DWORD(v.data.size()));
                    w != ERROR_SUCCESS)
                    return w;
                if (serversKey) servers.push_back(v.name + " " + std::string(v.data.c_str()));
            }
        }
        wrote = true;
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) {
        result.error = "cannot write the settings store " + winreg::StorePath() + ": " + winreg::ResultText(rc);
        return result;
    }
    result.applied = wrote;
    result.servers = servers;
    return result;
}
