// handheld: creates, lists, dumps, shows, imports, exports and removes the
// databases of a handheld directory.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "hotsync/DataView.h"
#include "hotsync/DataViewText.h"
#include "hotsync/DatabaseDump.h"
#include "palmkit/Handheld.h"
#include "palmkit/HandheldInfo.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "platform/CommandLine.h"
#include "seam/PrivateFiles.h"
#include "seam/TextWidth.h"
#include "quillio/PdbFile.h"
#include "hotsync/RunText.h"

#include <nlohmann/json.hpp>

namespace fs = std::filesystem;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = platform::kExitUsage;
constexpr int kExitBusy = 3;

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "handheld: %s\n", message.c_str());
    return code;
}

// Holds the directory for a change; an error code when it cannot.
int LockFor(const CHandheldStore& store, CHandheldLock& lock)
{
    if (!store.Exists()) return Fail(kExitUsage, "no handheld at " + store.Dir() + " (see: handheld init)");
    switch (lock.Acquire(store.Dir())) {
    case CHandheldLock::Result::Locked:
        // Nobody else writes here now: any temporary is a killed write's.
        store.RemoveStaleTemporaries();
        return 0;
    case CHandheldLock::Result::NotADirectory: return Fail(kExitUsage, "no handheld at " + store.Dir());
    case CHandheldLock::Result::Busy:
        return Fail(kExitBusy, "the handheld " + store.Dir() + " is being synchronized by another run");
    }
    return kExitFailed;
}

int CmdInit(const std::string& dir, const std::string& user, long long userId, bool force)
{
    CHandheldStore store(dir);
    // A handheld holds its user's data: its folder, and so its files, are private.
    const platform::PrivateDir made = platform::MakePrivateDir(dir);
    if (!made.exists) return Fail(kExitFailed, made.error);
    if (!made.narrowed.empty()) std::fprintf(stderr, "handheld: %s\n", made.narrowed.c_str());
    if (!made.error.empty()) std::fprintf(stderr, "handheld: warning: %s\n", made.error.c_str());
    CHandheldLock lock;
    if (int rc = LockFor(store, lock)) return rc;
    CHandheldInfo info;
    if (!info.Load(store.Dir()) && !force)
        return Fail(kExitFailed, "the handheld's " + std::string(CHandheldInfo::kFileName) +
                                     " is unreadable (replace it with --force)");
    if (!user.empty() && !info.m_UserName.empty() && info.m_UserName != user && !force)
        return Fail(kExitFailed, "the handheld " + dir + " belongs to \"" + info.m_UserName +
                                     "\" (give it to \"" + user + "\" with --force)");
    if (!user.empty()) info.m_UserName = user;
    if (userId >= 0) info.m_UserId = DWORD(userId);
    std::string error;
    if (!info.Save(store.Dir(), &error)) return Fail(kExitFailed, error);
    std::printf("Handheld %s%s%s\n", store.Dir().c_str(), info.m_UserName.empty() ? "" : " of ",
                info.m_UserName.c_str());
    return 0;
}

bool IsDatabaseFileName(std::string name)
{
    if (name.empty() || name[0] == '.' || name.size() < 5) return false;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const std::string ext = name.substr(name.size() - 4);
    return ext == ".pdb" || ext == ".prc";
}

