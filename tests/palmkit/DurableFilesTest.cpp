// The durable-file operations and the folder lock the store is built on.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <fstream>

#include "common/TestFiles.h"
#include "seam/DurableFiles.h"

namespace {

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(DurableFilesTest, MoveIntoPlaceReplacesAnExistingFileAndConsumesTheSource)
{
    TempDir dir;
    WriteFile(dir / "new", "fresh bytes");
    WriteFile(dir / "old", "stale and longer bytes");
    ASSERT_TRUE(platform::MoveIntoPlace(dir / "new", dir / "old"));
    EXPECT_EQ(ReadAll(dir / "old"), "fresh bytes");
    EXPECT_FALSE(std::filesystem::exists(dir / "new"));
    // A missing source is a failure, and leaves the target alone.
    EXPECT_FALSE(platform::MoveIntoPlace(dir / "new", dir / "old"));
    EXPECT_EQ(ReadAll(dir / "old"), "fresh bytes");
    EXPECT_TRUE(platform::FlushFolder(dir.Path()));
}

TEST(DurableFilesTest, PositionedReadsAndWritesHitTheirOffsets)
{
    TempDir dir;
    WriteFile(dir / "f", "0123456789");
    const int fd = ::open((dir / "f").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    struct Case { std::int64_t offset; std::size_t size; std::string want; };
    for (const Case& c : {Case{0, 4, "0123"}, Case{6, 10, "6789"}, Case{10, 4, ""}, Case{25, 1, ""}}) {
        char buf[16] = {};
        const std::int64_t n = platform::ReadAt(fd, buf, c.size, c.offset);
        EXPECT_EQ(std::string(buf, std::size_t(n < 0 ? 0 : n)), c.want) << "offset " << c.offset;
    }
    EXPECT_EQ(platform::WriteAt(fd, "AB", 2, 3), 2);
    EXPECT_EQ(platform::WriteAt(fd, "Z", 1, 10), 1);
    EXPECT_TRUE(platform::FlushFile(fd));
    ::close(fd);
    EXPECT_EQ(ReadAll(dir / "f"), "012AB56789Z");
    char buf[4];
    EXPECT_EQ(platform::ReadAt(-1, buf, sizeof buf, 0), -1);
}

TEST(DurableFilesTest, AnAnonymousFileLeavesNoEntryBehind)
{
    TempDir dir;
    const int fd = platform::OpenAnonymousFile(dir.Path());
    if (fd < 0) GTEST_SKIP() << "no anonymous files here";
    EXPECT_EQ(platform::WriteAt(fd, "spooled", 7, 0), 7);
    char buf[8] = {};
    EXPECT_EQ(platform::ReadAt(fd, buf, 7, 0), 7);
    EXPECT_STREQ(buf, "spooled");
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    ::close(fd);
}

TEST(DurableFilesTest, FolderLockIsExclusiveUntilReleased)
{
    TempDir dir;
    WriteFile(dir / "plain", "x");
    std::intptr_t first = platform::kNoFolderLock, second = platform::kNoFolderLock;
    EXPECT_EQ(platform::LockFolder(dir / "plain", second), platform::FolderLockResult::NotADirectory);
    EXPECT_EQ(platform::LockFolder(dir / "missing", second), platform::FolderLockResult::NotADirectory);
    EXPECT_EQ(second, platform::kNoFolderLock);
    ASSERT_EQ(platform::LockFolder(dir.Path(), first), platform::FolderLockResult::Locked);
    EXPECT_EQ(platform::LockFolder(dir.Path(), second), platform::FolderLockResult::Busy);
    EXPECT_EQ(second, platform::kNoFolderLock);
    // The holder, and anyone else, still reads the folder.
    std::vector<platform::FolderName> names;
    EXPECT_TRUE(platform::ListFolder(dir.Path(), names));
    EXPECT_EQ(names.size(), 1u);
    platform::UnlockFolder(first);
    ASSERT_EQ(platform::LockFolder(dir.Path(), second), platform::FolderLockResult::Locked);
    platform::UnlockFolder(second);
}

TEST(DurableFilesTest, FileFactsAndTheFolderListingAgree)
{
    TempDir dir;
    WriteFile(dir / "a.pdb", "12345");
    WriteFile(dir / "b.pdb", "");
    std::filesystem::create_directory(dir / "sub");
    std::vector<platform::FolderName> names;
    ASSERT_TRUE(platform::ListFolder(dir.Path(), names));
    std::map<std::string, std::uint64_t> ids;
    for (const auto& n : names) ids[n.name] = n.id;
    EXPECT_EQ(ids.size(), 3u); // no "." nor ".."
    const std::time_t now = std::time(nullptr);
    struct Case { const char* name; bool regular; std::uint64_t size; };
    for (const Case& c : {Case{"a.pdb", true, 5}, Case{"b.pdb", true, 0}, Case{"sub", false, 0}}) {
        SCOPED_TRACE(c.name);
        platform::FileFacts facts;
        ASSERT_TRUE(platform::ExamineFile(dir / c.name, facts));
        ASSERT_TRUE(ids.count(c.name));
        EXPECT_EQ(facts.regular, c.regular);
        if (!c.regular) continue;
        EXPECT_EQ(facts.size, c.size);
        EXPECT_EQ(ids[c.name], facts.id);
        // Seconds since 1970: written a moment ago, whatever the clock's zone.
        EXPECT_LE(std::llabs(facts.modifiedNs / 1000000000 - now), 3600);
    }
    platform::FileFacts a, b;
    ASSERT_TRUE(platform::ExamineFile(dir / "a.pdb", a));
    ASSERT_TRUE(platform::ExamineFile(dir / "b.pdb", b));
    EXPECT_NE(a.id, b.id);
    // A file put in place by a replace is another file.
    ASSERT_TRUE(platform::MoveIntoPlace(dir / "b.pdb", dir / "a.pdb"));
    platform::FileFacts replaced;
    ASSERT_TRUE(platform::ExamineFile(dir / "a.pdb", replaced));
    EXPECT_NE(replaced.id, a.id);
    EXPECT_EQ(replaced.size, 0u);

    EXPECT_FALSE(platform::ExamineFile(dir / "missing", a));
    EXPECT_FALSE(platform::ListFolder(dir / "missing", names));
    EXPECT_LT(platform::OpenForReading(dir / "missing"), 0);
    const int fd = platform::OpenForReading(dir / "a.pdb");
    ASSERT_GE(fd, 0);
    char byte = 0;
    EXPECT_EQ(::read(fd, &byte, 1), 0); // the replaced, empty one
    ::close(fd);
}

TEST(DurableFilesTest, NewFilesFoldersAndMovesThatReplaceNothing)
{
    TempDir dir;
    const int fd = platform::CreateNewFile(dir / "new", 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, "abc", 3), 3);
    ::close(fd);
    EXPECT_LT(platform::CreateNewFile(dir / "new", 0600), 0); // exclusively
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadAll(dir / "new"), "abc");

