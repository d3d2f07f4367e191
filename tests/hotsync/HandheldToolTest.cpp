// Runs the real handheld program on the databases catalogc builds.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/TestRun.h"
#include "palmkit/HandheldInfo.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
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
    EXPECT_NE(r.output.find("not a Palm database"), std::string::npos) << r.output;
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

TEST_F(HandheldToolTest, HelpOnEveryCommand)
{
    for (const char* cmd : {"", "init ", "list ", "dump ", "import ", "export ", "remove "}) {
        RunResult r = Handheld(std::string(cmd) + "--help");
        EXPECT_EQ(r.code, 0) << cmd;
        EXPECT_NE(r.output.find("Usage"), std::string::npos) << cmd << r.output;
    }
}

} // namespace
