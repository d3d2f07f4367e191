// The backups hotsync keeps of each handheld, and `hotsync restore`: the real
// program with the test conduit, against temporary homes and handhelds.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/TerminalRun.h"
#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "palmkit/HandheldInfo.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/HandheldStore.h"
#include "quillio/PdbFile.h"

namespace fs = std::filesystem;

namespace {

const std::string kHotSync = NORV_BINARY_DIR "/bin/hotsync";
const std::string kConduit = NORV_BINARY_DIR "/lib/libTestConduit.so";

// The database files of a folder and their bytes.
using Contents = std::map<std::string, std::string>;

Contents DatabasesIn(const std::string& dir)
{
    Contents out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string ext = e.path().extension().string();
        if (e.is_regular_file() && (ext == ".pdb" || ext == ".prc"))
            out[e.path().filename().string()] = ReadAll(e.path().string());
    }
    return out;
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The first line of `text` holding `part`.
std::string LineWith(const std::string& text, const std::string& part)
{
    const std::size_t at = text.find(part);
    if (at == std::string::npos) return "";
    const std::size_t start = text.rfind('\n', at);
    return text.substr(start == std::string::npos ? 0 : start + 1, text.find('\n', at) - (start + 1));
}

class BackupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("NORVELIA_REGISTRY", (m_Root / "registry.db").c_str(), 1);
        ::unsetenv("HOTSYNC_HOME");
        ::unsetenv("TESTCONDUIT_INSTALL");
        ::unsetenv("TESTCONDUIT_ASK");
        ASSERT_EQ(Run("user add Alice").code, 0);
        MakeHandheld(Palm(1));
        m_Sound = ReadAll(Palm(1) + "/Keep.pdb");
    }
    void TearDown() override { ::unsetenv("NORVELIA_REGISTRY"); }

    // The second handheld has the first's folder name, in another folder.
    std::string Palm(int n) const { return n == 2 ? m_Root / "other/palm1" : m_Root / ("palm" + std::to_string(n)); }
    std::string Backup() const { return m_Root / "home/Alice/Backup"; }

    // Notes, which the test conduit changes, and Keep, which it leaves alone.
    static void MakeHandheld(const std::string& dir)
    {
        CHandheldStore store(dir);
        ASSERT_TRUE(store.Create());
        ASSERT_TRUE(CHandheldInfo().Save(dir));
        for (const char* name : {"Notes", "Keep"}) {
            CPdbFile db(name, "memo", "DATA", 0, 1, 0, 0);
            const std::string text = std::string("record of ") + name;
            auto r = std::make_unique<CPdbRecord>(reinterpret_cast<const BYTE*>(text.data()), long(text.size()));
            r->m_UniqueId = 1;
            db.m_RecordSet.AddRecord(std::move(r), 0);
            ASSERT_TRUE(store.Save(db));
        }
    }
    static void Damage(const std::string& file) { fs::resize_file(file, 70); }

    RunResult Run(const std::string& args) const
    {
        return RunCommand(kHotSync + " --home " + (m_Root / "home") + " " + args);
    }
    RunResult Sync(const std::string& handheld, const std::string& extra = "") const
    {
        return Run("sync --user Alice --quiet --handheld " + handheld + " --conduit " + kConduit + " " + extra);
    }
    RunResult Restore(const std::string& args) const { return Run("restore --user Alice " + args); }
    std::string HotSyncLog() const { return ReadAll(m_Root / "home/Alice/HotSync.log"); }

    // The folder of a handheld's backups: the one that names it.
    std::string SetOf(const std::string& handheld) const
    {
        const std::string full = fs::canonical(handheld).string() + "\n";
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(Backup(), ec))
            if (ReadAll(e.path().string() + "/handheld.txt") == full) return e.path().string();
        return "";
    }
    // A handheld's generations, newest first.
    std::vector<std::string> Generations(const std::string& handheld) const
    {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(SetOf(handheld), ec))
            if (e.is_directory()) out.push_back(e.path().string());
        // Names are dates, "-2", "-3" after a name taken in the same second,
        // then "-before-restore" for one a restore took.
        auto order = [](const std::string& dir) {
            const std::string name = fs::path(dir).filename().string();
            return std::make_pair(name.substr(0, 16), name.size() > 17 ? std::atoi(name.c_str() + 17) : 1);
        };
        std::sort(out.begin(), out.end(),
                  [&](const std::string& a, const std::string& b) { return order(a) > order(b); });
        return out;
    }

    // The date `restore --list` shows for generation `n` of a handheld.
    std::string ShownDate(const std::string& handheld, int n) const
    {
        const std::string line = LineWith(Restore("--handheld " + handheld + " --list").output,
                                          "  " + std::to_string(n) + "  ");
        return line.size() > 24 ? line.substr(line.find("  ", 2) + 2, 19) : "";
    }
    static bool SameFile(const std::string& a, const std::string& b)
    {
        struct stat sa {}, sb {};
        return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_ino == sb.st_ino &&
               sa.st_dev == sb.st_dev;
    }
    static int Count(const std::string& text, const std::string& part)
    {
        int n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    }

    TempDir m_Root{"hotsync-backup"};
    std::string m_Sound; // Keep.pdb as made
};

