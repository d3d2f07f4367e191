#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/TestFiles.h"
#include "RegFile.h"
#include "winreg/RegTestStore.h"

namespace {

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

struct Result {
    int exit = -1;
    std::string out, err;
};

class NorvregTest : public ::testing::Test {
protected:
    // Runs norvreg on `storeFile` (the test's store by default), under `umask` when given.
    Result Norvreg(const std::string& args, const std::string& storeFile = "", const std::string& umask = "")
    {
        const std::string out = store.Dir() + "/out.txt", err = store.Dir() + "/err.txt";
        const std::string cmd = (umask.empty() ? "" : "umask " + umask + "; ") + "NORVELIA_REGISTRY='" +
                                (storeFile.empty() ? store.Path() : storeFile) + "' '" +
                                NORV_BINARY_DIR "/bin/norvreg' " + args + " >'" + out + "' 2>'" + err + "' </dev/null";
        Result r;
        int status = std::system(cmd.c_str());
        r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadAll(out);
        r.err = ReadAll(err);
        return r;
    }

    RegTestStore store;
};

} // namespace

TEST_F(NorvregTest, DefaultsImportThenExportGivesTheSameFile)
{
    const std::string defaults = NORV_SOURCE_DIR "/share/norvelia/defaults.reg";
    Result r = Norvreg("import '" + defaults + "'");
    ASSERT_EQ(r.exit, 0) << r.err;
    r = Norvreg("export");
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, ReadAll(defaults));

    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, "Software\\Norvelia\\Tidepost\\Servers", "Norvelia"),
              std::string("http://127.0.0.1:8470/Tidepost/xxx/yyy", 39));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Norvelia\\Tidepost\\Users"));
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Norvelia\\Tidepost"));

    r = Norvreg("get 'HKLM\\SOFTWARE\\Norvelia\\Tidepost\\Servers' norvelia");
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "http://127.0.0.1:8470/Tidepost/xxx/yyy\n");
    r = Norvreg("list 'HKEY_LOCAL_MACHINE\\Software\\Norvelia\\Tidepost'");
    EXPECT_EQ(r.out, "[HKEY_LOCAL_MACHINE\\Software\\Norvelia\\Tidepost]\nServers\\\nUsers\\\n");
}

TEST_F(NorvregTest, EveryKindOfValueSurvivesExportAndImport)
{
    const std::string p = "Software\\Mixed Case\\Sub Key";
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, p, "Quote\"And\\Slash", "C:\\Palm\\ \"x\" ;[y]="), ERROR_SUCCESS);
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, p, "Mode", REG_SZ, "1" + std::string(255, '\0')), ERROR_SUCCESS);
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, p, "Lines", REG_SZ, std::string("a\nb\0", 4)), ERROR_SUCCESS);
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, p, "Path", REG_EXPAND_SZ, std::string("%HOME%\\x\0", 9)), ERROR_SUCCESS);
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, p, "Tab", REG_DWORD, std::string("\x02\x00\x00\x80", 4)), ERROR_SUCCESS);
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, p, "Odd", REG_DWORD, "ab"), ERROR_SUCCESS);
    std::string blob;
    for (int i = 0; i < 300; ++i)
        blob.push_back(char(i));
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, p, "Blob", REG_BINARY, blob), ERROR_SUCCESS);
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, p, "Empty", REG_BINARY, ""), ERROR_SUCCESS);
    ASSERT_EQ(RegPut(HKEY_LOCAL_MACHINE, p, "None", REG_NONE, "zz"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, p, "", "default"), ERROR_SUCCESS);
    ASSERT_EQ(RegPut(HKEY_CURRENT_USER, "Software\\X", "LastErrorCode", REG_BINARY, std::string(4, '\xFF')),
              ERROR_SUCCESS);

    Result first = Norvreg("export");
    ASSERT_EQ(first.exit, 0) << first.err;
    EXPECT_NE(first.out.find("\"Quote\\\"And\\\\Slash\"=\"C:\\\\Palm\\\\ \\\"x\\\" ;[y]=\""), std::string::npos)
        << first.out;
    EXPECT_NE(first.out.find("@=\"default\""), std::string::npos);
    EXPECT_NE(first.out.find("\"Tab\"=dword:80000002"), std::string::npos);
    for (std::size_t start = 0, nl; (nl = first.out.find('\n', start)) != std::string::npos; start = nl + 1)
        EXPECT_LE(nl - start, 80u) << "line too long";
    WriteFile(store.Dir() + "/all.reg", first.out);

    const std::string fresh = store.Dir() + "/fresh.db";
    Result r = Norvreg("import '" + store.Dir() + "/all.reg'", fresh);
    ASSERT_EQ(r.exit, 0) << r.err;
    Result second = Norvreg("export", fresh);
    EXPECT_EQ(second.out, first.out);

    winreg::SetStorePath(fresh);
    DWORD type = 0;
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, p, "mode", &type), "1" + std::string(255, '\0'));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, p, "Lines"), std::string("a\nb\0", 4));
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, p, "Path", &type), std::string("%HOME%\\x\0", 9));
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, p, "Odd", &type), "ab");
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, p, "Blob"), blob);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, p, "Empty", &type), "");
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, p, "None", &type), "zz");
    EXPECT_EQ(type, REG_NONE);
    EXPECT_EQ(RegGet(HKEY_CURRENT_USER, "Software\\X", "LastErrorCode"), std::string(4, '\xFF'));
}

