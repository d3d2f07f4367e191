#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "PalmKitTestUtil.h"
#include "palmkit/Handheld.h"
#include "palmkit/HandheldInfo.h"
#include "palmkit/HsLog.h"
#include "palmkit/InstallAide.h"
#include "palmkit/PalmKitInit.h"
#include "palmkit/SyncMgr.h"

using palmkit_test::TempDir;
namespace fs = std::filesystem;

namespace {

TEST(HandheldStoreTest, NamesAreEscapedAndReadBack)
{
    EXPECT_EQ(CHandheldStore::EscapeName("a/b%c"), "a%2Fb%25c");
    EXPECT_EQ(CHandheldStore::EscapeName(".hidden.x"), "%2Ehidden.x");
    EXPECT_EQ(CHandheldStore::EscapeName(std::string("t\tab\x7f")), "t%09ab%7F");
    for (std::string name : {"a/b%c", ".hidden", "plain name", "%41"})
        EXPECT_EQ(CHandheldStore::UnescapeName(CHandheldStore::EscapeName(name)), name);
    EXPECT_EQ(CHandheldStore::UnescapeName("50%"), "50%");

    TempDir dir;
    CHandheldStore store(dir.Path());
    CPdbFile f("../escape", "KESA", "LIST", 0, 1, 0, 0);
    ASSERT_TRUE(store.Save(f));
    EXPECT_TRUE(fs::exists(dir.Path() + "/%2E.%2Fescape.pdb"));
    // The same name as a resource database replaces the record one.
    CPdbFile prc("../escape", "KESA", "appl", CPdbFile::kAttrResource, 1, 0, 0);
    ASSERT_TRUE(store.Save(prc));
    ASSERT_EQ(store.List().size(), 1u);
    EXPECT_TRUE(fs::exists(dir.Path() + "/%2E.%2Fescape.prc"));
    EXPECT_FALSE(fs::exists(dir.Path() + "/%2E.%2Fescape.pdb"));
    CPdbFile tooLong;
    tooLong.m_Name = std::string(40, 'n');
    EXPECT_FALSE(store.Save(tooLong));
}

// One store object asked again and again, as a synchronization does, while
// files come, go and change under other names: it must never answer from
// what it saw before.
TEST(HandheldStoreTest, LookupsFollowFilesChangedBehindTheStore)
{
    TempDir dir;
    CHandheldStore store(dir.Path());
    auto save = [&](const std::string& name) {
        CPdbFile f(name.c_str(), "KESA", "CATA", 0, 1, 0, 0);
        ASSERT_TRUE(store.Save(f));
    };
    for (int i = 0; i < 20; ++i) save("C" + std::to_string(i) + "cat");
    EXPECT_FALSE(store.Find("Elsewhere"));
    EXPECT_EQ(store.List().size(), 20u);

    // A database moved to a file not named after it is still found, and
    // found where it went next.
    fs::rename(dir.Path() + "/C3cat.pdb", dir.Path() + "/moved.pdb");
    ASSERT_TRUE(store.Find("C3cat"));
    EXPECT_EQ(store.Find("C3cat")->path, dir.Path() + "/moved.pdb");
    fs::rename(dir.Path() + "/moved.pdb", dir.Path() + "/moved again.pdb");
    EXPECT_EQ(store.Find("C3cat")->path, dir.Path() + "/moved again.pdb");

    // Another database written over that file (a new file, as every writer
    // here replaces files) takes its place; the old name is gone.
    CPdbFile other("Other", "KESA", "LIST", 0, 1, 0, 0);
    const std::string tmp = dir.Path() + "/x.tmp";
    ASSERT_TRUE(CHandheldStore::WriteFileAtomically(tmp, other.ToBytes()));
    fs::rename(tmp, dir.Path() + "/moved again.pdb");
    EXPECT_FALSE(store.Find("C3cat"));
    EXPECT_EQ(store.Find("Other")->path, dir.Path() + "/moved again.pdb");

    // Removed behind the store's back: gone from lookups and the listing.
    fs::remove(dir.Path() + "/moved again.pdb");
    EXPECT_FALSE(store.Find("Other"));
    fs::remove(dir.Path() + "/C7cat.pdb");
    EXPECT_FALSE(store.Find("C7cat"));
    EXPECT_EQ(store.List().size(), 18u);

    // The listing sees a file grown in place (same inode): sizes are fresh.
    const std::string c1 = store.Find("C1cat")->path;
    const auto before = store.Find("C1cat")->fileSize;
    std::ofstream(c1, std::ios::app) << "tail";
    for (const auto& e : store.List())
        if (e.name == "C1cat") {
            EXPECT_EQ(e.fileSize, before + 4);
        }
}

// With the lock held the store trusts its last reading of the folder: what
// it writes itself, what it read before and what it replaced are answered
// right; only a file another writer adds under a name not its own waits
// until the lock is let go (no one else writes while it is held).
TEST(HandheldStoreTest, WithTheLockHeldLookupsUseTheLastReading)
{
    for (const bool writeBehind : {false, true}) {
        SCOPED_TRACE(writeBehind ? "write-behind" : "direct");
        TempDir dir;
        auto write = [&](const std::string& name, const std::string& file) {
            CPdbFile f(name.c_str(), "KESA", "CATA", 0, 1, 0, 0);
            ASSERT_TRUE(CHandheldStore::WriteFileAtomically(dir.Path() + "/" + file, f.ToBytes()));
        };
        write("Kept", "Kept.pdb");
        write("Moved", "elsewhere.pdb");
        write("Twice", "a.pdb");
        write("Twice", "b.pdb");
        CHandheldStore store(dir.Path());
        store.SetLockHeld(true);
        store.SetWriteBehind(writeBehind);
        EXPECT_FALSE(store.Find("Missing")); // the first miss reads the folder

        CPdbFile created("Created", "KESA", "LIST", 0, 1, 0, 0);
        ASSERT_TRUE(store.Save(created));
        CPdbFile movedBack("Moved", "KESA", "CATA", 0, 2, 0, 0);
        // Another writer, under a name not its own, nor its own in other letter
        // case (which Windows' file names do not tell apart).
        write("Late", "written-late.pdb");
        const struct {
            const char* name;
            const char* file; // nullptr: not found
        } lookups[] = {
            {"Kept", "Kept.pdb"}, {"Moved", "elsewhere.pdb"}, {"Twice", "a.pdb"},
            {"Created", "Created.pdb"}, {"Missing", nullptr}, {"Late", nullptr},
        };
        for (const auto& l : lookups) {
            const auto found = store.Find(l.name);
            ASSERT_EQ(found.has_value(), l.file != nullptr) << l.name;
            if (found) {
                EXPECT_EQ(found->path, dir.Path() + "/" + l.file) << l.name;
            }
        }
        // Files that left under other hands or this store's are not answered from the reading.
        fs::remove(dir.Path() + "/a.pdb");
        EXPECT_EQ(store.Find("Twice")->path, dir.Path() + "/b.pdb");
        ASSERT_TRUE(store.Save(movedBack));
        EXPECT_EQ(store.Find("Moved")->path, dir.Path() + "/Moved.pdb");
        store.WaitForWrites();
        EXPECT_FALSE(fs::exists(dir.Path() + "/elsewhere.pdb"));
        ASSERT_TRUE(store.Remove("Created"));
        EXPECT_FALSE(store.Find("Created"));
        // Once the lock is let go the folder is read again.
        store.SetLockHeld(false);
        EXPECT_EQ(store.Find("Late")->path, dir.Path() + "/written-late.pdb");
    }
}

TEST(HandheldInfoTest, DefaultsAndRoundTrip)
{
    TempDir dir;
    CHandheldInfo info;
    ASSERT_TRUE(info.Load(dir.Path()));
    EXPECT_EQ(info.m_RomVersion, 0x04003000u);
    info.m_UserName = "Alice";
    info.m_UserId = 1234;
    info.m_RomVersion = 0x05103000;
    ASSERT_TRUE(info.Save(dir.Path()));
    CHandheldInfo back;
    ASSERT_TRUE(back.Load(dir.Path()));
    EXPECT_EQ(back.m_UserName, "Alice");
    EXPECT_EQ(back.m_UserId, 1234u);
    EXPECT_EQ(back.m_RomVersion, 0x05103000u);

    std::ofstream(dir.Path() + "/handheld.json") << "{ not json";
    EXPECT_FALSE(back.Load(dir.Path()));
    EXPECT_EQ(back.m_UserName, "");

    // The system information comes from it.
    std::ofstream(dir.Path() + "/handheld.json") << R"({"user":"Bob","userId":7,"romVersion":"3.5"})";
    TempDir user;
    ASSERT_EQ(palmkit::Attach(dir.Path(), user.Path(), "Bob"), palmkit::AttachResult::Ok);
    CSyncSystemInfo sys{};
    ASSERT_EQ(SyncReadSystemInfo(&sys), SYNCERR_NONE);
    EXPECT_STREQ(sys.m_UserName, "Bob");
    EXPECT_EQ(+sys.m_UserId, 7u);
    EXPECT_EQ(+sys.m_RomSoftVersion, 0x03503000u);
    palmkit::Detach();
}

TEST(HsLogTest, EntriesKeepTheirActivityAndOrder)
{
    palmkit::LogClear();
    EXPECT_EQ(LogAddEntry("first", slText, 0), 0);
    EXPECT_EQ(LogAddEntry("failed\tline\nsecond", slSyncFailed, 1), 0);
    EXPECT_EQ(LogAddEntry(nullptr, slWarning, 0), 0);
    auto entries = palmkit::LogEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].activity, -1);
    EXPECT_EQ(entries[1].text, "failed\tline\nsecond");
    EXPECT_TRUE(entries[1].timestamp);
    EXPECT_EQ(entries[2].text, "");
    EXPECT_NE(entries[0].time, 0);
    palmkit::LogClear();
    EXPECT_TRUE(palmkit::LogEntries().empty());
}

