// norvreg: reads, writes, lists, imports and exports the settings store.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

#include "RegFile.h"
#include "platform/CommandLine.h"
#include "seam/PrivateFiles.h"
#include "winreg/WinReg.h"

namespace {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<HKEY__, KeyCloser>;

// A failure to report: the message, then the process exits 1.
struct Failure {
    std::string message;
};

[[noreturn]] void Fail(const std::string& what, LSTATUS code)
{
    std::string text = what + ": " + winreg::ResultText(code);
    if (code == ERROR_BADDB || code == ERROR_CANTOPEN || code == ERROR_CANTREAD || code == ERROR_CANTWRITE)
        text += " (" + winreg::StorePath() + ")";
    throw Failure{text};
}

struct KeyPath {
    HKEY hive = nullptr;
    std::string path;
    std::string full;
};

KeyPath ParseKey(const std::string& text)
{
    KeyPath k;
    if (!SplitHive(text, &k.hive, &k.path))
        throw Failure{"\"" + text + "\": a key path starts with HKLM, HKEY_LOCAL_MACHINE, HKCU or HKEY_CURRENT_USER"};
    k.full = HiveName(k.hive) + (k.path.empty() ? "" : "\\" + k.path);
    return k;
}

Key Open(const KeyPath& k, REGSAM access)
{
    HKEY key = nullptr;
    if (LSTATUS r = RegOpenKeyExA(k.hive, k.path.c_str(), 0, access, &key); r != ERROR_SUCCESS)
        Fail("cannot open " + k.full, r);
    return Key(key);
}

struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
};

std::vector<Value> Values(HKEY key, const std::string& where)
{
    std::vector<Value> out;
    for (DWORD i = 0;; ++i) {
        std::string name(16384, '\0');
        DWORD nameSize = DWORD(name.size());
        DWORD type = 0, size = 0;
        LSTATUS r = RegEnumValueA(key, i, name.data(), &nameSize, &type, nullptr, &size);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS)
            Fail("cannot list the values of " + where, r);
        std::string data(size, '\0');
        nameSize = DWORD(name.size());
        r = RegEnumValueA(key, i, name.data(), &nameSize, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (r != ERROR_SUCCESS)
            Fail("cannot read the values of " + where, r);
        name.resize(nameSize);
        data.resize(size);
        out.push_back({name, type, data});
    }
    return out;
}

std::vector<std::string> SubKeys(HKEY key, const std::string& where)
{
    std::vector<std::string> out;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        LSTATUS r = RegEnumKeyExA(key, i, name, &size);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS)
            Fail("cannot list the subkeys of " + where, r);
        out.emplace_back(name, size);
    }
    return out;
}

std::string Hex(const std::string& data)
{
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", unsigned(BYTE(data[i])));
        out += buf;
    }
    return out;
}

