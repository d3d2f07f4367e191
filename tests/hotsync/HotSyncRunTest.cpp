// Runs the real hotsync program with the test conduit against temporary
// homes, handhelds and registries.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "hotsync/UsersFile.h"
#include "palmkit/HandheldInfo.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "quillio/PdbFile.h"
#include "winreg/WinReg.h"

namespace fs = std::filesystem;

namespace {

const std::string kHotSync = NORV_BINARY_DIR "/bin/hotsync";
const std::string kConduit = NORV_BINARY_DIR "/lib/libTestConduit.so";

class HotSyncRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "hotsync-run-XXXXXX").string();
        m_Root = ::mkdtemp(tmpl.data());
        m_Home = m_Root + "/home";
        m_Handheld = m_Root + "/handheld";
        m_Registry = m_Root + "/registry.db";
        ::setenv("NORVELIA_REGISTRY", m_Registry.c_str(), 1);
        ::unsetenv("HOTSYNC_HOME");
        ::unsetenv("TESTCONDUIT_INSTALL");
        ::unsetenv("TESTCONDUIT_ASK");
        // The runs speak English here, whatever the machine's locale.
        ASSERT_EQ(RunCommand(NORV_BINARY_DIR "/bin/norvreg set 'HKLM\\Software\\Norvelia\\Tidepost' MsgDll "
                             "LexmoUs.dll").code,
                  0);
        CHandheldStore store(m_Handheld);
        ASSERT_TRUE(store.Create());
        ASSERT_TRUE(CHandheldInfo().Save(m_Handheld));
        CPdbFile notes("Notes", "memo", "DATA", 0, 1, 0, 0);
        AddRecord(notes, 1, 1, "first note");
        AddRecord(notes, 1 | 0x10, 2, "secret note");
        AddRecord(notes, 3, 3, "other category");
        ASSERT_TRUE(store.Save(notes));
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_Root, ec);
        ::unsetenv("NORVELIA_REGISTRY");
    }

    static void AddRecord(CPdbFile& f, BYTE attrib, DWORD id, const std::string& data)
    {
        auto r = std::make_unique<CPdbRecord>(reinterpret_cast<const BYTE*>(data.data()), long(data.size()));
        r->m_UniqueId = id;
        f.m_RecordSet.AddRecord(std::move(r), attrib);
    }

    RunResult Run(const std::string& args)
    {
        return RunCommand(kHotSync + " --home " + m_Home + " " + args);
    }

    std::string Sync(const std::string& extra = "")
    {
        return "sync --user alice --handheld " + m_Handheld + " --conduit " + kConduit + " " + extra;
    }

    std::vector<std::string> LogLines()
    {
        std::ifstream in(m_Home + "/Alice/HotSync.log");
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }

    std::string m_Root, m_Home, m_Handheld, m_Registry;
};

