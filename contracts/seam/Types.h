// Fixed-width types named as the handheld's and the desktop's headers name them.
#pragma once
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;

// Four-character codes: first character in the most significant byte.
constexpr DWORD FourCC(const char (&s)[5])
{
    return (DWORD(BYTE(s[0])) << 24) | (DWORD(BYTE(s[1])) << 16) | (DWORD(BYTE(s[2])) << 8) | DWORD(BYTE(s[3]));
}