    EXPECT_TRUE(platform::MakeFolder(dir / "sub", 0700));
    EXPECT_FALSE(platform::MakeFolder(dir / "sub", 0700));
    EXPECT_EQ(errno, EEXIST);
    std::string unique = dir / "tmp.XXXXXX", other = unique;
    ASSERT_TRUE(platform::MakeUniqueFolder(unique));
    ASSERT_TRUE(platform::MakeUniqueFolder(other));
    EXPECT_NE(unique, other);
    EXPECT_TRUE(std::filesystem::is_directory(unique));
    std::string bad = dir / "no-template";
    EXPECT_FALSE(platform::MakeUniqueFolder(bad));

    // A move that would replace something does not happen.
    WriteFile(dir / "taken", "kept");
    EXPECT_FALSE(platform::MoveIfFree(dir / "new", dir / "taken"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadAll(dir / "taken"), "kept");
    EXPECT_TRUE(platform::MoveIfFree(dir / "new", dir / "free"));
    EXPECT_EQ(ReadAll(dir / "free"), "abc");

    // A folder takes the place of an empty one, not of one that holds files.
    WriteFile(dir / "sub/f", "in sub");
    ASSERT_TRUE(platform::MoveIntoPlace(dir / "sub", unique));
    EXPECT_EQ(ReadAll(unique + "/f"), "in sub");
    WriteFile(other + "/g", "in other");
    EXPECT_FALSE(platform::MoveIntoPlace(unique, other));
    EXPECT_EQ(ReadAll(other + "/g"), "in other");
}

} // namespace