TEST_F(HotSyncRunTest, UserAddThenSyncReadsAndWritesTheHandheldAndTheLog)
{
    RunResult add = Run("user add Alice");
    ASSERT_EQ(add.code, 0) << add.output;
    EXPECT_TRUE(fs::is_directory(m_Home + "/Alice"));
    std::vector<CUsersFile::User> users;
    ASSERT_TRUE(CUsersFile::Read(m_Home + "/users.dat", users));
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].name, "Alice");
    EXPECT_EQ(Run("user add alice").code, 2);

    // A queued database replacing one of the handheld, and one the conduit queues.
    fs::create_directories(m_Home + "/Alice/Install");
    CPdbFile newNotes("Notes", "memo", "DATA", 0, 2, 0, 0);
    AddRecord(newNotes, 1, 9, "replaced note");
    newNotes.WritePdbFile((m_Home + "/Alice/Install/notes-v2.pdb").c_str());
    std::ofstream(m_Home + "/Alice/Install/junk.txt") << "not a database";
    CPdbFile extra("Extra", "KESA", "CATA", 0, 1, 0, 0);
    const std::string extraPath = m_Root + "/extra.pdb";
    extra.WritePdbFile(extraPath.c_str());
    ::setenv("TESTCONDUIT_INSTALL", extraPath.c_str(), 1);

    // The file left in the install queue is a problem of the run, named.
    RunResult sync = Run(Sync());
    ASSERT_EQ(sync.code, 4) << sync.output;
    EXPECT_NE(sync.output.find("HotSync log for Alice"), std::string::npos) << sync.output;
    EXPECT_NE(sync.output.find("  end      TestConduit\n"), std::string::npos) << sync.output;
    EXPECT_NE(sync.output.find("  PROBLEMS Synchronized, with one problem: the install of junk.txt.\n"),
              std::string::npos)
        << sync.output;
    EXPECT_NE(sync.output.find("Notes: 2 records"), std::string::npos) << sync.output;
    // Without a terminal, one line per status change.
    const auto status = sync.output.find("Updating Notes\n");
    EXPECT_NE(status, std::string::npos) << sync.output;
    EXPECT_EQ(sync.output.find("Updating Notes", status + 1), std::string::npos) << sync.output;

    CHandheldStore store(m_Handheld);
    ASSERT_TRUE(store.Find("TestCreated"));
    ASSERT_TRUE(store.Find("Extra"));
    CPdbFile notes;
    ASSERT_TRUE(store.Load("Notes", notes));
    ASSERT_EQ(notes.m_RecordSet.GetCount(), 1u); // the queued file replaced what the conduit wrote
    EXPECT_EQ(notes.m_Version, 2);
    EXPECT_FALSE(fs::exists(m_Home + "/Alice/Install/notes-v2.pdb"));
    EXPECT_TRUE(fs::exists(m_Home + "/Alice/Install/junk.txt"));

    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 5u);
    bool escapes = false, done = false;
    for (const std::string& l : lines) {
        ASSERT_EQ(std::count(l.begin(), l.end(), '\t'), 2) << l;
        EXPECT_EQ(l.size() > 19 && l[4] == '-' && l[10] == ' ' && l[13] == ':', true) << l;
        if (l.substr(20) == "-1 info\tescapes: back\\\\slash\\ttab\\nnew line") escapes = true;
        if (l.substr(20) == "20 done\tTestConduit") done = true;
    }
    EXPECT_TRUE(escapes);
    EXPECT_TRUE(done);

    // The HotSync Manager's registry values.
    winreg::SetStorePath(m_Registry);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char value[512] = {};
    DWORD size = sizeof value;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "HotSyncPath", &type, reinterpret_cast<BYTE*>(value), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), m_Home + "/hotsync");
    size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, "Path", &type, reinterpret_cast<BYTE*>(value), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), m_Home);
    RegCloseKey(key);
    winreg::SetStorePath("");

    // A second run appends to the log.
    // Quiet, a run with a problem says only its verdict, on standard error.
    RunResult quiet = Run(Sync("--quiet"));
    ASSERT_EQ(quiet.code, 4);
    EXPECT_EQ(quiet.output, "hotsync: Synchronized, with one problem: the install of junk.txt.\n");
    EXPECT_GT(LogLines().size(), lines.size());
}

