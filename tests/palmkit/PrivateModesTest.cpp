// A private file is created with its final mode, never wider for a moment:
// this program takes chmod and fchmod from the libraries while the writers
// run and refuses them, so a file created open to others and narrowed after
// stays open, and the test sees it.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <string>

#include "PalmKitTestUtil.h"
#include "palmkit/HandheldStore.h"
#include "quillio/NorvFile.h"
#include "quillio/PdbFile.h"
#include "seam/PrivateFiles.h"

namespace {

std::atomic<bool> g_refuse{false};
std::atomic<int> g_refused{0};

template <class F>
F Next(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool Refused()
{
    if (!g_refuse.load()) return false;
    ++g_refused;
    errno = EPERM;
    return true;
}

} // namespace

// Seen by the libraries in place of the C library's (the build hides symbols by default).
#define INTERPOSED extern "C" __attribute__((visibility("default")))

INTERPOSED int fchmod(int fd, mode_t mode)
{
    static const auto next = Next<int (*)(int, mode_t)>("fchmod");
    return Refused() ? -1 : next(fd, mode);
}

INTERPOSED int chmod(const char* path, mode_t mode)
{
    static const auto next = Next<int (*)(const char*, mode_t)>("chmod");
    return Refused() ? -1 : next(path, mode);
}

INTERPOSED int fchmodat(int dir, const char* path, mode_t mode, int flags)
{
    static const auto next = Next<int (*)(int, const char*, mode_t, int)>("fchmodat");
    return Refused() ? -1 : next(dir, path, mode, flags);
}

namespace {

using palmkit_test::TempDir;

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

// Mode changes refused for one scope.
class NoModeChanges {
public:
    NoModeChanges() { g_refuse = true; }
    ~NoModeChanges() { g_refuse = false; }
};

TEST(PrivateModesTest, EveryWriterCreatesAPrivateFileWithItsFinalMode)
{
    TempDir root;
    const std::string dir = root / "private";
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    // The refusal reaches the libraries: a file written before its folder
    // was made private keeps what it granted.
    const std::string older = dir + "/older";
    std::ofstream(older) << "x";
    ASSERT_EQ(::chmod(older.c_str(), 0644), 0);
    {
        NoModeChanges refused;
        const int fd = platform::OpenFile(older, O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    ASSERT_GT(g_refused.load(), 0) << "the libraries' mode changes do not come here";
    ASSERT_EQ(ModeOf(older), 0644u);

    const mode_t mask = ::umask(0);
    struct Writer {
        const char* name;
        bool (*write)(const std::string& path);
    };
    const Writer writers[] = {
        {"WriteFileAtomically", [](const std::string& p) { return CHandheldStore::WriteFileAtomically(p, {1, 2}); }},
        {"CHandheldStore::Save",
         [](const std::string& p) {
             return CHandheldStore(p.substr(0, p.rfind('/'))).Save(CPdbFile("USERCTX", "KESA", "USER", 0, 1, 0, 0));
         }},
        {"CNorvFile w", [](const std::string& p) { return CNorvFile().Open(p.c_str(), "w"); }},
        {"CNorvFile ab", [](const std::string& p) { return CNorvFile().Open(p.c_str(), "ab"); }},
        {"OpenFile",
         [](const std::string& p) {
             const int fd = platform::OpenFile(p, O_WRONLY | O_CREAT | O_APPEND);
             return fd >= 0 && ::close(fd) == 0;
         }},
        {"CreateUniqueFile",
         [](const std::string& p) {
             std::string name = p + ".XXXXXX";
             const int fd = platform::CreateUniqueFile(name, 0600);
             return fd >= 0 && ::close(fd) == 0 && ::rename(name.c_str(), p.c_str()) == 0;
         }},
    };
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.name);
        const std::string path = dir + (std::string(w.name) == "CHandheldStore::Save" ? "/USERCTX.pdb" : "/file");
        ::unlink(path.c_str());
        bool written = false;
        {
            NoModeChanges refused;
            written = w.write(path);
        }
        EXPECT_TRUE(written);
        EXPECT_EQ(ModeOf(path), 0600u);
    }
    ::umask(mask);
}

} // namespace
