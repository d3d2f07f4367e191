// Forced into every test program of the Windows build: the few POSIX calls
// the shared tests use, over the C runtime's own.
#pragma once
#ifdef _WIN32
#include <direct.h>
#include <stdlib.h>

#include <random>
#include <string>

inline int setenv(const char* name, const char* value, int overwrite)
{
    if (!overwrite && ::getenv(name) != nullptr) return 0;
    return ::_putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name)
{
    return ::_putenv_s(name, "") == 0 ? 0 : -1;
}

inline char* mkdtemp(char* pathTemplate)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string path(pathTemplate);
    if (path.size() < 6 || path.compare(path.size() - 6, 6, "XXXXXX") != 0) return nullptr;
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        for (std::size_t i = path.size() - 6; i < path.size(); ++i) path[i] = kLetters[random() % (sizeof kLetters - 1)];
        if (::_mkdir(path.c_str()) == 0) {
            path.copy(pathTemplate, path.size());
            return pathTemplate;
        }
    }
    return nullptr;
}
#endif
