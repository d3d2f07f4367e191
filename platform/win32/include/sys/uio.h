// Gathered writes, which the C runtime lacks: the pieces are joined and
// written with one call, so that a line still reaches its file whole.
#pragma once
#include <io.h>
#include <limits.h>
#include <stddef.h>
#include <sys/types.h>

#ifdef __cplusplus
#include <string>

struct iovec {
    void* iov_base;
    size_t iov_len;
};

inline ssize_t writev(int fd, const iovec* parts, int count)
{
    std::string joined;
    for (int i = 0; i < count; ++i) joined.append(static_cast<const char*>(parts[i].iov_base), parts[i].iov_len);
    if (joined.size() > INT_MAX) joined.resize(INT_MAX);
    return ::_write(fd, joined.data(), unsigned(joined.size()));
}
#endif