// Folders of an earlier version, open to every account, are narrowed once,
// each with a line; the owner's own bits are never widened.
TEST_F(HotSyncRunTest, FoldersFoundOpenAreMadePrivateOnceWithALine)
{
    for (const std::string& dir : {m_Home, m_Home + "/Alice", m_Handheld}) {
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms(0755));
    }
    auto line = [](const std::string& dir) {
        return "hotsync: made " + dir + " private (was 0755): it holds personal data";
    };
    const struct {
        std::string widened; // opened again by hand first
        std::string args;
        std::vector<std::string> lines;
    } steps[] = {
        {"", "user add Alice", {line(m_Home), line(m_Home + "/Alice")}},
        {"", Sync("--quiet"), {line(m_Handheld)}},
        {"", Sync("--quiet"), {}},
        {m_Home + "/Alice", "configure --user Alice --action 0 --conduit " + kConduit, {line(m_Home + "/Alice")}},
    };
    for (const auto& step : steps) {
        if (!step.widened.empty()) fs::permissions(step.widened, fs::perms(0755));
        RunResult r = RunCommand("umask 022; " + kHotSync + " --home " + m_Home + " " + step.args);
        ASSERT_EQ(r.code, 0) << step.args << r.output;
        std::vector<std::string> said;
        std::istringstream out(r.output);
        for (std::string l; std::getline(out, l);)
            if (l.find("private") != std::string::npos) said.push_back(l);
        EXPECT_EQ(said, step.lines) << step.args;
    }
    for (const std::string& dir : {m_Home, m_Home + "/Alice", m_Handheld})
        EXPECT_EQ(fs::status(dir).permissions(), fs::perms::owner_all) << dir;
    EXPECT_EQ(fs::status(m_Home + "/Alice/HotSync.log").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(HotSyncRunTest, RegistryHoldsFullPathsForARelativeHome)
{
    RunResult add = RunCommand("cd " + m_Root + " && " + kHotSync + " --home ./home/ user add Alice");
    ASSERT_EQ(add.code, 0) << add.output;
    winreg::SetStorePath(m_Registry);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char value[512] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, "Path", nullptr, reinterpret_cast<BYTE*>(value), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), m_Home);
    size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, "HotSyncPath", nullptr, reinterpret_cast<BYTE*>(value), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(value), m_Home + "/hotsync");
    RegCloseKey(key);
    winreg::SetStorePath("");
}

TEST_F(HotSyncRunTest, TamperedUsersFileIsNeverUsedAsAPath)
{
    // One level up stays inside this test's folder.
    fs::create_directories(m_Home);
    const auto bytes = CUsersFile::Encode({{"Alice", "../escape", 1}, {"Eve\x1b[2J", "Eve", 2}, {"Bob", "Bob", 3}});
    std::ofstream(m_Home + "/users.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const std::string warning = "hotsync: warning: " + m_Home + "/users.dat: skipped ";

    RunResult r = Run(Sync());
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.output.find(warning + "entry 1: the directory name \"../escape\" is not a plain folder name\n"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("no HotSync user named \"alice\""), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(m_Root + "/escape"));

    r = Run("user list");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.output.find('\x1b'), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(warning + "entry 2: the user name \"Eve\\x1B[2J\" holds a control character\n"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("Bob "), std::string::npos) << r.output;

    // Rewriting the file keeps only what may be used.
    r = Run("user add Carol");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find(warning + "entry 1: "), std::string::npos) << r.output;
    std::vector<CUsersFile::User> users;
    std::vector<std::string> skipped;
    ASSERT_TRUE(CUsersFile::Read(m_Home + "/users.dat", users, nullptr, &skipped));
    EXPECT_TRUE(skipped.empty());
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].name, "Bob");
    EXPECT_EQ(users[1].name, "Carol");
}

TEST_F(HotSyncRunTest, UserAddRemovesWhatAKilledWriteOfUsersDatLeft)
{
    fs::create_directories(m_Home);
    const std::string stale = m_Home + "/.users.dat.tmp.Ab12Cd";
    const std::string other = m_Home + "/.HotSync.log.tmp.Ab12Cd";
    std::ofstream(stale) << "half a users.dat";
    std::ofstream(other) << "not ours";
    ASSERT_EQ(Run("user list").code, 0);
    EXPECT_TRUE(fs::exists(stale)); // reading takes no lock
    RunResult r = Run("user add Alice");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(other));
}