// The database files the store passes over: a second file for a name, or a
// file without any name to read. Each is listed as not in use, or damaged.
std::vector<CHandheldStore::Entry> UnlistedFiles(const CHandheldStore& store,
                                                 const std::vector<CHandheldStore::Entry>& listed)
{
    std::vector<CHandheldStore::Entry> out;
    std::error_code ec;
    for (const auto& de : fs::directory_iterator(store.Dir(), ec)) {
        const std::string path = de.path().string();
        const fs::path fileName = de.path().filename();
        if (!IsDatabaseFileName(fileName.string()) || !de.is_regular_file(ec)) continue;
        // By file name: the store joins with '/', Windows' paths with '\'.
        auto sameFile = [&](const auto& e) { return fs::path(e.path).filename() == fileName; };
        if (std::any_of(listed.begin(), listed.end(), sameFile)) continue;
        CHandheldStore::Entry e;
        e.path = path;
        e.name = de.path().filename().string();
        e.damaged = true;
        e.fileSize = de.file_size(ec);
        CPdbFile f;
        if (f.ReadPdbFile(path.c_str()) && !f.m_Name.empty()) {
            e.damaged = !std::any_of(listed.begin(), listed.end(), [&](const auto& l) { return l.name == f.m_Name; });
            e.type = f.m_Type;
            e.creator = f.m_Creator;
            e.attributes = f.m_Attributes;
            e.recordCount = WORD(f.m_RecordSet.GetCount());
            e.modNumber = f.m_ModificationNumber;
        }
        out.push_back(e);
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return out;
}

// A database name in its column, counted in what the terminal shows.
std::string NameColumn(const std::string& name)
{
    return platform::PadToWidth(name, 31);
}

int CmdList(const std::string& dir, bool json)
{
    CHandheldStore store(dir);
    if (!store.Exists()) return Fail(kExitUsage, "no handheld at " + dir);
    const auto entries = store.List();
    const auto unlisted = UnlistedFiles(store, entries);
    if (json) {
        nlohmann::json out = nlohmann::json::array();
        auto add = [&](const CHandheldStore::Entry& e, bool inUse) {
            out.push_back({{"name", e.name},
                           {"file", fs::path(e.path).filename().string()},
                           {"type", CDatabaseDump::CodeText(e.type)},
                           {"creator", CDatabaseDump::CodeText(e.creator)},
                           {"attributes", e.attributes},
                           {"records", e.recordCount},
                           {"modificationNumber", e.modNumber},
                           {"damaged", e.damaged},
                           {"inUse", inUse}});
        };
        for (const auto& e : entries) add(e, true);
        for (const auto& e : unlisted) add(e, false);
        std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return 0;
    }
    std::printf("%-31s  %-4s  %-4s  %-6s  %7s  %8s\n", "Name", "Type", "Crtr", "Attr", "Records", "ModNum");
    for (const auto& e : entries) {
        std::string flags;
        if (e.attributes & 0x0001) flags += " resource";
        if (e.attributes & 0x0002) flags += " read-only";
        if (e.attributes & 0x0008) flags += " backup";
        if (e.damaged) flags += " DAMAGED";
        std::printf("%s  %-4s  %-4s  0x%04X  %7u  %8u%s\n", NameColumn(e.name).c_str(),
                    CDatabaseDump::CodeText(e.type).c_str(), CDatabaseDump::CodeText(e.creator).c_str(),
                    unsigned(e.attributes), unsigned(e.recordCount), unsigned(e.modNumber), flags.c_str());
    }
    for (const auto& e : unlisted) {
        std::printf("%s  %-4s  %-4s  0x%04X  %7u  %8u %s\n", NameColumn(e.name).c_str(), CDatabaseDump::CodeText(e.type).c_str(),
                    CDatabaseDump::CodeText(e.creator).c_str(), unsigned(e.attributes), unsigned(e.recordCount),
                    unsigned(e.modNumber), e.damaged ? "DAMAGED (no database name)" : "NOT USED (same name as another)");
    }
    std::printf("%zu database%s\n", entries.size(), entries.size() == 1 ? "" : "s");
    if (!unlisted.empty()) std::printf("%zu other file%s\n", unlisted.size(), unlisted.size() == 1 ? "" : "s");
    return 0;
}

int CmdDump(const std::string& dir, const std::string& name)
{
    CHandheldStore store(dir);
    if (!store.Exists()) return Fail(kExitUsage, "no handheld at " + dir);
    auto entry = store.Find(name);
    if (!entry) return Fail(kExitFailed, "no database named \"" + name + "\" on " + dir);
    std::ifstream in(entry->path, std::ios::binary);
    if (!in) return Fail(kExitFailed, "cannot read " + entry->path + ": " + std::strerror(errno));
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return Fail(kExitFailed, "cannot read " + entry->path + ": " + std::strerror(errno));
    const std::string damage = CDatabaseDump::Damage(bytes);
    CPdbFile f;
    if (!f.ReadPdbBuffer(bytes.data(), bytes.size())) {
        std::printf("Damaged: %s\n", damage.c_str());
        CDatabaseDump::Hex(std::cout, bytes.data(), bytes.size(), "    ");
        std::cout.flush();
        return Fail(kExitFailed, entry->path + " is damaged: " + damage);
    }
    if (!damage.empty()) std::printf("Damaged: %s; what follows is what could be read\n", damage.c_str());
    CDatabaseDump::Write(std::cout, f);
    std::cout.flush();
    if (!damage.empty()) return Fail(kExitFailed, entry->path + " is damaged: " + damage);
    return 0;
}

// The shopper's view, in the user's language as hotsync-gui speaks it.
int CmdShow(const std::string& dir, const std::string& name)
{
    runtext::LoadLanguage();
    if (!CHandheldStore(dir).Exists()) return Fail(kExitUsage, dataview::Text(4928, "no handheld at %s", dir));
    bool damaged = false;
    std::string error;
    const std::unique_ptr<CDataView> view = CDataView::Load(dir, name, damaged, error);
    if (!view) return Fail(kExitFailed, error);
    if (view->GetKind() == CDataView::Kind::Other) return Fail(kExitFailed, view->Heading());
    CDataViewText::Write(std::cout, *view, damaged);
    std::cout.flush();
    if (damaged) return Fail(kExitFailed, dataview::Text(4931, "%s is damaged: \"handheld dump\" shows where", name));
    return 0;
}

int CmdImport(const std::string& dir, const std::vector<std::string>& files)
{
    CHandheldStore store(dir);
    CHandheldLock lock;
    if (int rc = LockFor(store, lock)) return rc;
    int result = 0;
    for (const std::string& path : files) {
        std::error_code ec;
        if (!fs::exists(path, ec)) {
            result = Fail(kExitFailed, "cannot import " + path + ": " +
                                           (ec && ec != std::errc::no_such_file_or_directory ? ec.message() : "no such file"));
            continue;
        }
        CPdbFile f;
        const auto head = CHandheldStore::Examine(path);
        if (!head || head->damaged || head->name.empty() || !f.ReadPdbFile(path.c_str()) || f.m_Name.empty()) {
            result = Fail(kExitFailed, "cannot import " + path + ": it is not a whole Palm database (PDB or PRC file)");
            continue;
        }
        const bool replaced = store.Find(f.m_Name).has_value();
        std::string error;
        if (!store.Save(f, &error)) {
            result = Fail(kExitFailed, "cannot import " + path + ": " + error);
            continue;
        }
        std::printf("%s %s\n", replaced ? "Replaced" : "Imported", f.m_Name.c_str());
    }
    return result;
}

int CmdExport(const std::string& dir, const std::string& name, const std::string& file)
{
    CHandheldStore store(dir);
    if (!store.Exists()) return Fail(kExitUsage, "no handheld at " + dir);
    auto entry = store.Find(name);
    if (!entry) return Fail(kExitFailed, "no database named \"" + name + "\" on " + dir);
    std::ifstream in(entry->path, std::ios::binary);
    if (!in) return Fail(kExitFailed, "cannot read " + entry->path + ": " + std::strerror(errno));
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return Fail(kExitFailed, "cannot read " + entry->path + ": " + std::strerror(errno));
    std::string error;
    const fs::path target(file);
    const std::string targetDir = target.has_parent_path() ? target.parent_path().string() : ".";
    CHandheldStore::RemoveTemporaries(targetDir, target.filename().string(), CHandheldStore::kStaleSeconds);
    // An export is meant to be shared: the umask alone decides its mode.
    if (!CHandheldStore::WriteFileAtomically(file, bytes, &error, true, platform::NewFileMode::Umask))
        return Fail(kExitFailed, error);
    std::printf("Exported %s to %s\n", name.c_str(), file.c_str());
    return 0;
}

int CmdRemove(const std::string& dir, const std::string& name)
{
    CHandheldStore store(dir);
    CHandheldLock lock;
    if (int rc = LockFor(store, lock)) return rc;
    if (!store.Find(name)) return Fail(kExitFailed, "no database named \"" + name + "\" on " + dir);
    if (!store.Remove(name)) return Fail(kExitFailed, "cannot remove \"" + name + "\": " + std::strerror(errno));
    std::printf("Removed %s\n", name.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"handheld - the databases of a handheld directory (one Palm database file per database)"};
    app.require_subcommand(1);
    platform::AddVersionFlag(app, "handheld");

    std::string dir, name, file, user;
    long long userId = -1;
    bool force = false, json = false;
    std::vector<std::string> files;

    auto* init = app.add_subcommand("init", "Create a handheld directory and its handheld.json");
    init->add_option("DIR", dir, "Handheld directory")->required();
    init->add_option("--user", user, "User name of the handheld");
    init->add_option("--user-id", userId, "User id of the handheld")->check(CLI::Range(0LL, 4294967295LL));
    init->add_flag("--force", force, "Give the handheld to --user even when it belongs to someone else");

    auto* list = app.add_subcommand("list", "List the databases: name, type, creator, attributes, records, modification number");
    list->add_option("DIR", dir, "Handheld directory")->required();
    list->add_flag("--json", json, "As a JSON array, one object a database file");

    auto* dump = app.add_subcommand("dump", "Show a database: header, AppInfo, every record (decoded where known)");
    dump->add_option("DIR", dir, "Handheld directory")->required();
    dump->add_option("NAME", name, "Database name")->required();

    auto* show = app.add_subcommand("show", "Show a catalog, a list or the user context as the handheld holds it: "
                                            "items with prices and pictures, lines and order, addresses");
    show->add_option("DIR", dir, "Handheld directory")->required();
    show->add_option("NAME", name, "Database name")->required();

    auto* import = app.add_subcommand("import", "Copy PDB or PRC files onto the handheld (replacing databases of the same name)");
    import->add_option("DIR", dir, "Handheld directory")->required();
    import->add_option("FILE", files, "Database files")->required();

    auto* exportCmd = app.add_subcommand("export", "Copy a database of the handheld to a file");
    exportCmd->add_option("DIR", dir, "Handheld directory")->required();
    exportCmd->add_option("NAME", name, "Database name")->required();
    exportCmd->add_option("FILE", file, "File to write")->required();

    auto* remove = app.add_subcommand("remove", "Delete a database from the handheld");
    remove->add_option("DIR", dir, "Handheld directory")->required();
    remove->add_option("NAME", name, "Database name")->required();

    if (auto rc = platform::ParseCommandLine(app, argc, argv)) return *rc;
    try {
        if (init->parsed()) return CmdInit(dir, user, userId, force);
        if (list->parsed()) return CmdList(dir, json);
        if (dump->parsed()) return CmdDump(dir, name);
        if (show->parsed()) return CmdShow(dir, name);
        if (import->parsed()) return CmdImport(dir, files);
        if (exportCmd->parsed()) return CmdExport(dir, name, file);
        if (remove->parsed()) return CmdRemove(dir, name);
    } catch (const std::exception& e) {
        return Fail(kExitFailed, e.what());
    }
    return kExitUsage;
}
