#include "nvservices/NvServices.h"

#include <cstdint>

namespace {

// A key stream from the key alone: FNV-1a of the key seeds a 64-bit LCG, and
// every step also folds in one key byte, so keys of any length matter whole.
class KeyStream {
public:
    explicit KeyStream(const std::string& key) : m_Key(key)
    {
        m_State = 0xcbf29ce484222325ULL;
        for (unsigned char c : key) {
            m_State ^= c;
            m_State *= 0x100000001b3ULL;
        }
    }
    std::uint8_t Next()
    {
        m_State = m_State * 6364136223846793005ULL + 1442695040888963407ULL;
        if (!m_Key.empty()) m_State ^= static_cast<unsigned char>(m_Key[m_Index++ % m_Key.size()]);
        return static_cast<std::uint8_t>(m_State >> 33);
    }

private:
    const std::string& m_Key;
    std::uint64_t m_State = 0;
    std::size_t m_Index = 0;
};

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::string NvCypher(const std::string& text, const std::string& key)
{
    static const char digits[] = "0123456789ABCDEF";
    KeyStream stream(key);
    std::string out;
    out.reserve(text.size() * 2);
    std::uint8_t previous = 0;
    for (unsigned char c : text) {
        // Chaining on the previous output byte hides repeated characters.
        const std::uint8_t b = static_cast<std::uint8_t>(c ^ stream.Next() ^ previous);
        out += digits[b >> 4];
        out += digits[b & 0x0F];
        previous = b;
    }
    return out;
}

std::string NvDecypher(const std::string& cyphered, const std::string& key)
{
    if (cyphered.size() % 2 != 0) return {};
    KeyStream stream(key);
    std::string out;
    out.reserve(cyphered.size() / 2);
    std::uint8_t previous = 0;
    for (std::size_t i = 0; i < cyphered.size(); i += 2) {
        const int hi = HexValue(cyphered[i]);
        const int lo = HexValue(cyphered[i + 1]);
        if (hi < 0 || lo < 0) return {};
        const std::uint8_t b = static_cast<std::uint8_t>(hi << 4 | lo);
        out += static_cast<char>(b ^ stream.Next() ^ previous);
        previous = b;
    }
    return out;
}