TEST_F(NorvregTest, ImportIsAllOrNothingAndAppliesDeletions)
{
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "Software\\Old\\Deep", "V", "x"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "Software\\Keep", "Gone", "x"), ERROR_SUCCESS);
    ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, "Software\\Keep", "Stay", "x"), ERROR_SUCCESS);
    const std::string file = store.Dir() + "/in.reg";

    // A syntax error: nothing is applied, and the line is named.
    WriteFile(file, "Windows Registry Editor Version 5.00\n\n[HKLM\\Software\\New]\n\"A\"=\"1\"\n\"B\"=word:1\n");
    Result r = Norvreg("import '" + file + "'");
    EXPECT_NE(r.exit, 0);
    EXPECT_NE(r.err.find("line 5"), std::string::npos) << r.err;
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\New"));

    // A failure while applying: what came before is undone too.
    WriteFile(file, "Windows Registry Editor Version 5.00\n[HKLM\\Software\\New]\n\"A\"=\"1\"\n[-HKEY_LOCAL_MACHINE]\n");
    r = Norvreg("import '" + file + "'");
    EXPECT_NE(r.exit, 0);
    EXPECT_NE(r.err.find("nothing was imported"), std::string::npos) << r.err;
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\New"));

    // regedit's own output: CRLF, comments, deletions, continued hex lists.
    WriteFile(file, "Windows Registry Editor Version 5.00\r\n\r\n; comment\r\n[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n"
                    "[-HKEY_LOCAL_MACHINE\\Software\\NeverThere]\r\n[HKEY_LOCAL_MACHINE\\Software\\Keep]\r\n"
                    "\"Gone\"=-\r\n\"NotThere\"=-\r\n\"Bin\"=hex:01,02,\\\r\n  03\r\n\"X\"=hex(2):41,00\r\n@=\"d\"\r\n");
    r = Norvreg("import '" + file + "'");
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Old"));
    EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, "Software\\Keep", "Gone"));
    EXPECT_TRUE(RegGet(HKEY_LOCAL_MACHINE, "Software\\Keep", "Stay"));
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, "Software\\Keep", "Bin"), std::string("\x01\x02\x03", 3));
    DWORD type = 0;
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, "Software\\Keep", "X", &type), std::string("A\0", 2));
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(RegGet(HKEY_LOCAL_MACHINE, "Software\\Keep", ""), std::string("d\0", 2));
}