TEST_F(HotSyncRunTest, ClearFailures)
{
    RunResult r = Run(Sync());
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.output.find("no HotSync user named \"alice\""), std::string::npos) << r.output;
    ASSERT_EQ(Run("user add Alice").code, 0);

    // Refused before the conduit runs: nothing lands in the log.
    fs::create_directories(m_Root + "/plain");
    fs::create_directories(m_Root + "/readonly");
    ASSERT_TRUE(CHandheldInfo().Save(m_Root + "/readonly"));
    fs::permissions(m_Root + "/readonly", fs::perms::owner_read | fs::perms::owner_exec);
    const struct {
        std::string dir, says;
    } refused[] = {
        {m_Root + "/nowhere", "hotsync: no handheld at " + m_Root +
                                  "/nowhere: No such file or directory (create one with: handheld init " + m_Root +
                                  "/nowhere)\n"},
        {m_Root + "/plain", "hotsync: " + m_Root + "/plain is not a handheld: it has no handheld.json (make it one "
                                                   "with: handheld init " + m_Root + "/plain)\n"},
        {m_Root + "/readonly", "hotsync: cannot write to the handheld " + m_Root + "/readonly: Permission denied\n"},
    };
    for (const auto& c : refused) {
        if (c.dir.ends_with("readonly") && ::geteuid() == 0) continue; // root writes anywhere
        r = Run("sync --user alice --handheld " + c.dir + " --conduit " + kConduit);
        EXPECT_EQ(r.code, 2) << c.dir;
        EXPECT_EQ(r.output, c.says);
    }
    fs::permissions(m_Root + "/readonly", fs::perms::owner_all);
    EXPECT_TRUE(LogLines().empty());

    // A conduit named without a folder is looked for beside the default one.
    r = Run("sync --user alice --handheld " + m_Handheld + " --conduit libNone.so");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.output.find("hotsync: cannot load the conduit "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("libNone.so: cannot open shared object file: No such file or directory"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("(name another with --conduit FILE"), std::string::npos) << r.output;
    r = Run("sync --user alice --handheld " + m_Handheld + " --conduit libTestConduit.so");
    EXPECT_EQ(r.code, 0) << r.output;

    r = Run("sync --user alice --handheld " + m_Handheld + " --conduit " NORV_BINARY_DIR "/lib/libPalmKit.so");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.output.find("lacks the entry point OpenConduit"), std::string::npos) << r.output;

    {
        CHandheldLock lock;
        ASSERT_EQ(lock.Acquire(m_Handheld), CHandheldLock::Result::Locked);
        r = Run(Sync());
        EXPECT_EQ(r.code, 3);
        EXPECT_NE(r.output.find("being synchronized by another run"), std::string::npos) << r.output;
    }

    // The conduit's own failure: exit 1 with its code, the log still written.
    CPdbFile fail("FailMe", "KESA", "LIST", 0, 1, 0, 0);
    ASSERT_TRUE(CHandheldStore(m_Handheld).Save(fail));
    r = Run(Sync());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("  FAILED Not synchronized: the conduit ended with code 4100\n"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("  FAILED TestConduit\n"), std::string::npos) << r.output;
    ASSERT_FALSE(LogLines().empty());
    EXPECT_EQ(LogLines().back().substr(20),
              "32 not-synchronized\tNot synchronized: the conduit ended with code 4100");
}

TEST_F(HotSyncRunTest, QuestionsAndConfiguredSyncType)
{
    ASSERT_EQ(Run("user add Alice").code, 0);
    ::setenv("TESTCONDUIT_ASK", "1", 1);
    RunResult r = Run(Sync("--no"));
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("answer: no"), std::string::npos) << r.output;
    r = Run(Sync("--yes"));
    EXPECT_NE(r.output.find("answer: yes"), std::string::npos) << r.output;
    // No terminal and no answer given: the question's default.
    r = Run(Sync());
    EXPECT_NE(r.output.find("answer: yes"), std::string::npos) << r.output;
    ::unsetenv("TESTCONDUIT_ASK");

    r = Run("configure --user Alice --action 3 --make-default --conduit " + kConduit);
    ASSERT_EQ(r.code, 0) << r.output;
    r = Run(Sync());
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("sync configured to Do Nothing"), std::string::npos) << r.output;
    // An explicit sync type wins.
    r = Run(Sync("--sync-type slow"));
    EXPECT_NE(r.output.find("  OK   Synchronized.\n"), std::string::npos) << r.output;
    EXPECT_EQ(Run(Sync("--sync-type bogus")).code, 2);
    // Without a terminal the configuration takes the current action, as a
    // question takes its default; --no declines.
    r = Run("configure --user Alice --conduit " + kConduit);
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("(no terminal; use --action)"), std::string::npos) << r.output;
    EXPECT_EQ(Run("configure --user Alice --no --conduit " + kConduit).code, 1);
    // With a display, an action given on the command line still opens no dialog.
    r = RunCommand("QT_QPA_PLATFORM=offscreen timeout 60 " + kHotSync + " --home " + m_Home +
                   " configure --user Alice --action 0 --conduit " + kConduit);
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("Alice: fast (next HotSync only)"), std::string::npos) << r.output;
}

} // namespace

