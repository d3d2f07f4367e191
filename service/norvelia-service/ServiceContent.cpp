#include "ServiceContent.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "quillio/PdbFile.h"
#include "quillio/PdbRecord.h"
#include "records/AppInfo.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s)
{
    const size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool ReadFile(const fs::path& path, Bytes& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Non-empty lines without their blanks; "#" starts a comment line.
std::vector<std::string> ReadLines(const fs::path& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    }
    return lines;
}

// Runs catalogc on one JSON file; its own messages go to our stderr.
bool Compile(const std::string& catalogc, const std::string& json, const std::string& pdb, std::string& error)
{
    std::vector<std::string> args = {catalogc, json, "-o", pdb};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Its progress lines go to our log, not to our standard output.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, 2, 1);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, catalogc.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error = "cannot run " + catalogc + ": " + std::strerror(rc);
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = std::string("waiting for catalogc: ") + std::strerror(errno);
            return false;
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "catalogc failed on " + json;
        return false;
    }
    return true;
}

// Parses the database to make sure the client will be able to install it.
bool ParseDatabase(const Bytes& bytes, CPdbFile& pdb)
{
    return pdb.ReadPdbBuffer(bytes.data(), bytes.size());
}

// The list-or-catalog name of a list's AppInfo must be the catalog's name.
void NameCatalogInList(CPdbFile& list, const std::string& catalogName)
{
    if (list.m_AppInfo.empty()) return;
    CPdbRecord record(list.m_AppInfo.data(), long(list.m_AppInfo.size()));
    CAppInfo info;
    info.FillFromPdbRecord(&record);
    if (info.GetListOrCatalogName() == catalogName) return;
    // The format version text is not read back: keep it from the bytes.
    constexpr size_t kFormatAt = 259;
    if (list.m_AppInfo.size() > kFormatAt + 2) {
        const std::string version(reinterpret_cast<const char*>(list.m_AppInfo.data() + kFormatAt), 3);
        info.SetFormatNum(version == "2.3" ? 2 : version == "2.1" ? 1 : 0);
    }
    info.SetListOrCatalogName(catalogName);
    CPdbPackedRecord packed;
    info.FillPdbPackedRecord(packed);
    std::vector<BYTE> block(packed.Buffer(), packed.Buffer() + packed.Size());
    // Whatever followed the block stays.
    if (list.m_AppInfo.size() > block.size())
        block.insert(block.end(), list.m_AppInfo.begin() + long(block.size()), list.m_AppInfo.end());
    list.m_AppInfo = std::move(block);
}

} // namespace

bool CServiceContent::Load(const std::string& dir, const std::string& catalogc, const std::string& workDir,
                           std::string& error)
{
    m_Catalogc = catalogc;
    m_WorkDir = workDir;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = "no content folder " + dir;
        return false;
    }

    const fs::path catalogs = fs::path(dir) / "catalogs";
    if (fs::is_directory(catalogs, ec)) {
        std::vector<fs::path> folders;
        for (const auto& entry : fs::directory_iterator(catalogs, ec))
            if (entry.is_directory()) folders.push_back(entry.path());
        std::sort(folders.begin(), folders.end());
        for (const fs::path& folder : folders)
            if (!LoadCatalog(folder.string(), folder.filename().string(), error)) return false;
    }

    const fs::path users = fs::path(dir) / "users";
    if (fs::is_directory(users, ec)) {
        for (const auto& entry : fs::directory_iterator(users, ec))
            if (entry.is_directory() && !LoadUser(entry.path().string(), entry.path().filename().string(), error))
                return false;
    }

    const fs::path games = fs::path(dir) / "games";
    if (fs::is_directory(games, ec)) {
        for (const auto& entry : fs::directory_iterator(games, ec))
            if (entry.is_regular_file() &&
                !LoadGame(entry.path().string(), entry.path().filename().string(), error))
                return false;
    }

    const fs::path app = fs::path(dir) / "app";
    const std::vector<std::string> version = ReadLines(app / "VERSION");
    if (!version.empty()) m_AppVersion = version.front();
    if (fs::exists(app / "norvelia.prc", ec)) {
        if (!ReadFile(app / "norvelia.prc", m_AppFile.bytes)) {
            error = "cannot read " + (app / "norvelia.prc").string() + ": " + std::strerror(errno);
            return false;
        }
        m_AppFile.fileName = "norvelia.prc";
        m_AppFile.present = true;
    }
    return true;
}