TEST_F(NorvregTest, ParserRefusesWhatItCannotReadExactly)
{
    std::vector<RegFileKey> keys;
    std::string error;
    const std::string h = std::string(kRegFileHeader) + "\n";
    EXPECT_FALSE(ParseRegFile("[HKLM\\A]\n", &keys, &error));
    EXPECT_NE(error.find("first line"), std::string::npos);
    EXPECT_FALSE(ParseRegFile("\xFF\xFEW\0i\0", &keys, &error));
    EXPECT_NE(error.find("UTF-16"), std::string::npos);
    EXPECT_FALSE(ParseRegFile(h + "\"A\"=\"1\"\n", &keys, &error));
    EXPECT_EQ(error, "line 2: a value comes before any [key] header");
    EXPECT_FALSE(ParseRegFile(h + "[HKLM\\A]\n\"A\"=\"C:\\Palm\"\n", &keys, &error));
    EXPECT_NE(error.find("line 3"), std::string::npos);
    EXPECT_FALSE(ParseRegFile(h + "[HKEY_NOWHERE\\A]\n", &keys, &error));
    EXPECT_FALSE(ParseRegFile(h + "[HKLM\\A]\n\"A\"=dword:123456789\n", &keys, &error));
    EXPECT_FALSE(ParseRegFile(h + "[HKLM\\A]\n\"A\"=hex:1g\n", &keys, &error));
    EXPECT_FALSE(ParseRegFile(h + "[HKLM\\A]\n\"A\"=\"x\" trailing\n", &keys, &error));
    EXPECT_FALSE(ParseRegFile(h + "[HKLM\\A]\n\"A\"=hex:01,\\\n", &keys, &error));

    ASSERT_TRUE(ParseRegFile("\xEF\xBB\xBFREGEDIT4\n[hkcu\\A\\]\n\"A\" = dword:a\n", &keys, &error)) << error;
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].hive, HKEY_CURRENT_USER);
    EXPECT_EQ(keys[0].path, "A");
    EXPECT_EQ(keys[0].values[0].data, std::string("\x0a\0\0\0", 4));
}

TEST_F(NorvregTest, CommandLineReportsEveryFailure)
{
    Result r = Norvreg("set 'HKCU\\Software\\T' Count 0x10 --type dword");
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(Norvreg("get 'HKCU\\Software\\T' count").out, "16\n");
    EXPECT_EQ(Norvreg("set 'HKCU\\Software\\T' Bytes 01,ff -t binary").exit, 0);
    EXPECT_EQ(Norvreg("get 'HKCU\\Software\\T' Bytes").out, "01,ff\n");
    EXPECT_NE(Norvreg("set 'HKCU\\Software\\T' Count -1 --type dword").exit, 0);
    EXPECT_NE(Norvreg("set 'HKCU\\Software\\T' Count 4294967296 --type dword").exit, 0);

    r = Norvreg("get 'HKCU\\Software\\T' Missing");
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("not found"), std::string::npos) << r.err;
    r = Norvreg("get 'HKXX\\Software' A");
    EXPECT_NE(r.exit, 0);
    EXPECT_NE(r.err.find("HKLM"), std::string::npos) << r.err;
    EXPECT_NE(Norvreg("list 'HKCU\\Software\\Nothing'").exit, 0);
    EXPECT_NE(Norvreg("delete 'HKCU\\Software\\T' Missing").exit, 0);
    EXPECT_EQ(Norvreg("delete 'HKCU\\Software\\T' Count").exit, 0);
    EXPECT_EQ(Norvreg("delete 'HKCU\\Software'").exit, 0);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software"));
    EXPECT_NE(Norvreg("delete HKCU").exit, 0);
    EXPECT_EQ(Norvreg("frobnicate").exit, 2);
    EXPECT_EQ(Norvreg("set 'HKCU\\Software\\T' Count 1 --type word").exit, 2);
    // File failures carry the system's reason.
    const struct {
        std::string args, err;
    } files[] = {
        {"import /nonexistent/a.reg", "norvreg: cannot read /nonexistent/a.reg: No such file or directory\n"},
        {"export -o /nonexistent/a.reg", "norvreg: cannot create /nonexistent/a.reg: No such file or directory\n"},
    };
    for (const auto& f : files) {
        r = Norvreg(f.args);
        EXPECT_EQ(r.exit, 1) << f.args;
        EXPECT_EQ(r.err, f.err) << f.args;
    }
    for (const char* command : {"", "get ", "set ", "delete ", "list ", "import ", "export "}) {
        r = Norvreg(std::string(command) + "--help");
        EXPECT_EQ(r.exit, 0) << command;
        EXPECT_NE(r.out.find("Usage"), std::string::npos) << command;
    }
}

