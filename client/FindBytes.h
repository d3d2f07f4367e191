// Offset of the first occurrence of needle that starts before
// haystackLength - needleLength, or -1; -1 at once when the needle is not
// shorter than the haystack. An occurrence ending exactly at the end of the
// haystack is therefore not found. Linear time.
#pragma once
#include "seam/Export.h"
#include "seam/Types.h"

NORV_EXPORT int FindBytes(const BYTE* haystack, DWORD haystackLength, const BYTE* needle, DWORD needleLength);