TEST(InstallAideTest, QueuesACopyForTheAttachedUser)
{
    TempDir handheld, user, src;
    const std::string file = src.Path() + "/norvelia.prc";
    CPdbFile app("Norvelia", "KESA", "appl", CPdbFile::kAttrResource, 1, 100, 400);
    ASSERT_TRUE(app.WritePdbFile(file.c_str()));
    EXPECT_EQ(PltInstallFile("Alice", file.c_str()), kInstallUnknownUser); // nothing attached
    ASSERT_EQ(palmkit::Attach(handheld.Path(), user.Path(), "Alice"), palmkit::AttachResult::Ok);
    EXPECT_EQ(PltInstallFile("alice", file.c_str()), 0);
    EXPECT_EQ(ReadAll(user.Path() + "/Install/norvelia.prc"), ReadAll(file));
    // What is no whole database is refused, not left in the queue for ever.
    for (const std::string& bytes : {std::string(), std::string("application bytes"), ReadAll(file).substr(0, 60)}) {
        std::ofstream(src.Path() + "/bad.prc", std::ios::binary) << bytes;
        EXPECT_EQ(PltInstallFile("Alice", (src.Path() + "/bad.prc").c_str()), kInstallUnreadable) << bytes.size();
    }
    EXPECT_EQ(PltInstallFile("Bob", file.c_str()), kInstallUnknownUser);
    EXPECT_EQ(PltInstallFile("Alice", (src.Path() + "/missing.prc").c_str()), kInstallUnreadable);
    EXPECT_EQ(PltInstallFile("Alice", nullptr), kInstallBadArgument);
    EXPECT_EQ(PltInstallFile("Alice", src.Path().c_str()), kInstallUnreadable);
    palmkit::Detach();
}