namespace {

// Ctrl-C is the progress view's "Abandon"; SIGTERM and SIGHUP (a shutdown, a
// closed terminal) stop the run the same way without asking.
TEST_F(HotSyncRunTest, CtrlCAndTerminationAbandonTheRun)
{
    struct Case {
        int signal;
        int exitCode;
        const char* said;
        const char* logged;
    };
    const Case cases[] = {
        {SIGINT, 130, "Synchronization abandoned with Ctrl-C.\n", "33 abandoned\tSynchronization abandoned with Ctrl-C."},
        {SIGTERM, 143, "Synchronization abandoned on SIGTERM.\n", "33 abandoned\tSynchronization abandoned on SIGTERM."},
        {SIGHUP, 129, "Synchronization abandoned on SIGHUP.\n", "33 abandoned\tSynchronization abandoned on SIGHUP."},
    };
    ASSERT_EQ(Run("user add Alice").code, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signal);
        const std::string ready = m_Root + "/ready";
        const std::string output = m_Root + "/output.txt";
        fs::remove(ready);
        ::setenv("TESTCONDUIT_WAIT_CANCEL", ready.c_str(), 1);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FILE* out = std::freopen(output.c_str(), "w", stdout);
            if (!out || ::dup2(STDOUT_FILENO, STDERR_FILENO) < 0) _exit(100);
            ::execl(kHotSync.c_str(), "hotsync", "--home", m_Home.c_str(), "sync", "--user", "Alice", "--handheld",
                    m_Handheld.c_str(), "--conduit", kConduit.c_str(), static_cast<char*>(nullptr));
            _exit(101);
        }
        ::unsetenv("TESTCONDUIT_WAIT_CANCEL");
        for (int i = 0; i < 3000 && !fs::exists(ready); ++i) ::usleep(10000);
        ASSERT_TRUE(fs::exists(ready));
        ::kill(child, c.signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.exitCode);
        std::ifstream in(output);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("abandoned by the user"), std::string::npos) << text;
        EXPECT_NE(text.find(c.said), std::string::npos) << text;
        const auto lines = LogLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().substr(20), c.logged);
    }
}

} // namespace