std::string ReadAll(const std::string& file)
{
    if (file == "-")
        return std::string(std::istreambuf_iterator<char>(std::cin), {});
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Failure{"cannot read " + file + ": " + std::strerror(errno)};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int Get(const std::string& keyText, const std::string& name)
{
    KeyPath k = ParseKey(keyText);
    Key key = Open(k, KEY_QUERY_VALUE);
    DWORD type = 0, size = 0;
    const std::string what = name.empty() ? "the default value of " + k.full : "value \"" + name + "\" of " + k.full;
    if (LSTATUS r = RegQueryValueExA(key.get(), name.c_str(), &type, nullptr, &size); r != ERROR_SUCCESS)
        Fail("cannot read " + what, r);
    std::string data(size, '\0');
    if (LSTATUS r = RegQueryValueExA(key.get(), name.c_str(), &type, reinterpret_cast<BYTE*>(data.data()), &size);
        r != ERROR_SUCCESS)
        Fail("cannot read " + what, r);
    data.resize(size);
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        std::cout << data.substr(0, data.find('\0')) << "\n";
    else if (type == REG_DWORD && data.size() == 4)
        std::cout << (DWORD(BYTE(data[0])) | DWORD(BYTE(data[1])) << 8 | DWORD(BYTE(data[2])) << 16 |
                      DWORD(BYTE(data[3])) << 24)
                  << "\n";
    else
        std::cout << Hex(data) << "\n";
    return 0;
}

int Set(const std::string& keyText, const std::string& name, const std::string& text, const std::string& type)
{
    KeyPath k = ParseKey(keyText);
    RegFileValue v;
    if (type == "sz" || type == "expand_sz") {
        v.type = type == "sz" ? REG_SZ : REG_EXPAND_SZ;
        v.data = text + '\0';
    } else if (type == "dword") {
        std::size_t used = 0;
        unsigned long long n = 0;
        try {
            n = std::stoull(text, &used, 0);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used != text.size() || text.empty() || n > 0xFFFFFFFFull || text[0] == '-')
            throw Failure{"\"" + text + "\" is not a dword (decimal, or hexadecimal with 0x)"};
        v.type = REG_DWORD;
        v.data = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    } else {
        std::vector<RegFileKey> keys;
        std::string error;
        if (!ParseRegFile(std::string(kRegFileHeader) + "\n[HKLM]\n@=hex:" + text + "\n", &keys, &error))
            throw Failure{"\"" + text + "\" is not a list of hexadecimal bytes (like 01,ff,20)"};
        v.type = REG_BINARY;
        v.data = keys[0].values[0].data;
    }
    HKEY raw = nullptr;
    if (LSTATUS r = RegCreateKeyExA(k.hive, k.path.c_str(), 0, KEY_SET_VALUE, &raw, nullptr); r != ERROR_SUCCESS)
        Fail("cannot create " + k.full, r);
    Key key(raw);
    if (LSTATUS r = RegSetValueExA(key.get(), name.c_str(), v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                                   DWORD(v.data.size()));
        r != ERROR_SUCCESS)
        Fail("cannot write value \"" + name + "\" of " + k.full, r);
    return 0;
}

int Delete(const std::string& keyText, const std::string* name)
{
    KeyPath k = ParseKey(keyText);
    if (!name) {
        if (k.path.empty())
            throw Failure{"a whole hive cannot be deleted"};
        if (LSTATUS r = RegDeleteKeyA(k.hive, k.path.c_str()); r != ERROR_SUCCESS)
            Fail("cannot delete " + k.full, r);
        return 0;
    }
    Key key = Open(k, KEY_SET_VALUE);
    if (LSTATUS r = RegDeleteValueA(key.get(), name->c_str()); r != ERROR_SUCCESS)
        Fail("cannot delete value \"" + *name + "\" of " + k.full, r);
    return 0;
}

int List(const std::string& keyText)
{
    KeyPath k = ParseKey(keyText);
    Key key = Open(k, KEY_READ);
    std::cout << FormatRegKeyHeader(k.hive, k.path) << "\n";
    for (const Value& v : Values(key.get(), k.full))
        std::cout << FormatRegValue(v.name, v.type, v.data) << "\n";
    for (const std::string& sub : SubKeys(key.get(), k.full))
        std::cout << sub << "\\\n";
    return 0;
}

// PWD (its stored form is what the service takes as the password) and
// ProxyPassword, or any other value named after a password.
bool IsPasswordValue(const std::string& name)
{
    std::string lower;
    for (char c : name) lower += char(std::tolower(static_cast<unsigned char>(c)));
    return lower == "pwd" || lower.find("password") != std::string::npos;
}

// Writes the keys below `key`; `secret` becomes true when a password value is among them.
void ExportKey(std::ostream& out, HKEY hive, const std::string& path, HKEY key, bool& secret)
{
    const std::string where = HiveName(hive) + (path.empty() ? "" : "\\" + path);
    std::vector<Value> values = Values(key, where);
    if (!path.empty() || !values.empty()) {
        out << FormatRegKeyHeader(hive, path) << "\n";
        for (const Value& v : values) {
            out << FormatRegValue(v.name, v.type, v.data) << "\n";
            if (IsPasswordValue(v.name)) secret = true;
        }
        out << "\n";
    }
    for (const std::string& sub : SubKeys(key, where)) {
        HKEY child = nullptr;
        if (LSTATUS r = RegOpenKeyExA(key, sub.c_str(), 0, KEY_READ, &child); r != ERROR_SUCCESS)
            Fail("cannot open " + where + "\\" + sub, r);
        Key owned(child);
        ExportKey(out, hive, path.empty() ? sub : path + "\\" + sub, owned.get(), secret);
    }
}

bool WriteWhole(int fd, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

// A file whose folder takes no new file: written over, narrowed to 0600 first
// when it is to hold a password.
void RewriteInPlace(const std::string& file, const std::string& text, bool secret)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) throw Failure{"cannot open " + file + ": " + std::strerror(errno)};
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && secret && (st.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0) {
        const int saved = errno;
        ::close(fd);
        throw Failure{"cannot make " + file + " private, so the export holding a password is not written: " +
                      std::strerror(saved)};
    }
    ok = ok && ::ftruncate(fd, 0) == 0 && WriteWhole(fd, text);
    const int saved = errno;
    ::close(fd);
    if (!ok) throw Failure{"cannot write " + file + ": " + std::strerror(saved)};
}