// An export that holds a password (PWD is what the service takes as one) is
// its owner's alone from the moment it exists, whatever the umask, also over
// an older file others could read; the rest follows the umask.
TEST_F(NorvregTest, AnExportHoldingAPasswordIsReadableByItsOwnerAlone)
{
    const std::string product = "HKLM\\Software\\Norvelia\\Tidepost";
    ASSERT_EQ(Norvreg("set '" + product + "\\Servers' Norvelia http://127.0.0.1/x/y").exit, 0);
    ASSERT_EQ(Norvreg("set '" + product + "\\Users\\Anne\\Norvelia' PWD 0A1B2C").exit, 0);
    ASSERT_EQ(Norvreg("set '" + product + "\\Proxy' ProxyPassword pr0xy").exit, 0);
    const struct {
        const char* umask;
        const char* key;
        mode_t before; // 0: no file yet
        mode_t mode;
    } cases[] = {
        {"022", "\\Users", 0, 0600},      {"000", "\\Users", 0644, 0600}, {"000", "\\Proxy", 0, 0600},
        {"000", "", 0666, 0600},            {"022", "\\Servers", 0, 0644},  {"002", "\\Servers", 0600, 0664},
    };
    const std::string file = store.Dir() + "/export.reg";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " umask " + c.umask);
        std::filesystem::remove(file);
        if (c.before) {
            WriteFile(file, "older");
            ASSERT_EQ(::chmod(file.c_str(), c.before), 0);
        }
        const Result r = Norvreg("export '" + product + c.key + "' -o '" + file + "'", "", c.umask);
        ASSERT_EQ(r.exit, 0) << r.err;
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(ReadAll(file), Norvreg("export '" + product + c.key + "'").out);
    }
    // A link leads to the file written; the link stays.
    const std::string link = store.Dir() + "/link.reg";
    std::filesystem::create_symlink("linked.reg", link);
    ASSERT_EQ(Norvreg("export '" + product + "\\Users' -o '" + link + "'").exit, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    struct stat st {};
    ASSERT_EQ(::stat((store.Dir() + "/linked.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // Nothing left beside it.
    for (const auto& e : std::filesystem::directory_iterator(store.Dir()))
        EXPECT_EQ(e.path().filename().string().find(".export.reg.tmp."), std::string::npos) << e.path();
    const Result help = Norvreg("export --help");
    EXPECT_NE(help.out.find("mode 0600"), std::string::npos) << help.out;
}

TEST_F(NorvregTest, DamagedStoreMakesEveryCommandFail)
{
    const std::string damaged = store.Dir() + "/damaged.db";
    std::string garbage;
    for (int i = 0; i < 8192; ++i)
        garbage.push_back(char(i * 13 + 5));
    WriteFile(damaged, garbage);
    const std::string defaults = NORV_SOURCE_DIR "/share/norvelia/defaults.reg";
    for (const std::string& args : {std::string("get 'HKLM\\Software' A"), std::string("set 'HKLM\\Software' A b"),
                                    std::string("list HKLM"), std::string("delete 'HKLM\\Software'"),
                                    std::string("export"), "import '" + defaults + "'"}) {
        Result r = Norvreg(args, damaged);
        EXPECT_EQ(r.exit, 1) << args;
        EXPECT_NE(r.err.find("damaged"), std::string::npos) << args << ": " << r.err;
        EXPECT_NE(r.err.find(damaged), std::string::npos) << args << ": " << r.err;
    }
    EXPECT_EQ(ReadAll(damaged), garbage); // never "repaired" behind the user's back
}
