// catalogc: builds catalog, list and user-context PDB files from JSON.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <CLI/CLI.hpp>

#include "CatalogCompiler.h"
#include "palmkit/HandheldStore.h"
#include "platform/CommandLine.h"
#include "seam/DurableFiles.h"
#include "seam/PrivateFiles.h"
#include "records/OleDateTime.h"

namespace {

// Local wall-clock time as seconds since 1904-01-01, as the handheld keeps it.
unsigned long NowSince1904()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const long long days = COleDateTime::DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) -
                           COleDateTime::DaysFromCivil(1904, 1, 1);
    return (unsigned long)(days * 86400 + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
}

// Writes to a temporary file beside the target, then renames it over the
// target, so that a reader never sees half a database. A temporary that a
// killed run left there long ago goes first.
bool WriteAtomically(const std::string& path, const std::vector<BYTE>& bytes, std::string& error)
{
    const std::filesystem::path target(path);
    const std::string dir = target.has_parent_path() ? target.parent_path().string() : ".";
    const std::string base = target.filename().string();
    CHandheldStore::RemoveTemporaries(dir, base, CHandheldStore::kStaleSeconds);
    std::string tmp = dir + "/." + base + ".tmp.XXXXXX";
    // Created with the usual mode, as any file a program makes for sharing.
    const int fd = platform::CreateUniqueFile(tmp, platform::CreationMode(dir, platform::NewFileMode::Umask));
    if (fd < 0) {
        error = std::string("cannot create a file beside ") + path + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += std::size_t(n);
    }
    const bool written = done == bytes.size() && platform::FlushFile(fd);
    const int savedErrno = errno;
    ::close(fd);
    if (!written || !platform::MoveIntoPlace(tmp, path)) {
        error = std::string("cannot write ") + path + ": " + std::strerror(written ? errno : savedErrno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

// Where the text stops being JSON, in words: "line 3, column 7: ...".
class SyntaxErrorCatcher : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit SyntaxErrorCatcher(const std::string& text) : m_Text(text) {}
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) override
    {
        // position counts bytes read, the offending one included.
        const std::size_t end = std::min(position == 0 ? 0 : position - 1, m_Text.size());
        std::size_t line = 1, column = 1;
        for (std::size_t i = 0; i < end; ++i) {
            if (m_Text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        m_Message = "not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column);
        if (end >= m_Text.size()) m_Message += " (the text ends too early)";
        else m_Message += " (unexpected " + Printable(m_Text.substr(end, 1)) + ")";
        return false;
    }
    const std::string& Message() const { return m_Message; }

private:
    static std::string Printable(const std::string& token)
    {
        std::string out = "'";
        for (unsigned char c : token) {
            if (c >= 0x20 && c < 0x7F) {
                out += char(c);
            } else {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", c);
                out += buf;
            }
        }
        return out + "'";
    }
    const std::string& m_Text;
    std::string m_Message;
};

bool ParseJson(const std::string& text, nlohmann::json& root, std::string& error)
{
    SyntaxErrorCatcher catcher(text);
    if (!nlohmann::json::sax_parse(text, &catcher)) {
        error = catcher.Message();
        return false;
    }
    root = nlohmann::json::parse(text);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"catalogc: builds a catalog (CATA), list (LIST, EMLS) or user-context (USER) PDB file from JSON"};
    std::string input;
    std::string output;
    app.add_option("input", input, "JSON description of the database")->required();
    app.add_option("-o,--output", output,
                   "PDB file to write (default: <name>.pdb in the current folder, the name escaped as on a handheld)");
    app.footer(CCatalogCompiler::SchemaHelp());
    platform::AddVersionFlag(app, "catalogc");
    if (auto rc = platform::ParseCommandLine(app, argc, argv)) return *rc;

    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::cerr << "catalogc: cannot read " << input << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::cerr << "catalogc: cannot read " << input << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    nlohmann::json root;
    std::string syntaxError;
    if (!ParseJson(text, root, syntaxError)) {
        std::cerr << "catalogc: " << input << ": " << syntaxError << "\n";
        return 1;
    }

    const std::filesystem::path inputPath(input);
    CCatalogCompiler compiler(inputPath.parent_path().string(), NowSince1904());
    std::unique_ptr<CPdbFile> pdb = compiler.Compile(root);
    if (!pdb) {
        for (const std::string& error : compiler.Errors()) std::cerr << "catalogc: " << input << ": " << error << "\n";
        return 1;
    }
    // A database name is not a path: escaped as the handheld names its files,
    // it always names a file in the current folder.
    if (output.empty()) output = CHandheldStore::EscapeName(pdb->m_Name) + ".pdb";
    std::string error;
    if (!WriteAtomically(output, pdb->ToBytes(), error)) {
        std::cerr << "catalogc: " << error << "\n";
        return 1;
    }
    std::cout << output << ": " << pdb->m_RecordSet.GetCount() << " records\n";
    return 0;
}