TEST(LanguageLoaderTest, CatalogOrOwnStrings)
{
    TempDir dir;
    std::ofstream(dir.Path() + "/NORVCONDLANG.msg") << "3369\tsynchro \\\"rien\\\"\\tfaite\n"
                                                     << "junk line\n"
                                                     << "12\tdouze\n";
    const char* old = std::getenv("NORVELIA_MSGDIR");
    const std::string saved = old ? old : "";
    ::setenv("NORVELIA_MSGDIR", dir.Path().c_str(), 1);
    int self = 0;
    char work[256];
    PALMMODULE m = PalmLoadLanguage("NORVCONDLANG.DLL", &self, work, sizeof work);
    ASSERT_NE(m, &self);
    char buf[64];
    EXPECT_GT(PalmLoadString(m, 3369, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "synchro \"rien\"\tfaite");
    EXPECT_EQ(PalmLoadString(m, 12, buf, 4), 3);
    EXPECT_STREQ(buf, "dou");
    EXPECT_EQ(PalmLoadString(m, 99, buf, sizeof buf), 0);
    PalmFreeLanguage(m, &self);

    EXPECT_EQ(PalmLoadLanguage("NOSUCHLANG.DLL", &self, nullptr, 0), &self);
    EXPECT_EQ(PalmLoadString(&self, 3369, buf, sizeof buf), 0);
    PalmFreeLanguage(&self, &self);
    if (old) ::setenv("NORVELIA_MSGDIR", saved.c_str(), 1);
    else ::unsetenv("NORVELIA_MSGDIR");
    EXPECT_EQ(InitTables5DLL(), 0);
    EXPECT_EQ(InitPdcmn5DLL(), 0);
}

TEST(PalmDateTest, FormatsTheHandheldsWallClock)
{
    EXPECT_EQ(palmkit::PalmDateText(0), "-");
    EXPECT_EQ(palmkit::PalmDateText(2082844800u), "1970-01-01 00:00:00");
    EXPECT_GT(palmkit::PalmNow(), 3600000000u); // after 2018
}

} // namespace
