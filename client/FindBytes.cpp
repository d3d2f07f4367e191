#include "client/FindBytes.h"

#include <string.h>

int FindBytes(const BYTE* haystack, DWORD haystackLength, const BYTE* needle, DWORD needleLength)
{
    if (needleLength >= haystackLength) return -1;
    // An occurrence starting before length - needleLength lies wholly within
    // the first length - 1 bytes.
    const void* hit = memmem(haystack, haystackLength - 1, needle, needleLength);
    if (!hit) return -1;
    return static_cast<int>(static_cast<const BYTE*>(hit) - haystack);
}