namespace {

TEST_F(HotSyncRunTest, AHandheldOfAnotherUserIsSynchronizedOnlyWhenAsked)
{
    ASSERT_EQ(Run("user add Alice").code, 0);
    CHandheldInfo info;
    info.m_UserName = "Bob";
    ASSERT_TRUE(info.Save(m_Handheld));
    const struct {
        std::string answer;
        int code;
        std::string says;
    } cases[] = {
        {"", 2, "  -> No (no terminal; use --yes or --no)\nhotsync: not synchronized: the handheld belongs to \"Bob\"\n"},
        {"--no", 2, "  -> No\nhotsync: not synchronized: the handheld belongs to \"Bob\"\n"},
        {"--yes", 0, "  -> Yes\n"},
    };
    for (const auto& c : cases) {
        RunResult r = Run(Sync(c.answer + " --quiet"));
        EXPECT_EQ(r.code, c.code) << c.answer << r.output;
        EXPECT_NE(r.output.find("belongs to \"Bob\". Synchronize it as \"Alice\" all the same?"), std::string::npos)
            << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.answer << r.output;
    }
}

// Names are kept as typed; folders take their plain letters; a listing lines
// up in the columns a terminal shows.
TEST_F(HotSyncRunTest, AccentedNamesKeepTheirLettersAndLineUp)
{
    struct Case {
        std::string name, dir;
        std::size_t columns; // on a terminal
    } const cases[] = {
        {"\xc3\x89lodie", "Elodie", 6},                                     // Élodie
        {"Zo\xc3\xab \xc3\x85ngstr\xc3\xb6m", "ZoeAngstrom", 12},          // Zoë Ångström
        {"J\xc3\xbcrgen Gro\xc3\x9f", "JurgenGross", 11},                  // Jürgen Groß
        {"Bj\xc3\xb8rn \xc3\x98" "deg\xc3\xa5rd", "BjornOdegard", 13},        // Bjørn Ødegård
        {"Fran\xc3\xa7oise L\xc5\x93uvre", "FrancoiseLoeuvre", 16},        // Françoise Lœuvre
        {"Elodie", "Elodie2", 6},                                           // differs by accents only
        {"\xe6\x9d\x8e\xe5\xb0\x8f\xe9\xbe\x8d", "User", 6},               // no Latin letter: wide characters
        // 31 bytes, whose folder stops at the 28 bytes that leave room for a number
        {"Anne-C\xc3\xa6" "cilie \xc3\x86gidius-L\xc5\x93uvres", "Anne-CaecilieAEgidius-Loeuvr", 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = Run("user add '" + c.name + "'");
        ASSERT_EQ(r.code, 0) << r.output;
        // The first add may tell of the shipped settings it imported, before.
        const std::string added = "Added HotSync user \"" + c.name + "\" (directory " + m_Home + "/" + c.dir + ")\n";
        EXPECT_TRUE(r.output == added || r.output.ends_with("Change them in NvPassword.\n" + added)) << r.output;
        EXPECT_TRUE(fs::is_directory(m_Home + "/" + c.dir));
    }
    // Case does not make another user, in any of these letters; accents do.
    RunResult r = Run("user add '\xc3\xa9LODIE'");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.output, "hotsync: cannot add the user: the user \"\xc3\x89lodie\" exists\n");
    r = Run("user add '" + std::string(30, 'a') + "\xc3\xa9'"); // 32 bytes: the limit falls inside é
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.output, "hotsync: cannot add the user: the user name \"" + std::string(30, 'a') +
                            "\xc3\xa9\" is longer than 31 bytes\n");

    r = Run("user list");
    ASSERT_EQ(r.code, 0) << r.output;
    std::istringstream lines(r.output);
    std::size_t n = 0;
    for (std::string line; std::getline(lines, line); ++n) {
        SCOPED_TRACE(line);
        ASSERT_LT(n, std::size(cases));
        const std::string folder = m_Home + "/" + cases[n].dir;
        ASSERT_GE(line.size(), folder.size());
        EXPECT_EQ(line.substr(line.size() - folder.size()), folder);
        // The folder starts at column 33 however many bytes the name takes.
        EXPECT_EQ(line.substr(0, line.size() - folder.size()),
                  cases[n].name + std::string(33 - cases[n].columns, ' '));
    }
    EXPECT_EQ(n, std::size(cases));
}

TEST_F(HotSyncRunTest, UserListAsJson)
{
    RunResult r = Run("user list --json");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output, "[]\n");
    ASSERT_EQ(Run("user add Alice").code, 0);
    ASSERT_EQ(Run("user add \"Bob Smith\" --dir bob").code, 0);
    r = Run("user list --json");
    ASSERT_EQ(r.code, 0) << r.output;
    std::vector<CUsersFile::User> users;
    ASSERT_TRUE(CUsersFile::Read(m_Home + "/users.dat", users));
    ASSERT_EQ(users.size(), 2u);
    std::string expected = "[\n";
    for (std::size_t i = 0; i < users.size(); ++i) {
        expected += "  {\n    \"directory\": \"" + m_Home + "/" + users[i].dir + "\",\n    \"id\": " +
                    std::to_string(users[i].id) + ",\n    \"name\": \"" + users[i].name + "\"\n  }" +
                    (i + 1 < users.size() ? ",\n" : "\n");
    }
    EXPECT_EQ(r.output, expected + "]\n");
}

} // namespace
