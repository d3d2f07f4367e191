// The modes of the folders and files that hold a user's data.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "PalmKitTestUtil.h"
#include "seam/PrivateFiles.h"
#include "quillio/NorvFile.h"

using palmkit_test::TempDir;
using platform::NewFileMode;
namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

// Sets the umask for one scope: the tests run one at a time.
class Umask {
public:
    explicit Umask(mode_t mask) : m_Old(::umask(mask)) {}
    ~Umask() { ::umask(m_Old); }

private:
    mode_t m_Old;
};

TEST(PrivateFilesTest, EveryWriterCreatesWithTheModeOfItsFolder)
{
    struct Case {
        mode_t folder, umask;
        NewFileMode how;
        mode_t expected;
    };
    const Case cases[] = {
        {0700, 022, NewFileMode::AsFolder, 0600},
        {0700, 000, NewFileMode::AsFolder, 0600}, // not even for a moment wider
        {0750, 022, NewFileMode::AsFolder, 0644}, // open to the group: the umask decides
        {0755, 002, NewFileMode::AsFolder, 0664},
        {0755, 077, NewFileMode::AsFolder, 0600},
        {0700, 022, NewFileMode::Umask, 0644},
        {0700, 002, NewFileMode::Umask, 0664},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << "folder " << c.folder << " umask " << c.umask
                                        << (c.how == NewFileMode::Umask ? " shared" : ""));
        TempDir root;
        const std::string dir = root / "d";
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(dir.c_str(), c.folder), 0);
        Umask mask(c.umask);
        ASSERT_TRUE(CHandheldStore::WriteFileAtomically(dir + "/whole", {1, 2, 3}, nullptr, true, c.how));
        EXPECT_EQ(ModeOf(dir + "/whole"), c.expected);
        if (c.how == NewFileMode::Umask) continue;
        ASSERT_TRUE(CHandheldStore(dir).Save(CPdbFile("USERCTX", "KESA", "USER", 0, 1, 0, 0)));
        EXPECT_EQ(ModeOf(dir + "/USERCTX.pdb"), c.expected);
        for (const char* how : {"w", "ab"}) {
            const std::string path = dir + "/stdio-" + how;
            CNorvFile file;
            ASSERT_TRUE(file.Open(path.c_str(), how));
            EXPECT_EQ(ModeOf(path), c.expected) << how;
        }
        const int fd = platform::OpenFile(dir + "/log", O_WRONLY | O_CREAT | O_APPEND);
        ASSERT_GE(fd, 0);
        ::close(fd);
        EXPECT_EQ(ModeOf(dir + "/log"), c.expected);
    }
}

TEST(PrivateFilesTest, AFileRewrittenInAPrivateFolderLosesWhatItGrantedOthers)
{
    TempDir root;
    const std::string path = root / "NorvTrace.log";
    std::ofstream(path) << "from before";
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
    {
        CNorvFile reader;
        ASSERT_TRUE(reader.Open(path.c_str(), "rb"));
    }
    EXPECT_EQ(ModeOf(path), 0664u); // reading changes nothing
    CNorvFile writer;
    ASSERT_TRUE(writer.Open(path.c_str(), "w"));
    EXPECT_EQ(ModeOf(path), 0600u);
}

TEST(PrivateFilesTest, FoldersAreCreatedPrivateAndNarrowedOnceWithALine)
{
    struct Case {
        const char* name;
        int before; // the mode found, or -1 for none
        mode_t after;
        bool line;
    };
    const Case cases[] = {
        {"absent", -1, 0700, false},
        {"open to all", 0755, 0700, true},
        {"open to the group", 0750, 0700, true},
        {"already private", 0700, 0700, false},
        {"read-only stays read-only", 0555, 0500, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir root;
        const std::string dir = root / "home";
        Umask mask(022);
        if (c.before >= 0) {
            ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
            ASSERT_EQ(::chmod(dir.c_str(), mode_t(c.before)), 0);
        }
        platform::PrivateDir made = platform::MakePrivateDir(dir);
        EXPECT_TRUE(made.exists);
        EXPECT_EQ(made.error, "");
        EXPECT_EQ(ModeOf(dir), c.after);
        char was[8];
        std::snprintf(was, sizeof was, "%04o", unsigned(c.before));
        EXPECT_EQ(made.narrowed,
                  c.line ? "made " + dir + " private (was " + was + "): it holds personal data" : "");
        made = platform::MakePrivateDir(dir);
        EXPECT_EQ(made.narrowed, "") << "said twice";
    }
}

TEST(PrivateFilesTest, ParentsAreMadeAsUsualAndAFileIsNoFolder)
{
    TempDir root;
    Umask mask(022);
    const std::string dir = root / "share/hotsync";
    EXPECT_TRUE(platform::MakePrivateDir(dir).exists);
    EXPECT_EQ(ModeOf(root / "share"), 0755u); // parents are made as usual
    EXPECT_EQ(ModeOf(dir), 0700u);

    std::ofstream(root / "file") << "x";
    const platform::PrivateDir made = platform::MakePrivateDir(root / "file");
    EXPECT_FALSE(made.exists);
    EXPECT_EQ(made.error, "cannot create " + (root / "file") + ": Not a directory");
}

} // namespace
