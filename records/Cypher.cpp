#include "records/Cypher.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr int kTable[50] = {
    0x3A, 0x91, 0x5C, 0xE7, 0x0D, 0x62, 0xB8, 0x17, 0xC4, 0x4F,
    0x86, 0x2B, 0xF1, 0x59, 0x9E, 0x03, 0x74, 0xDA, 0x35, 0xA9,
    0x6E, 0x12, 0xCB, 0x80, 0x47, 0xFD, 0x28, 0x93, 0x5A, 0xE1,
    0x0B, 0x76, 0xBC, 0x41, 0x9F, 0x24, 0xD8, 0x6B, 0x15, 0xA2,
    0x7D, 0xC9, 0x30, 0x8E, 0x53, 0xF6, 0x1F, 0xB4, 0x68, 0xE3,
};
// Key entry 0 while no key is given.
constexpr int kPresetKey = 0x4B;

std::string Trim(const std::string& s)
{
    const char* blanks = " \t\r\n\v\f";
    const std::size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    const std::size_t last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

} // namespace

CCypher::CCypher()
    : m_Random(std::minstd_rand::result_type(std::time(nullptr)) ^ std::random_device{}())
{
    for (int i = 0; i < kTableSize; ++i) m_Run[i] = kTable[i];
    for (int i = 0; i < kKeySize; ++i) m_Run[kTableSize + i] = 0;
    m_Run[kTableSize] = kPresetKey;
}

CCypher::~CCypher() = default;

int CCypher::GetNumber()
{
    return int(m_Random() % 5);
}

int CCypher::GetNumber2()
{
    return int(m_Random() % 256);
}

// Key entry 0 is preset again each time, so that an empty key means the same
// whatever key the object saw before.
void CCypher::SetKey(const std::string& key)
{
    m_Run[kTableSize] = kPresetKey;
    m_KeyLength = int(key.size() < std::size_t(kKeySize) ? key.size() : std::size_t(kKeySize));
    for (int i = 0; i < m_KeyLength; ++i) m_Run[kTableSize + i] = static_cast<signed char>(key[std::size_t(i)]);
}

std::string CCypher::Encypher(const std::string& text, const std::string& key)
{
    SetKey(key);
    m_Row = GetNumber();
    std::string out(1, char('A' + m_Row));
    int t = 0;
    int k = 0;
    for (char c : text) {
        out.push_back(char((Table(m_Row * 10 + t) ^ Key(k) ^ static_cast<unsigned char>(c)) & 0xFF));
        t = (t + 1) % 11;
        if (m_KeyLength > 0) k = (k + 1) % m_KeyLength;
    }
    const int r = GetNumber2();
    out.push_back(char(r));
    const char mask = char((r + 4) % 256);
    for (std::size_t i = 1; i + 1 < out.size(); ++i) out[i] = char(out[i] ^ mask);
    out.front() = char(out.front() ^ 5);
    out.back() = char(out.back() ^ 10);
    return ConvertToHex(out);
}

std::string CCypher::Decypher(const std::string& hex, const std::string& key)
{
    std::string s = ConvertFromHex(hex);
    if (s.size() < 2) return {};
    SetKey(key);
    s.front() = char(s.front() ^ 5);
    s.back() = char(s.back() ^ 10);
    const int r = static_cast<unsigned char>(s.back());
    const int row = static_cast<unsigned char>(s.front()) - 'A';
    // A damaged text names no row of the table.
    if (row < 0 || row > 4) return {};
    m_Row = row;
    const char mask = char((r + 4) % 256);
    for (std::size_t i = 1; i + 1 < s.size(); ++i) s[i] = char(s[i] ^ mask);
    std::string out;
    int t = 0;
    int k = 0;
    for (std::size_t i = 1; i + 1 < s.size(); ++i) {
        out.push_back(char((Table(m_Row * 10 + t) ^ Key(k) ^ static_cast<unsigned char>(s[i])) & 0xFF));
        t = (t + 1) % 11;
        if (m_KeyLength > 0) k = (k + 1) % m_KeyLength;
    }
    return out;
}

std::string CCypher::ConvertToHex(const std::string& s)
{
    std::string out;
    out.reserve(s.size() * 2);
    for (char c : s) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", unsigned(static_cast<unsigned char>(c)));
        out += pair;
    }
    return out;
}

std::string CCypher::ConvertFromHex(const std::string& text)
{
    std::string out;
    std::string s = Trim(text);
    while (!s.empty()) {
        const std::string pair = s.substr(0, 2);
        out.push_back(char(hstr_i(pair.c_str())));
        s = s.size() > 2 ? Trim(s.substr(2, 1024)) : std::string();
    }
    return out;
}

unsigned CCypher::hstr_i(const char* p)
{
    if (p == nullptr) return 0;
    unsigned value = 0;
    for (; *p != '\0'; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9') digit = *p - '0';
        else if (*p >= 'a' && *p <= 'f') digit = *p - 'a' + 10;
        else if (*p >= 'A' && *p <= 'F') digit = *p - 'A' + 10;
        else break;
        value = value * 16 + unsigned(digit);
    }
    return value;
}
