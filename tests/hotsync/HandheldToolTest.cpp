// Runs the real handheld program on the databases catalogc builds.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/TestRun.h"
#include "palmkit/HandheldInfo.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "platform/Version.h"
#include "quillio/PdbFile.h"

namespace fs = std::filesystem;

namespace {

const std::string kBin = NORV_BINARY_DIR "/bin/";
const std::string kSamples = NORV_SOURCE_DIR "/service/samples/catalogc/";

std::vector<BYTE> Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class HandheldToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "handheld-tool-XXXXXX").string();
        m_Root = ::mkdtemp(tmpl.data());
        m_Dir = m_Root + "/hh";
        for (const char* sample : {"catalog", "list", "user"}) {
            const std::string out = m_Root + "/" + sample + ".pdb";
            RunResult r = RunCommand(kBin + "catalogc " + kSamples + sample + ".json -o " + out);
            ASSERT_EQ(r.code, 0) << r.output;
            m_Files.push_back(out);
        }
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_Root, ec);
    }
    RunResult Handheld(const std::string& args) { return RunCommand(kBin + "handheld " + args); }

    std::string m_Root, m_Dir;
    std::vector<std::string> m_Files;
};

TEST_F(HandheldToolTest, InitImportListDumpExportRemove)
{
    RunResult r = Handheld("init " + m_Dir + " --user Alice --user-id 42");
    ASSERT_EQ(r.code, 0) << r.output;
    CHandheldInfo info;
    ASSERT_TRUE(info.Load(m_Dir));
    EXPECT_EQ(info.m_UserName, "Alice");
    EXPECT_EQ(info.m_UserId, 42u);

    r = Handheld("import " + m_Dir + " " + m_Files[0] + " " + m_Files[1] + " " + m_Files[2]);
    ASSERT_EQ(r.code, 0) << r.output;
    CHandheldStore store(m_Dir);
    const auto entries = store.List();
    ASSERT_EQ(entries.size(), 3u);

    r = Handheld("list " + m_Dir);
    ASSERT_EQ(r.code, 0) << r.output;
    for (const auto& e : entries) EXPECT_NE(r.output.find(e.name), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("CATA  KESA"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("3 databases"), std::string::npos) << r.output;

    // Every record of the service's databases is decoded field by field.
    std::map<DWORD, std::string> byType;
    for (const auto& e : entries) byType[e.type] = e.name;
    r = Handheld("dump " + m_Dir + " " + byType[FourCC("CATA")]);
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("CAppInfo"), std::string::npos);
    EXPECT_NE(r.output.find("CItemRecord"), std::string::npos);
    EXPECT_NE(r.output.find("Reference: "), std::string::npos);
    for (const char* decoded : {"    CCategoryRecord\n    Category: 2\n    SuperCategory: 0\n    Name: Cafe\n",
                                "    CImageRecord\n    Name: logo\n    Bitmap: ", "    CImageRecord\n    Name: banner\n    Data: ",
                                "    CDeliveryRecord\n    Charge 0: from 0.00: 5.90\n    Charge 1: from 25.00: 2.90\n",
                                "    Email: commandes@example.com\n    Fax: +33 1 23 45 67 89\n",
                                "    CDeliveryZoneRecord\n    AddressId: 2\n    Zone: Banlieue\n"})
        EXPECT_NE(r.output.find(decoded), std::string::npos) << decoded << r.output;
    r = Handheld("dump " + m_Dir + " " + byType[FourCC("LIST")]);
    EXPECT_NE(r.output.find("COrderInfo"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("CItemRefRecord"), std::string::npos) << r.output;
    r = Handheld("dump " + m_Dir + " " + byType[FourCC("USER")]);
    EXPECT_NE(r.output.find("CAddressRecord"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("CUserIdRecord"), std::string::npos) << r.output;

    // Another creator's database is shown in hex.
    CPdbFile memo("Memo/Pad", "memo", "DATA", 0, 1, 0, 0);
    auto rec = std::make_unique<CPdbRecord>(reinterpret_cast<const BYTE*>("hello"), 5);
    memo.m_RecordSet.AddRecord(std::move(rec), 0x11);
    ASSERT_TRUE(memo.WritePdbFile((m_Root + "/memo.pdb").c_str()));
    ASSERT_EQ(Handheld("import " + m_Dir + " " + m_Root + "/memo.pdb").code, 0);
    r = Handheld("dump " + m_Dir + " 'Memo/Pad'");
    EXPECT_NE(r.output.find("68 65 6c 6c 6f"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("secret, category 1"), std::string::npos) << r.output;

    // Export gives the file back as it was imported.
    const std::string out = m_Root + "/exported.pdb";
    ASSERT_EQ(Handheld("export " + m_Dir + " " + byType[FourCC("CATA")] + " " + out).code, 0);
    EXPECT_EQ(Bytes(out), Bytes(m_Files[0]));

    // Importing again replaces.
    r = Handheld("import " + m_Dir + " " + m_Files[0]);
    EXPECT_NE(r.output.find("Replaced"), std::string::npos) << r.output;
    EXPECT_EQ(store.List().size(), 4u);

    ASSERT_EQ(Handheld("remove " + m_Dir + " 'Memo/Pad'").code, 0);
    EXPECT_FALSE(store.Find("Memo/Pad"));
    EXPECT_EQ(Handheld("remove " + m_Dir + " 'Memo/Pad'").code, 1);
    EXPECT_EQ(Handheld("dump " + m_Dir + " Nothing").code, 1);
    EXPECT_EQ(Handheld("list " + m_Root + "/none").code, 2);
}

TEST_F(HandheldToolTest, RefusesBadFilesAndALockedHandheld)
{
    ASSERT_EQ(Handheld("init " + m_Dir).code, 0);
    std::ofstream(m_Root + "/junk.pdb") << "junk";
    RunResult r = Handheld("import " + m_Dir + " " + m_Root + "/junk.pdb " + m_Files[0]);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("not a whole Palm database"), std::string::npos) << r.output;
    EXPECT_EQ(CHandheldStore(m_Dir).List().size(), 1u); // the good file still went in

    CHandheldLock lock;
    ASSERT_EQ(lock.Acquire(m_Dir), CHandheldLock::Result::Locked);
    r = Handheld("import " + m_Dir + " " + m_Files[1]);
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.output.find("being synchronized"), std::string::npos) << r.output;
    // Reading needs no lock.
    EXPECT_EQ(Handheld("list " + m_Dir).code, 0);
}

TEST_F(HandheldToolTest, AChangeRemovesWhatAKilledOneLeft)
{
    ASSERT_EQ(Handheld("init " + m_Dir).code, 0);
    // A killed import's temporary, one of handheld.json, and files that only look alike.
    const struct {
        std::string name;
        bool kept;
    } files[] = {
        {".C7abc.pdb.tmp.a1B2c3", false},
        {".handheld.json.tmp.Zz9Yy8", false},
        {".notes.tmp", true},
        {"C7abc.pdb.tmp.a1B2c3", true},
    };
    for (const auto& f : files) std::ofstream(m_Dir + "/" + f.name) << std::string(4096, 'x');
    // Listing takes no lock and removes nothing: a run may be writing.
    ASSERT_EQ(Handheld("list " + m_Dir).code, 0);
    for (const auto& f : files) EXPECT_TRUE(fs::exists(m_Dir + "/" + f.name)) << f.name;

    RunResult r = Handheld("import " + m_Dir + " " + m_Files[0]);
    ASSERT_EQ(r.code, 0) << r.output;
    for (const auto& f : files) EXPECT_EQ(fs::exists(m_Dir + "/" + f.name), f.kept) << f.name;
}

TEST_F(HandheldToolTest, DamagedFilesAreListedAndDumpedAsFarAsTheyGo)
{
    ASSERT_EQ(Handheld("init " + m_Dir).code, 0);
    const std::vector<BYTE> whole = Bytes(m_Files[0]);
    auto write = [&](const std::string& name, std::vector<BYTE> bytes) {
        std::ofstream(m_Dir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                   std::streamsize(bytes.size()));
    };
    write("Cut.pdb", {whole.begin(), whole.begin() + 40});
    std::vector<BYTE> shortened(whole.begin(), whole.end() - 200);
    std::fill(shortened.begin(), shortened.begin() + 32, 0);
    std::copy_n("Short", 5, shortened.begin());
    write("Short.pdb", shortened);
    write(".hidden.pdb", whole);
    RunResult r = Handheld("import " + m_Dir + " " + m_Files[0]);
    ASSERT_EQ(r.code, 0) << r.output;
    write("copy.pdb", whole); // a second file of the catalog's name
    r = Handheld("list " + m_Dir);
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("\nCut  "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\ncopy.pdb  "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("NOT USED (same name as another)\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("3 databases\n1 other file\n"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find(".hidden"), std::string::npos) << r.output;

    const struct {
        std::string name, says;
    } dumps[] = {
        {"Cut", "Damaged: the file has 40 bytes, fewer than the 78 of a database header\n"},
        {"Short", "Damaged: record 3 starts at byte 639, outside the file's 638 bytes; what follows is what could be read\n"},
    };
    for (const auto& d : dumps) {
        r = Handheld("dump " + m_Dir + " " + d.name);
        EXPECT_EQ(r.code, 1) << d.name;
        EXPECT_NE(r.output.find(d.says), std::string::npos) << d.name << r.output;
        EXPECT_NE(r.output.find("is damaged"), std::string::npos) << d.name << r.output;
    }

    r = Handheld("list --json " + m_Dir);
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("\"name\": \"Cut\""), std::string::npos) << r.output;
    std::size_t damaged = 0;
    for (std::size_t at = 0; (at = r.output.find("\"damaged\": true", at)) != std::string::npos; ++at) ++damaged;
    EXPECT_EQ(damaged, 2u) << r.output;
    EXPECT_NE(r.output.find("\"file\": \"copy.pdb\""), std::string::npos) << r.output;
}

TEST_F(HandheldToolTest, InitKeepsAnotherUsersHandheldUnlessForced)
{
    ASSERT_EQ(Handheld("init " + m_Dir + " --user Alice").code, 0);
    const struct {
        std::string args;
        int code;
        std::string owner;
    } cases[] = {
        {"", 0, "Alice"},
        {"--user Alice", 0, "Alice"},
        {"--user Bob", 1, "Alice"},
        {"--user Bob --force", 0, "Bob"},
    };
    for (const auto& c : cases) {
        RunResult r = Handheld("init " + m_Dir + " " + c.args);
        EXPECT_EQ(r.code, c.code) << c.args << r.output;
        CHandheldInfo info;
        ASSERT_TRUE(info.Load(m_Dir));
        EXPECT_EQ(info.m_UserName, c.owner) << c.args;
    }
    RunResult r = Handheld("init " + m_Dir + " --user Carol");
    EXPECT_NE(r.output.find("handheld: the handheld " + m_Dir + " belongs to \"Bob\" (give it to \"Carol\" with --force)\n"),
              std::string::npos)
        << r.output;
}

mode_t ModeOf(const std::string& path)
{
    return mode_t(fs::status(path).permissions() & fs::perms::mask);
}

// A handheld holds its user's data; what is exported or compiled is for sharing.
TEST_F(HandheldToolTest, InitMakesTheHandheldPrivateWhileExportsKeepTheUmask)
{
    fs::create_directory(m_Dir);
    fs::permissions(m_Dir, fs::perms(0755));
    const std::string line = "handheld: made " + m_Dir + " private (was 0755): it holds personal data\n";
    RunResult r = RunCommand("umask 022; " + kBin + "handheld init " + m_Dir);
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
    r = RunCommand("umask 022; " + kBin + "handheld init " + m_Dir + " --user Alice");
    EXPECT_EQ(r.output.find("private"), std::string::npos) << "said twice: " << r.output;
    ASSERT_EQ(Handheld("import " + m_Dir + " " + m_Files[2]).code, 0);
    EXPECT_EQ(ModeOf(m_Dir), 0700u);
    for (const auto& e : fs::directory_iterator(m_Dir)) EXPECT_EQ(ModeOf(e.path()), 0600u) << e.path();

    const std::string user = CHandheldStore(m_Dir).List().at(0).name;
    // m_Root is a private folder: only the umask decides.
    const struct {
        std::string umask;
        mode_t mode;
    } cases[] = {{"022", 0644}, {"002", 0664}, {"077", 0600}};
    for (const auto& c : cases) {
        const std::string exported = m_Root + "/exported" + c.umask + ".pdb";
        const std::string compiled = m_Root + "/compiled" + c.umask + ".pdb";
        r = RunCommand("umask " + c.umask + "; " + kBin + "handheld export " + m_Dir + " '" + user + "' " + exported);
        ASSERT_EQ(r.code, 0) << r.output;
        r = RunCommand("umask " + c.umask + "; " + kBin + "catalogc " + kSamples + "user.json -o " + compiled);
        ASSERT_EQ(r.code, 0) << r.output;
        EXPECT_EQ(ModeOf(exported), c.mode) << c.umask;
        EXPECT_EQ(ModeOf(compiled), c.mode) << c.umask;
    }
}

TEST_F(HandheldToolTest, FailuresSayWhy)
{
    ASSERT_EQ(Handheld("init " + m_Dir).code, 0);
    const struct {
        std::string args;
        int code;
        std::string says;
    } cases[] = {
        {"import " + m_Dir + " " + m_Root + "/missing.pdb", 1, "cannot import " + m_Root + "/missing.pdb: no such file\n"},
        {"init /proc/hh", 1, "cannot create /proc/hh: "},
        {"import " + m_Dir + " " NORV_SOURCE_DIR "/README.md", 1,
         "cannot import " NORV_SOURCE_DIR "/README.md: it is not a whole Palm database (PDB or PRC file)\n"},
        {"export " + m_Dir + " Nothing /tmp/x", 1, "no database named \"Nothing\""},
        {"list", 2, "DIR is required"},
        {"frobnicate", 2, "Run with --help for more information."},
        {"list " + m_Dir + " --bogus", 2, "--bogus"},
    };
    for (const auto& c : cases) {
        RunResult r = Handheld(c.args);
        EXPECT_EQ(r.code, c.code) << c.args << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << r.output;
    }
}

TEST(ProgramConventionsTest, VersionAndUsageErrors)
{
    for (const char* program : {"hotsync", "handheld", "norvreg", "catalogc"}) {
        RunResult r = RunCommand(kBin + program + " --version");
        EXPECT_EQ(r.code, 0) << program;
        // The programs that run the conduit also name its own numbers, which are not the product's.
        const std::string conduit = std::string(program) == "hotsync"
                                        ? "conduit Norv30: version 1.01 for the HotSync Manager, build v.2.3.P.1 in "
                                          "NorvTrace.log\n"
                                        : "";
        EXPECT_EQ(r.output, std::string(program) + " " + NORV_VERSION + "\n" + conduit) << program;
        r = RunCommand(kBin + program + " --no-such-option");
        EXPECT_EQ(r.code, 2) << program << r.output;
    }
    // A mistyped word is named, with the nearest one, before what it left missing.
    const struct {
        const char* line;
        const char* says;
    } typos[] = {
        {"hotsync sync --usr Anne", "hotsync: unknown option --usr of \"sync\"; did you mean --user?\n"},
        {"hotsync sync --user=Anne --handheld x --no-bakup", "unknown option --no-bakup of \"sync\"; did you mean --no-backup?"},
        {"hotsync snyc", "hotsync: unknown command \"snyc\"; did you mean sync?\n"},
        {"hotsync --hme x user list", "unknown option --hme; did you mean --home?"},
        {"hotsync user ad Bob", "unknown command \"ad\"; did you mean add?"},
        {"handheld lst", "handheld: unknown command \"lst\"; did you mean list?"},
        {"norvreg sett", "unknown command \"sett\"; did you mean set?"},
        {"catalogc x.json --outptu y", "catalogc: unknown option --outptu; did you mean --output?"},
        {"hotsync xyzzy", "hotsync: unknown command \"xyzzy\".\n"},
    };
    for (const auto& t : typos) {
        const RunResult r = RunCommand(kBin + t.line);
        EXPECT_EQ(r.code, 2) << t.line;
        EXPECT_NE(r.output.find(t.says), std::string::npos) << t.line << "\n" << r.output;
    }
}

// The window programs without a display: one line that says so and status
// 69, never Qt's abort; --help still answers on the terminal.
TEST(ProgramConventionsTest, WindowProgramsWithoutADisplay)
{
    for (const char* program : {"hotsync-gui", "NvConnexion", "NvPassword"}) {
        const std::string bare = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
        RunResult r = RunCommand(bare + kBin + program);
        EXPECT_EQ(r.code, 69) << program << r.output;
        EXPECT_EQ(r.output, std::string(program) +
                                ": a display is needed: neither DISPLAY nor WAYLAND_DISPLAY is set (start it in a "
                                "desktop session)\n")
            << program;
        // An empty name is no display either; xcb without one neither.
        r = RunCommand("env -u WAYLAND_DISPLAY DISPLAY= QT_QPA_PLATFORM=xcb " + kBin + program);
        EXPECT_EQ(r.code, 69) << program << r.output;
        // A display named with nothing behind it: one line, not Qt's abort.
        r = RunCommand("env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97 " + kBin + program);
        EXPECT_EQ(r.code, 69) << program << r.output;
        EXPECT_EQ(r.output, std::string(program) + ": a display is needed: no X server answers at DISPLAY :97 (is "
                                                   "the desktop session still running?)\n");
        r = RunCommand("env -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=norv-none " + kBin + program);
        EXPECT_EQ(r.code, 69) << program << r.output;
        r = RunCommand(bare + kBin + program + " --help");
        EXPECT_EQ(r.code, 0) << program << r.output;
    }
}

TEST_F(HandheldToolTest, HelpOnEveryCommand)
{
    for (const char* cmd : {"", "init ", "list ", "dump ", "show ", "import ", "export ", "remove "}) {
        RunResult r = Handheld(std::string(cmd) + "--help");
        EXPECT_EQ(r.code, 0) << cmd;
        EXPECT_NE(r.output.find("Usage"), std::string::npos) << cmd << r.output;
    }
}

} // namespace
