#include "seam/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace {

constexpr mode_t kGroupOther = S_IRWXG | S_IRWXO;

std::string DirOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string Octal(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
    return text;
}

} // namespace

namespace platform {

bool IsPrivateDir(const std::string& dir)
{
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & kGroupOther) == 0;
}

mode_t CreationMode(const std::string& dir, NewFileMode mode)
{
    return mode == NewFileMode::AsFolder && IsPrivateDir(dir) ? 0600 : 0666;
}

int OpenFile(const std::string& path, int flags)
{
    const bool closed = IsPrivateDir(DirOf(path));
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, closed ? 0600 : 0666);
    if (fd < 0 || !closed || (flags & O_ACCMODE) == O_RDONLY) return fd;
    // A file written before its folder was made private.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & kGroupOther) != 0 && st.st_uid == ::geteuid())
        ::fchmod(fd, st.st_mode & ~kGroupOther & 07777);
    return fd;
}

int CreateUniqueFile(std::string& pathTemplate, mode_t mode)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static constexpr std::size_t kRandom = 6;
    if (pathTemplate.size() < kRandom || pathTemplate.compare(pathTemplate.size() - kRandom, kRandom, "XXXXXX") != 0) {
        errno = EINVAL;
        return -1;
    }
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        for (std::size_t i = pathTemplate.size() - kRandom; i < pathTemplate.size(); ++i)
            pathTemplate[i] = kLetters[pick(random)];
        const int fd = ::open(pathTemplate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

PrivateDir MakePrivateDir(const std::string& dir)
{
    PrivateDir out;
    auto fail = [&](const std::string& what, int error) {
        out.error = what + ": " + std::strerror(error);
        return out;
    };
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT) return fail("cannot create " + dir, errno);
        std::error_code ec;
        const fs::path parent = fs::path(dir).parent_path();
        if (!parent.empty()) fs::create_directories(parent, ec);
        if (ec) return fail("cannot create " + parent.string(), ec.value());
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return fail("cannot create " + dir, errno);
        if (::stat(dir.c_str(), &st) != 0) return fail("cannot create " + dir, errno);
    }
    if (!S_ISDIR(st.st_mode)) return fail("cannot create " + dir, ENOTDIR);
    out.exists = true;
    if ((st.st_mode & kGroupOther) == 0) return out;
    const mode_t was = st.st_mode & 07777;
    if (::chmod(dir.c_str(), was & ~kGroupOther) != 0) return fail("cannot make " + dir + " private", errno);
    // Some file systems accept the change and keep the mode.
    if (::stat(dir.c_str(), &st) != 0 || (st.st_mode & kGroupOther) != 0)
        return fail("cannot make " + dir + " private", EPERM);
    out.narrowed = "made " + dir + " private (was " + Octal(was) + "): it holds personal data";
    return out;
}

} // namespace platform