// An export file, whole or not at all. One that holds a password is 0600 from
// the moment it exists, whatever the umask, also in place of an older, wider
// file; any other gets the umask's mode. A target that is no regular file (a
// pipe, a terminal) is written as it is: where it leads is the user's choice.
void WriteExportFile(const std::string& file, const std::string& text, bool secret)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(file, ec);
    if (fs::exists(st) && !fs::is_regular_file(st)) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) throw Failure{"cannot open " + file + ": " + std::strerror(errno)};
        const bool ok = WriteWhole(fd, text);
        const int saved = errno;
        ::close(fd);
        if (!ok) throw Failure{"cannot write " + file + ": " + std::strerror(saved)};
        return;
    }
    // A link leads to the file it names: that file is replaced, the link stays.
    fs::path target = file;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
        const fs::path to = fs::read_symlink(target, ec);
        if (ec) break;
        target = to.is_absolute() ? to : target.parent_path() / to;
    }
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temporary = (dir / ("." + target.filename().string() + ".tmp.XXXXXX")).string();
    const int fd = platform::CreateUniqueFile(temporary, secret ? 0600 : 0666);
    if (fd < 0 && errno == EACCES && fs::is_regular_file(st)) return RewriteInPlace(target.string(), text, secret);
    if (fd < 0) throw Failure{"cannot create " + file + ": " + std::strerror(errno)};
    const bool ok = WriteWhole(fd, text) && ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && ok) saved = errno;
    if (!ok || ::rename(temporary.c_str(), target.c_str()) != 0) {
        if (ok) saved = errno;
        ::unlink(temporary.c_str());
        throw Failure{"cannot write " + file + ": " + std::strerror(saved)};
    }
}

