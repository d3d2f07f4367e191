#include "palmkit/UserEntry.h"

#include <algorithm>

namespace usersdat {

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// The code point at `pos` and its length in bytes; a byte that does not start
// a well-formed UTF-8 sequence stands for itself, length 1, with `valid` false.
char32_t Decode(std::string_view s, std::size_t pos, std::size_t& length, bool& valid)
{
    const unsigned char lead = static_cast<unsigned char>(s[pos]);
    length = 1;
    valid = true;
    if (lead < 0x80) return lead;
    const std::size_t n = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    char32_t cp = n == 2 ? lead & 0x1F : n == 3 ? lead & 0x0F : lead & 0x07;
    bool ok = n != 0 && pos + n <= s.size();
    for (std::size_t k = 1; ok && k < n; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[pos + k]);
        ok = (c & 0xC0) == 0x80;
        cp = (cp << 6) | (c & 0x3F);
    }
    static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kSmallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        valid = false;
        return lead;
    }
    length = n;
    return cp;
}

// Plain letters of U+00C0 to U+00FF and U+0100 to U+017F; empty for the
// signs × and ÷.
const char* const kLatin1[64] = {
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I",
    "D", "N", "O", "O", "O", "O", "O", "", "O", "U", "U", "U", "U", "Y", "TH", "ss",
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    "d", "n", "o", "o", "o", "o", "o", "", "o", "u", "u", "u", "u", "y", "th", "y"};
const char* const kLatinExtendedA[128] = {
    "A", "a", "A", "a", "A", "a", "C", "c", "C", "c", "C", "c", "C", "c", "D", "d",
    "D", "d", "E", "e", "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g",
    "G", "g", "G", "g", "H", "h", "H", "h", "I", "i", "I", "i", "I", "i", "I", "i",
    "I", "i", "IJ", "ij", "J", "j", "K", "k", "k", "L", "l", "L", "l", "L", "l", "L",
    "l", "L", "l", "N", "n", "N", "n", "N", "n", "n", "N", "n", "O", "o", "O", "o",
    "O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s", "S", "s", "S", "s",
    "S", "s", "T", "t", "T", "t", "T", "t", "U", "u", "U", "u", "U", "u", "U", "u",
    "U", "u", "U", "u", "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "s"};

// The ASCII letters that stand for a code point, or null when it has none.
const char* Plain(char32_t cp)
{
    if (cp >= 0xC0 && cp <= 0xFF) return kLatin1[cp - 0xC0];
    if (cp >= 0x100 && cp <= 0x17F) return kLatinExtendedA[cp - 0x100];
    return nullptr;
}

// Lower case of ASCII, Latin-1 and Latin Extended-A letters; others as they are.
char32_t Lower(char32_t cp)
{
    if (cp >= 'A' && cp <= 'Z') return cp + 0x20;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 0x20;
    if (cp == 0x130) return 'i';
    if (cp == 0x178) return 0xFF;
    if ((cp >= 0x100 && cp <= 0x137 && cp != 0x131) || (cp >= 0x14A && cp <= 0x177)) return cp | 1;
    if (((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) && (cp & 1)) return cp + 1;
    return cp;
}

std::string CheckText(std::string_view text, const char* what)
{
    if (text.empty()) return std::string(what) + " is empty";
    for (unsigned char c : text) {
        if (IsControl(c)) return std::string(what) + " \"" + Printable(text) + "\" holds a control character";
    }
    if (text.size() > kMaxText)
        return std::string(what) + " \"" + Printable(text) + "\" is longer than " + std::to_string(kMaxText) +
               " bytes";
    return {};
}

} // namespace

std::string Printable(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (IsControl(c) || c == '"' || c == '\\') {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string CutField(std::string_view field)
{
    if (field.size() <= kMaxText) return std::string(field);
    std::size_t end = 0;
    while (end < field.size()) {
        std::size_t length = 0;
        bool valid = true;
        Decode(field, end, length, valid);
        if (end + length > kMaxText) break;
        end += length;
    }
    return std::string(field.substr(0, end));
}

std::string FolderNameFor(std::string_view name, std::size_t max)
{
    std::string dir;
    for (std::size_t pos = 0; pos < name.size();) {
        std::size_t length = 0;
        bool valid = true;
        const char32_t cp = Decode(name, pos, length, valid);
        pos += length;
        std::string piece;
        if (cp < 0x80) {
            const char c = char(cp);
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
                piece = c;
        } else if (const char* plain = valid ? Plain(cp) : nullptr) {
            piece = plain;
        }
        if (dir.size() + piece.size() > max) break;
        dir += piece;
    }
    return dir.empty() ? std::string("User") : dir;
}

bool SameName(std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        std::size_t la = 0, lb = 0;
        bool va = true, vb = true;
        const char32_t ca = Decode(a, i, la, va), cb = Decode(b, j, lb, vb);
        if (va != vb || (va ? Lower(ca) != Lower(cb) : ca != cb)) return false;
        i += la;
        j += lb;
    }
    return i == a.size() && j == b.size();
}

std::string CheckUserName(std::string_view name) { return CheckText(name, "the user name"); }

std::string CheckUserDir(std::string_view dir)
{
    if (std::string why = CheckText(dir, "the directory name"); !why.empty()) return why;
    if (dir == "." || dir == ".." || dir.find_first_of("/\\") != std::string_view::npos)
        return "the directory name \"" + Printable(dir) + "\" is not a plain folder name";
    return {};
}

std::string CheckUserEntry(std::string_view name, std::string_view dir)
{
    if (std::string why = CheckUserName(name); !why.empty()) return why;
    return CheckUserDir(dir);
}

} // namespace usersdat