bool CServiceContent::ReadDatabase(const std::string& folder, const std::string& base, Bytes& out, bool& found,
                                   std::string& error)
{
    std::error_code ec;
    found = false;
    const fs::path json = fs::path(folder) / (base + ".json");
    const fs::path pdb = fs::path(folder) / (base + ".pdb");
    fs::path source;
    if (fs::exists(json, ec)) {
        fs::path target = fs::path(m_WorkDir) / fs::path(folder).filename();
        fs::create_directories(target, ec);
        target /= base + ".pdb";
        if (!Compile(m_Catalogc, json.string(), target.string(), error)) return false;
        source = target;
    } else if (fs::exists(pdb, ec)) {
        source = pdb;
    } else {
        return true;
    }
    if (!ReadFile(source, out)) {
        error = "cannot read " + source.string() + ": " + std::strerror(errno);
        return false;
    }
    found = true;
    return true;
}

bool CServiceContent::LoadCatalog(const std::string& folder, const std::string& id, std::string& error)
{
    if (FindChannel(id)) {
        error = "two catalog folders for channel " + id;
        return false;
    }
    CatalogChannel channel;
    channel.id = id;
    channel.catalogName = id + kCatalogSuffix;
    if (channel.catalogName.size() > 31) {
        error = "channel id too long for a database name: " + id;
        return false;
    }

    bool found = false;
    Bytes bytes;
    if (!ReadDatabase(folder, "catalog", bytes, found, error)) return false;
    if (!found) {
        error = "no catalog.json or catalog.pdb in " + folder;
        return false;
    }
    CPdbFile catalog;
    if (!ParseDatabase(bytes, catalog)) {
        error = "not a database: the catalog of " + folder;
        return false;
    }
    // The database is named after its channel whatever the source says.
    catalog.m_Name = channel.catalogName;
    channel.catalog = {channel.catalogName + ".pdb", catalog.ToBytes(), true};

    struct ListFile {
        const char* base;
        const char* suffix;
        ServedFile* into;
    };
    const ListFile lists[] = {{"deflist", "def", &channel.defList}, {"reflist", "ref", &channel.refList}};
    for (const ListFile& list : lists) {
        if (!ReadDatabase(folder, list.base, bytes, found, error)) return false;
        if (!found) continue;
        CPdbFile pdb;
        if (!ParseDatabase(bytes, pdb)) {
            error = std::string("not a database: the ") + list.base + " of " + folder;
            return false;
        }
        NameCatalogInList(pdb, channel.catalogName);
        *list.into = {id + list.suffix + ".pdb", pdb.ToBytes(), true};
    }
    m_Channels.push_back(std::move(channel));
    return true;
}

bool CServiceContent::LoadUser(const std::string& folder, const std::string& uid, std::string& error)
{
    UserContent user;
    std::error_code ec;
    const fs::path channels = fs::path(folder) / "channels";
    if (fs::exists(channels, ec)) {
        user.hasChannelsFile = true;
        user.channels = ReadLines(channels);
    }
    bool found = false;
    if (!ReadDatabase(folder, "userctx", user.userCtx.bytes, found, error)) return false;
    if (found) {
        CPdbFile check;
        if (!ParseDatabase(user.userCtx.bytes, check)) {
            error = "not a database: the user context of " + folder;
            return false;
        }
        user.userCtx.fileName = "USERCTX.pdb";
        user.userCtx.present = true;
    }
    m_Users[uid] = std::move(user);
    return true;
}

bool CServiceContent::LoadGame(const std::string& file, const std::string& id, std::string& error)
{
    std::vector<std::string> games = ReadLines(file);
    if (games.empty()) {
        error = "no game reference in " + file;
        return false;
    }
    m_Games[Lower(id)] = {id, std::move(games)};
    return true;
}

const CatalogChannel* CServiceContent::FindChannel(const std::string& id) const
{
    const std::string key = Lower(id);
    for (const CatalogChannel& channel : m_Channels)
        if (Lower(channel.id) == key) return &channel;
    return nullptr;
}

const UserContent* CServiceContent::FindUser(const std::string& uid) const
{
    auto it = m_Users.find(uid);
    return it == m_Users.end() ? nullptr : &it->second;
}

std::string CServiceContent::FindGameChannel(const std::string& game) const
{
    for (const auto& entry : m_Games) {
        const Game& g = entry.second;
        if (std::find(g.references.begin(), g.references.end(), game) != g.references.end()) return g.channel;
    }
    return {};
}

bool CServiceContent::IsGameChannel(const std::string& id) const
{
    return m_Games.count(Lower(id)) != 0;
}