TEST_F(BackupTest, EachRunAddsAGenerationAndOnlyTheConfiguredNumberStay)
{
    // The number is the user's setting, beside the sync type in HotSync.ini.
    const std::string ini = m_Root / "home/Alice/HotSync.ini";
    std::ofstream(ini) << "permanent=1\n";
    const struct {
        int keep; // 0: never configured
        int runs;
        const char* ini;
    } cases[] = {{0, 5, "permanent=1\n"}, {1, 3, "permanent=1\nbackups=1\n"}, {2, 2, "permanent=1\nbackups=2\n"},
                 {5, 7, "permanent=1\nbackups=5\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("keep " + std::to_string(c.keep));
        fs::remove_all(Backup());
        if (c.keep) {
            const RunResult set = Run("configure --user Alice --backups " + std::to_string(c.keep));
            ASSERT_EQ(set.code, 0) << set.output;
        }
        EXPECT_EQ(ReadAll(ini), c.ini);
        for (int run = 0; run < c.runs; ++run) {
            if (run == c.runs - 1) {
                // A killed run's half generation is never listed, and goes.
                fs::create_directories(SetOf(Palm(1)) + "/.new.AbCdEf");
                std::ofstream(SetOf(Palm(1)) + "/.new.AbCdEf/Notes.pdb") << "half";
            }
            const RunResult r = Sync(Palm(1));
            ASSERT_EQ(r.code, 0) << r.output;
        }
        const auto gens = Generations(Palm(1));
        ASSERT_EQ(int(gens.size()), std::min(c.keep ? c.keep : 3, c.runs));
        EXPECT_FALSE(fs::exists(SetOf(Palm(1)) + "/.new.AbCdEf"));
        // The newest is the handheld as the last run found it: the conduit
        // made TestCreated on the first run, so only the first lacks it.
        EXPECT_TRUE(DatabasesIn(gens.front()).count("TestCreated.pdb"));
        const RunResult list = Restore("--handheld " + Palm(1) + " --list");
        EXPECT_TRUE(Has(list.output, "  " + std::to_string(gens.size()) + "  ")) << list.output;
        EXPECT_FALSE(Has(list.output, "  " + std::to_string(gens.size() + 1) + "  ")) << list.output;
    }
    // Private, as the user's other HotSync files.
    for (const auto& e : fs::recursive_directory_iterator(Backup())) {
        const auto perms = e.status().permissions() & fs::perms::all;
        EXPECT_EQ(perms, e.is_directory() ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write)
            << e.path();
    }
}

// Generation folders are read back by their names, UTC dates: a day past a
// month's end runs on into the next, as a leap second into the next day;
// what is no date is no generation.
TEST_F(BackupTest, GenerationNamesAreReadAsUtcDates)
{
    ASSERT_EQ(Sync(Palm(1)).code, 0);
    const auto gens = Generations(Palm(1));
    ASSERT_EQ(gens.size(), 1u);
    const std::string set = SetOf(Palm(1));
    fs::remove_all(gens.front());
    struct Case { const char* name; const char* shown; }; // nullptr: not listed
    const Case cases[] = {
        {"20240501T143045Z", "2024-05-01 14:30:45"}, {"20240230T000000Z", "2024-03-01 00:00:00"},
        {"20230229T120000Z", "2023-03-01 12:00:00"}, {"20240101T235960Z-2", "2024-01-02 00:00:00"},
        {"19991231T235959Z-12", "1999-12-31 23:59:59"}, {"20241301T000000Z", nullptr},
        {"20240132T000000Z", nullptr}, {"20240100T000000Z", nullptr}, {"20240101T240000Z", nullptr},
        {"20240101T006000Z", nullptr}, {"20240101T000000Z-1", nullptr}, {"2024010AT000000Z", nullptr},
    };
    for (const Case& c : cases) {
        fs::create_directories(set + "/" + c.name);
        CPdbFile db("Keep", "memo", "DATA", 0, 1, 0, 0);
        ASSERT_TRUE(CHandheldStore::WriteFileAtomically(set + "/" + c.name + "/Keep.pdb", db.ToBytes()));
    }
    const std::string old = std::getenv("TZ") ? std::getenv("TZ") : "";
    ::setenv("TZ", "UTC0", 1);
    const RunResult list = Restore("--handheld " + Palm(1) + " --list");
    if (old.empty()) ::unsetenv("TZ");
    else ::setenv("TZ", old.c_str(), 1);
    EXPECT_EQ(list.code, 0) << list.output;
    int listed = 0;
    for (const Case& c : cases) {
        if (!c.shown) continue;
        ++listed;
        EXPECT_TRUE(Has(list.output, std::string("  ") + c.shown + "  ")) << c.name << "\n" << list.output;
    }
    EXPECT_TRUE(Has(list.output, "  " + std::to_string(listed) + "  ")) << list.output;
    EXPECT_FALSE(Has(list.output, "  " + std::to_string(listed + 1) + "  ")) << list.output;
}

TEST_F(BackupTest, ADamagedDatabaseNeverTakesThePlaceOfItsSoundCopy)
{
    ASSERT_EQ(Sync(Palm(1)).code, 0);
    Damage(Palm(1) + "/Keep.pdb");
    // Enough runs that the generation made before the damage is gone.
    for (int run = 0; run < 4; ++run) {
        const RunResult r = Sync(Palm(1));
        ASSERT_EQ(r.code, 0) << r.output;
    }
    EXPECT_TRUE(Has(HotSyncLog(), "warning\tBackup - Keep.pdb on the handheld is damaged: the new backup keeps the "
                                  "sound copy from the backup of "))
        << HotSyncLog();
    const auto gens = Generations(Palm(1));
    ASSERT_EQ(gens.size(), 3u);
    for (const std::string& g : gens) EXPECT_EQ(ReadAll(g + "/Keep.pdb"), m_Sound) << g;

    const RunResult list = Restore("--handheld " + Palm(1) + " --list --generation 1");
    const std::string line = LineWith(list.output, "Keep.pdb");
    EXPECT_TRUE(Has(line, " 1 record ") && Has(line, "  replaces the handheld's damaged copy")) << list.output;
    const RunResult r = Restore("--handheld " + Palm(1) + " --yes");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(ReadAll(Palm(1) + "/Keep.pdb"), m_Sound);
}

TEST_F(BackupTest, ADamagedCopyInTheBackupIsNeverRestoredOverASoundOne)
{
    Damage(Palm(1) + "/Keep.pdb");
    const std::string damaged = ReadAll(Palm(1) + "/Keep.pdb");
    ASSERT_EQ(Sync(Palm(1)).code, 0);
    EXPECT_TRUE(Has(HotSyncLog(), "Backup - Keep.pdb on the handheld is damaged and no earlier backup holds a sound "
                                  "copy: backed up as it is"))
        << HotSyncLog();

    const struct {
        const char* handheld; // Keep.pdb on the handheld before the restore
        const char* listed;
        const char* warning;
        bool restored;
    } cases[] = {
        {"sound", "not restored: the handheld's copy is sound",
         "warning: Keep.pdb is damaged in this backup: not restored, the handheld's copy is sound\n", false},
        {"absent", "restored as it is: the handheld has no sound copy",
         "warning: Keep.pdb is damaged in this backup: restored as it is, the handheld had no sound copy\n", true},
        {"damaged", "restored as it is: the handheld has no sound copy",
         "restored as it is, the handheld had no sound copy\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.handheld);
        const std::string keep = Palm(1) + "/Keep.pdb";
        fs::remove(keep);
        if (std::string(c.handheld) == "sound") std::ofstream(keep, std::ios::binary) << m_Sound;
        if (std::string(c.handheld) == "damaged") std::ofstream(keep, std::ios::binary) << m_Sound.substr(0, 60);
        const std::string before = ReadAll(keep);
        const RunResult list = Restore("--handheld " + Palm(1) + " --list --generation 1");
        const std::string line = LineWith(list.output, "Keep.pdb");
        EXPECT_TRUE(Has(line, " DAMAGED ") && Has(line, c.listed)) << list.output;
        const RunResult r = Restore("--handheld " + Palm(1) + " --yes");
        EXPECT_EQ(r.code, 0) << r.output;
        EXPECT_TRUE(Has(r.output, c.warning)) << r.output;
        EXPECT_EQ(ReadAll(keep), c.restored ? damaged : before);
        EXPECT_EQ(Has(r.output, "Left out 1 database damaged in the backup"), !c.restored) << r.output;
        // The backup each restore takes first would be generation 1 of the next case.
        for (const std::string& g : Generations(Palm(1)))
            if (g.size() > 15 && g.compare(g.size() - 15, 15, "-before-restore") == 0) fs::remove_all(g);
    }

    // Sound again on the handheld: the newer generation has it, and a
    // restore of the older one says where the sound copy is.
    std::ofstream(Palm(1) + "/Keep.pdb", std::ios::binary) << m_Sound;
    ASSERT_EQ(Sync(Palm(1)).code, 0);
    const RunResult r = Restore("--handheld " + Palm(1) + " --generation 2 --yes");
    EXPECT_TRUE(Has(r.output, "the handheld's copy is sound; generation 1 (")) << r.output;
    EXPECT_EQ(ReadAll(Palm(1) + "/Keep.pdb"), m_Sound);
}

TEST_F(BackupTest, TwoHandheldsOfOneUserKeepTheirBackupsApart)
{
    fs::create_directories(m_Root / "other");
    fs::copy(Palm(1), Palm(2), fs::copy_options::recursive);
    CPdbFile second("Second", "memo", "DATA", 0, 1, 0, 0);
    ASSERT_TRUE(CHandheldStore(Palm(2)).Save(second));
    fs::create_directory_symlink(Palm(1), m_Root / "link");
    // The same handheld however its folder is written.
    for (const std::string& handheld : {Palm(1), Palm(2), Palm(1) + "/", m_Root / "link", Palm(2)}) {
        const RunResult r = Sync(handheld);
        ASSERT_EQ(r.code, 0) << handheld << r.output;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(Backup()), fs::directory_iterator()), 2);
    ASSERT_EQ(Generations(Palm(1)).size(), 3u);
    ASSERT_EQ(Generations(Palm(2)).size(), 2u);
    for (const std::string& g : Generations(Palm(1))) EXPECT_FALSE(DatabasesIn(g).count("Second.pdb")) << g;
    for (const std::string& g : Generations(Palm(2))) EXPECT_TRUE(DatabasesIn(g).count("Second.pdb")) << g;

    fs::remove(Palm(1) + "/Notes.pdb");
    RunResult r = Restore("--handheld " + Palm(1) + " --yes");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(fs::exists(Palm(1) + "/Notes.pdb"));
    EXPECT_FALSE(fs::exists(Palm(1) + "/Second.pdb"));

    // A replacement handheld has no backups of its own: it names the others.
    ASSERT_EQ(RunCommand(NORV_BINARY_DIR "/bin/handheld init " + Palm(3)).code, 0);
    const std::string palm2Set = fs::path(SetOf(Palm(2))).filename().string();
    r = Restore("--handheld " + Palm(3));
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(Has(r.output, "backups of other handhelds (restore one here with --from NAME):")) << r.output;
    EXPECT_TRUE(Has(r.output, "\n  " + palm2Set + "  " + fs::canonical(Palm(2)).string() + "\n")) << r.output;
    r = Restore("--handheld " + Palm(3) + " --from " + palm2Set + " --yes");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(DatabasesIn(Palm(3)), DatabasesIn(Generations(Palm(2)).front()));
}

TEST_F(BackupTest, ABackupOfTheEarlierLayoutStaysRestorableAndMovesOnce)
{
    // Files straight in Backup/, and a move into .earlier cut short.
    const struct {
        const char* name;
        bool split;
    } cases[] = {{"earlier layout", false}, {"move cut short", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Backup());
        fs::create_directories(Backup() + "/.earlier");
        const Contents old = DatabasesIn(Palm(1));
        for (const auto& [file, bytes] : old) {
            const std::string to = (c.split && file == "Keep.pdb" ? Backup() + "/.earlier/" : Backup() + "/") + file;
            std::ofstream(to, std::ios::binary) << bytes;
        }
        if (!c.split) fs::remove(Backup() + "/.earlier");

        RunResult r = Restore("--list");
        EXPECT_TRUE(Has(r.output, "An earlier backup of ")) << r.output;
        r = Restore("--handheld " + Palm(1) + " --list");
        EXPECT_TRUE(Has(r.output, "  1  ")) << r.output;
        EXPECT_TRUE(Has(r.output, "(earlier backup in " + Backup())) << r.output;
        // What a move cut short had moved is listed too.
        EXPECT_EQ(Has(r.output, "\n  2  "), c.split) << r.output;
        if (!c.split) {
            fs::remove(Palm(1) + "/Notes.pdb");
            r = Restore("--handheld " + Palm(1) + " --yes");
            ASSERT_EQ(r.code, 0) << r.output;
            EXPECT_EQ(DatabasesIn(Palm(1)), old);
            EXPECT_FALSE(Has(r.output, "moved the backup")) << "moved while it was being restored";
        }

        r = Run("sync --user Alice --handheld " + Palm(1) + " --conduit " + kConduit);
        ASSERT_EQ(r.code, 0) << r.output;
        EXPECT_TRUE(Has(r.output, "Backup - moved the backup of ")) << r.output;
        EXPECT_TRUE(DatabasesIn(Backup()).empty());
        EXPECT_FALSE(fs::exists(Backup() + "/.earlier"));
        // The one moved is a generation of this handheld now.
        const auto gens = Generations(Palm(1));
        EXPECT_TRUE(std::any_of(gens.begin(), gens.end(), [&](const std::string& g) { return DatabasesIn(g) == old; }));
        r = Run("sync --user Alice --handheld " + Palm(1) + " --conduit " + kConduit);
        EXPECT_FALSE(Has(r.output, "moved the backup")) << r.output;
    }
}

TEST_F(BackupTest, RestoreListsWhatItWouldDoAndRefusesClearly)
{
    ASSERT_EQ(Run("user add Bob").code, 0);
    ASSERT_EQ(Sync(Palm(1), "--no-backup").code, 0);
    EXPECT_FALSE(fs::exists(Backup()));
    for (int run = 0; run < 2; ++run) ASSERT_EQ(Sync(Palm(1)).code, 0);
    fs::remove(Palm(1) + "/Keep.pdb");
    const std::string p = " --handheld " + Palm(1);
    const struct {
        std::string args;
        int code;
        std::vector<std::string> says;
    } cases[] = {
        {"--user Alice --list" + p, 0,
         {"Backups of the handheld " + fs::canonical(Palm(1)).string() + ", newest first", "\n  1  ", " 3 databases\n",
          "\n  2  ", "Keeping the last 3 backups of each handheld (change it with: hotsync configure --user Alice "
          "--backups N)"}},
        {"--user Alice --list --generation 2" + p, 0,
         {"Generation 2 of the handheld", "added (not on the handheld)", "replaces the handheld's\n",
          "Restore it with: hotsync restore --user Alice" + p + " --generation 2"}},
        {"--user Alice --list", 0, {"Backups of Alice, by handheld", "(2 generations, the newest of "}},
        {"--user Alice --generation 3" + p, 2, {"there is no generation 3 of the backups", "there are 2 (list them"}},
        {"--user Alice", 2, {"name the handheld to restore to with --handheld DIR"}},
        {"--user Alice --from nosuch" + p, 2, {"no backups named \"nosuch\" in " + Backup() + "; it holds:"}},
        {"--user Nobody --list", 2, {"no HotSync user named \"Nobody\"", "(see: hotsync user list)"}},
        {"--user Bob --list", 0, {"No backups of Bob in "}},
        {"--user Bob" + p, 2, {"no backup of the handheld", "hotsync sync makes one before each synchronization"}},
    };
    for (const auto& c : cases) {
        const RunResult r = Run("restore " + c.args);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.output;
        for (const std::string& part : c.says) EXPECT_TRUE(Has(r.output, part)) << c.args << "\n" << r.output;
    }
    // Listing changes nothing; a restore waits for no running sync.
    EXPECT_FALSE(fs::exists(Palm(1) + "/Keep.pdb"));
    CHandheldLock lock;
    ASSERT_EQ(lock.Acquire(Palm(1)), CHandheldLock::Result::Locked);
    EXPECT_EQ(Restore(p).code, 3);
    lock.Release();
    const RunResult r = Restore(p + " --yes");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(Has(r.output, "Restored 3 databases of ")) << r.output;
    EXPECT_EQ(ReadAll(Palm(1) + "/Keep.pdb"), m_Sound);
}

// A run that finds the handheld byte for byte as the newest backup holds it
// adds none and says so in the HotSync log; a new backup links the databases
// the newest holds byte for byte instead of copying them again.
TEST_F(BackupTest, AnUnchangedHandheldAddsNoBackupAndUnchangedDatabasesAreLinked)
{
    ASSERT_EQ(Sync(Palm(1)).code, 0);                  // the conduit changes Notes
    ASSERT_EQ(Sync(Palm(1), "--sync-type 6").code, 0); // a run that changes nothing
    for (int run = 0; run < 3; ++run) {
        const RunResult r = Sync(Palm(1), "--sync-type 6");
        ASSERT_EQ(r.code, 0) << r.output;
    }
    const auto gens = Generations(Palm(1));
    ASSERT_EQ(gens.size(), 2u);
    // The runs speak the locale's language here (LC_ALL=C: English).
    const std::string said = "\tBackup - the handheld is as the backup of " + ShownDate(Palm(1), 1) +
                             " holds it: no new backup.\n";
    EXPECT_EQ(Count(HotSyncLog(), said), 3) << HotSyncLog();
    EXPECT_TRUE(SameFile(gens[0] + "/Keep.pdb", gens[1] + "/Keep.pdb"));
    EXPECT_FALSE(SameFile(gens[0] + "/Notes.pdb", gens[1] + "/Notes.pdb"));
    EXPECT_EQ(ReadAll(gens[0] + "/Notes.pdb"), ReadAll(Palm(1) + "/Notes.pdb"));
    // A database the handheld changed is a copy of its own, never its file.
    EXPECT_FALSE(SameFile(gens[0] + "/Notes.pdb", Palm(1) + "/Notes.pdb"));
}

// The backup the last run that changed the handheld started from stays,
// however many runs follow that change nothing (a service out of reach,
// retried) while the handheld changes between them; the others make room,
// and it goes once a later run changes the handheld.
TEST_F(BackupTest, TheBackupFromBeforeTheLastChangingRunOutlivesTheRunsAfterIt)
{
    for (const int keep : {3, 1}) {
        SCOPED_TRACE("keep " + std::to_string(keep));
        fs::remove_all(Backup());
        fs::remove(Palm(1) + "/TestCreated.pdb");
        ASSERT_EQ(Run("configure --user Alice --backups " + std::to_string(keep)).code, 0);
        ASSERT_EQ(Sync(Palm(1)).code, 0); // changes the handheld: its start is the one to keep
        const std::string before = Generations(Palm(1)).front();
        EXPECT_TRUE(fs::exists(before + "/changed.txt"));
        // Runs that change nothing, the person changing the handheld between them.
        int edits = 0;
        auto editAndRun = [&] {
            CPdbFile edit(("Edit" + std::to_string(keep * 10 + edits++)).c_str(), "memo", "DATA", 0, 1, 0, 0);
            ASSERT_TRUE(CHandheldStore(Palm(1)).Save(edit));
            const RunResult r = Sync(Palm(1), "--sync-type 6");
            ASSERT_EQ(r.code, 0) << r.output;
        };
        for (int run = 0; run < 4; ++run) editAndRun();
        auto gens = Generations(Palm(1));
        ASSERT_EQ(int(gens.size()), keep == 1 ? 2 : keep);
        EXPECT_EQ(gens.back(), before);
        EXPECT_FALSE(DatabasesIn(before).count("TestCreated.pdb"));
        for (std::size_t i = 0; i + 1 < gens.size(); ++i) EXPECT_FALSE(fs::exists(gens[i] + "/changed.txt")) << i;
        EXPECT_TRUE(Has(Restore("--handheld " + Palm(1) + " --list").output,
                        "  (kept: the last run or restore that changed the handheld started from it)"));

        // A run that changes the handheld again: the old start may go.
        ASSERT_EQ(Sync(Palm(1)).code, 0);
        editAndRun();
        gens = Generations(Palm(1));
        EXPECT_EQ(int(gens.size()), keep == 1 ? 2 : keep)
            << Restore("--handheld " + Palm(1) + " --list").output << HotSyncLog();
        EXPECT_TRUE(std::find(gens.begin(), gens.end(), before) == gens.end());
    }
}

// A restore shows what it replaces and asks, on a terminal; without one it
// needs --yes. Before it writes, it backs the handheld up as it is, and
// restoring that backup undoes the restore.
TEST_F(BackupTest, ARestoreAsksBacksTheHandheldUpFirstAndCanBeUndone)
{
    ASSERT_EQ(Sync(Palm(1)).code, 0);
    const Contents first = DatabasesIn(Generations(Palm(1)).front());
    const Contents now = DatabasesIn(Palm(1));
    ASSERT_NE(now, first);
    const std::vector<std::string> restore = {kHotSync, "--home", m_Root / "home", "restore", "--user", "Alice",
                                              "--handheld", Palm(1)};

    RunResult r = Restore("--handheld " + Palm(1));
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(Has(r.output, "hotsync: nothing restored: restoring generation 1 (" + ShownDate(Palm(1), 1) +
                                  ") onto the handheld " + Palm(1) +
                                  " would replace 2 of its databases, and there is no terminal to ask on (restore "
                                  "with --yes)\n"))
        << r.output;
    r = RunOnTerminal(restore, "n\n");
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_TRUE(Has(LineWith(r.output, "Notes.pdb"), "replaces the handheld's")) << r.output;
    EXPECT_TRUE(Has(r.output, "[hotsync restore] Restore generation 1 (")) << r.output;
    EXPECT_TRUE(Has(r.output, "Yes or No [y/N]? ")) << r.output;
    EXPECT_TRUE(Has(r.output, "hotsync: nothing restored\r\n")) << r.output;
    EXPECT_EQ(DatabasesIn(Palm(1)), now);
    EXPECT_EQ(Generations(Palm(1)).size(), 1u);

    r = RunOnTerminal(restore, "y\n");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(Has(r.output, "Restored 2 databases of ")) << r.output;
    Contents restored = now;
    for (const auto& [file, bytes] : first) restored[file] = bytes; // databases made since stay
    EXPECT_EQ(DatabasesIn(Palm(1)), restored);
    const auto gens = Generations(Palm(1));
    ASSERT_EQ(gens.size(), 2u);
    const std::string name = fs::path(gens.front()).filename().string();
    EXPECT_EQ(name.substr(name.size() - 15), "-before-restore") << name;
    EXPECT_EQ(DatabasesIn(gens.front()), now);
    EXPECT_TRUE(Has(LineWith(Restore("--handheld " + Palm(1) + " --list").output, "\n  1  "),
                    "  (taken before a restore)"));

    r = Restore("--handheld " + Palm(1) + " --generation 1 --yes");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(DatabasesIn(Palm(1)), now);
}

} // namespace
