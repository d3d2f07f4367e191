// The durable-file operations and the folder lock the store is built on.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "common/TestFiles.h"
#include "platform/DurableFiles.h"

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
    platform::UnlockFolder(first);
    ASSERT_EQ(platform::LockFolder(dir.Path(), second), platform::FolderLockResult::Locked);
    platform::UnlockFolder(second);
}

} // namespace
