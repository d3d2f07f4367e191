// Windows: a user's folders are closed to other accounts by the profile's own
// access lists, so there are no mode bits to narrow here. Files are always
// opened in binary mode (a PDB file is bytes) and not inherited by children.
#include "seam/PrivateFiles.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace platform {

bool IsPrivateDir(const std::string& dir)
{
    std::error_code ec;
    return fs::is_directory(dir, ec);
}

mode_t CreationMode(const std::string&, NewFileMode)
{
    return _S_IREAD | _S_IWRITE;
}

int OpenFile(const std::string& path, int flags)
{
    return ::_open(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

int CreateUniqueFile(std::string& pathTemplate, mode_t)
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
        const int fd = ::_open(pathTemplate.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                               _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

PrivateDir MakePrivateDir(const std::string& dir)
{
    PrivateDir out;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir, ec)) {
        out.error = "cannot create " + dir + ": " + (ec ? ec.message() : std::strerror(ENOTDIR));
        return out;
    }
    out.exists = true;
    return out;
}

} // namespace platform