int Export(const std::vector<std::string>& keyTexts, const std::string& file)
{
    std::vector<KeyPath> roots;
    for (const std::string& text : keyTexts)
        roots.push_back(ParseKey(text));
    if (roots.empty())
        for (const char* hive : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"})
            roots.push_back(ParseKey(hive));
    std::ostringstream text;
    text << kRegFileHeader << "\n\n";
    // One transaction gives a consistent picture while others write.
    std::string failure;
    bool secret = false;
    LSTATUS r = winreg::RunInTransaction([&] {
        try {
            for (const KeyPath& k : roots) {
                Key key = Open(k, KEY_READ);
                ExportKey(text, k.hive, k.path, key.get(), secret);
            }
        } catch (const Failure& f) {
            failure = f.message;
            return ERROR_INVALID_FUNCTION;
        }
        return ERROR_SUCCESS;
    }, false);
    if (!failure.empty())
        throw Failure{failure};
    if (r != ERROR_SUCCESS)
        Fail("cannot export", r);
    if (file.empty() || file == "-") {
        std::cout << text.str();
        std::cout.flush();
        if (!std::cout)
            throw Failure{"cannot write the export: " + std::string(std::strerror(errno))};
        return 0;
    }
    WriteExportFile(file, text.str(), secret);
    return 0;
}

int Import(const std::string& file)
{
    std::vector<RegFileKey> keys;
    std::string error;
    if (!ParseRegFile(ReadAll(file), &keys, &error))
        throw Failure{(file == "-" ? std::string("standard input") : file) + ": " + error};
    std::string failedAt;
    LSTATUS r = winreg::RunInTransaction([&] {
        for (const RegFileKey& k : keys) {
            const std::string where = "line " + std::to_string(k.line) + ", " + FormatRegKeyHeader(k.hive, k.path);
            if (k.remove) {
                if (k.path.empty()) {
                    failedAt = where + " (a whole hive cannot be deleted)";
                    return ERROR_ACCESS_DENIED;
                }
                LSTATUS d = RegDeleteKeyA(k.hive, k.path.c_str());
                if (d != ERROR_SUCCESS && d != ERROR_FILE_NOT_FOUND) {
                    failedAt = where;
                    return d;
                }
                continue;
            }
            HKEY raw = nullptr;
            if (LSTATUS c = RegCreateKeyExA(k.hive, k.path.c_str(), 0, KEY_ALL_ACCESS, &raw, nullptr);
                c != ERROR_SUCCESS) {
                failedAt = where;
                return c;
            }
            Key key(raw);
            for (const RegFileValue& v : k.values) {
                LSTATUS w = v.remove ? RegDeleteValueA(key.get(), v.name.c_str())
                                     : RegSetValueExA(key.get(), v.name.c_str(), v.type,
                                                      reinterpret_cast<const BYTE*>(v.data.data()),
                                                      DWORD(v.data.size()));
                if (w != ERROR_SUCCESS && !(v.remove && w == ERROR_FILE_NOT_FOUND)) {
                    failedAt = "line " + std::to_string(v.line);
                    return w;
                }
            }
        }
        return ERROR_SUCCESS;
    });
    if (r != ERROR_SUCCESS)
        Fail("import of " + file + " failed" + (failedAt.empty() ? "" : " at " + failedAt) +
                 ", nothing was imported",
             r);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"norvreg: reads and writes the Norvelia settings store.\n"
                 "Key paths look like HKLM\\Software\\Norvelia\\Tidepost\\Servers\n"
                 "(HKLM or HKEY_LOCAL_MACHINE, HKCU or HKEY_CURRENT_USER)."};
    app.require_subcommand(1);
    platform::AddVersionFlag(app, "norvreg");
    std::string store;
    app.add_option("--store", store, "settings store file (default: $NORVELIA_REGISTRY, else "
                                     "${XDG_CONFIG_HOME:-~/.config}/norvelia/registry.db)");

    std::string key, name, data, type = "sz", file;
    std::vector<std::string> keys;

    CLI::App* get = app.add_subcommand("get", "print a value (without NAME: the key's default value)");
    get->add_option("KEY", key, "key path")->required();
    get->add_option("NAME", name, "value name");

    CLI::App* set = app.add_subcommand("set", "write a value, creating the key and its parents as needed");
    set->add_option("KEY", key, "key path")->required();
    set->add_option("NAME", name, "value name (\"\" for the default value)")->required();
    set->add_option("DATA", data, "text, dword (decimal or 0x...) or bytes (01,ff,...)")->required();
    set->add_option("-t,--type", type, "sz, expand_sz, dword or binary")
        ->check(CLI::IsMember({"sz", "expand_sz", "dword", "binary"}));

    CLI::App* del = app.add_subcommand("delete", "delete a value, or without NAME the key and all below it");
    del->add_option("KEY", key, "key path")->required();
    CLI::Option* delName = del->add_option("NAME", name, "value name");

    CLI::App* list = app.add_subcommand("list", "list the values and subkeys of a key");
    list->add_option("KEY", key, "key path")->required();

    CLI::App* imp = app.add_subcommand("import", "apply a .reg file, all or nothing");
    imp->add_option("FILE", file, ".reg file, - for standard input")->required();

    CLI::App* exp = app.add_subcommand("export", "write keys as a .reg file");
    exp->add_option("KEY", keys, "keys to export (default: every hive)");
    exp->add_option("-o,--output", file, "output file (default: standard output)");
    exp->footer("An output file that holds a password value (PWD, ProxyPassword) is written with mode 0600,\n"
                "readable by you alone, whatever the umask, also in place of an older file; any other file\n"
                "gets the umask's mode. Standard output goes where you send it.");

    if (auto rc = platform::ParseCommandLine(app, argc, argv))
        return *rc;
    if (!store.empty())
        winreg::SetStorePath(store);
    try {
        if (*get)
            return Get(key, name);
        if (*set)
            return Set(key, name, data, type);
        if (*del)
            return Delete(key, *delName ? &name : nullptr);
        if (*list)
            return List(key);
        if (*imp)
            return Import(file);
        if (*exp)
            return Export(keys, file);
    } catch (const Failure& f) {
        std::cerr << "norvreg: " << f.message << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "norvreg: " << e.what() << "\n";
        return 1;
    }
    return 1;
}
