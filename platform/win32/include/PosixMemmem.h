// memmem, which the C runtime lacks: forced into the libraries that search
// bytes, over the standard library's Boyer-Moore-Horspool searcher (linear in
// practice, as glibc's).
#pragma once
#include <stddef.h>

#ifdef __cplusplus
#include <algorithm>
#include <functional>

inline void* memmem(const void* haystack, size_t haystackLength, const void* needle, size_t needleLength)
{
    const auto* h = static_cast<const unsigned char*>(haystack);
    const auto* n = static_cast<const unsigned char*>(needle);
    if (needleLength == 0) return const_cast<void*>(haystack);
    if (needleLength > haystackLength) return nullptr;
    const auto* hit = std::search(h, h + haystackLength, std::boyer_moore_horspool_searcher(n, n + needleLength));
    return hit == h + haystackLength ? nullptr : const_cast<unsigned char*>(hit);
}
#endif
