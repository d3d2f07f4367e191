// The printf subset of the message texts, filled argument by argument.
//
// A catalog text is data, not code: it is parsed here and only ever hands the
// C library a conversion built from checked pieces, with a value of the type
// that conversion expects. Whatever the text holds, nothing is read from a
// missing argument and no field grows beyond kMaxField.
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "CutPoint.h"
#include "lexmo/Lexmo.h"

namespace lexmo {
namespace {

struct Directive {
    bool left = false;     // '-'
    bool plus = false;     // '+'
    bool space = false;    // ' '
    bool alt = false;      // '#'
    bool zero = false;     // '0'
    int width = -1;        // -1: none
    int precision = -1;    // -1: none
    char conv = 0;
};

bool IsConversion(char c)
{
    switch (c) {
    case 's': case 'd': case 'i': case 'u': case 'x': case 'X': case 'c':
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G':
        return true;
    default:
        return false;
    }
}

// Reads digits at `pos`, saturating at kMaxField so that "%999999999d" costs
// nothing.
int ReadNumber(std::string_view f, size_t& pos)
{
    int n = 0;
    while (pos < f.size() && f[pos] >= '0' && f[pos] <= '9') {
        if (n < kMaxField) n = n * 10 + (f[pos] - '0');
        ++pos;
    }
    return n > kMaxField ? kMaxField : n;
}

// Parses the conversion that starts at f[pos] == '%'. On success `pos` is just
// past it; a malformed one leaves `pos` alone.
std::optional<Directive> ParseDirective(std::string_view f, size_t& pos)
{
    Directive dir;
    size_t p = pos + 1;
    for (; p < f.size(); ++p) {
        char c = f[p];
        if (c == '-') dir.left = true;
        else if (c == '+') dir.plus = true;
        else if (c == ' ') dir.space = true;
        else if (c == '#') dir.alt = true;
        else if (c == '0') dir.zero = true;
        else break;
    }
    if (p < f.size() && f[p] >= '1' && f[p] <= '9') dir.width = ReadNumber(f, p);
    if (p < f.size() && f[p] == '.') {
        ++p;
        dir.precision = ReadNumber(f, p);
    }
    // Length modifiers mean nothing here: arguments carry their own type.
    if (p < f.size() && (f[p] == 'h' || f[p] == 'l')) {
        char m = f[p++];
        if (p < f.size() && f[p] == m) ++p;
    } else if (p < f.size() && (f[p] == 'z' || f[p] == 'j' || f[p] == 't' || f[p] == 'L')) {
        ++p;
    }
    if (p >= f.size() || !IsConversion(f[p])) return std::nullopt;
    dir.conv = f[p];
    pos = p + 1;
    return dir;
}

void Pad(std::string& out, std::string_view body, const Directive& dir)
{
    size_t width = dir.width > 0 ? static_cast<size_t>(dir.width) : 0;
    size_t fill = width > body.size() ? width - body.size() : 0;
    if (!dir.left) out.append(fill, ' ');
    out.append(body);
    if (dir.left) out.append(fill, ' ');
}

// Text under any conversion: precision cuts it (for %s only), width pads it.
void PutText(std::string& out, std::string_view text, const Directive& dir, bool cut)
{
    if (cut && dir.precision >= 0) text = text.substr(0, CutPoint(text, static_cast<size_t>(dir.precision)));
    Pad(out, text, dir);
}

// The C library's own conversion, from a format assembled here only.
template <class V>
void PutPrintf(std::string& out, const Directive& dir, const char* flagsAllowed, const char* length, char conv, V value)
{
    std::string fmt = "%";
    auto flag = [&](bool on, char c) {
        if (on && std::string_view(flagsAllowed).find(c) != std::string_view::npos) fmt += c;
    };
    flag(dir.left, '-');
    flag(dir.plus, '+');
    flag(dir.space, ' ');
    flag(dir.alt, '#');
    flag(dir.zero, '0');
    if (dir.width > 0) fmt += std::to_string(dir.width);
    if (dir.precision >= 0) fmt += "." + std::to_string(dir.precision);
    fmt += length;
    fmt += conv;
    int n = std::snprintf(nullptr, 0, fmt.c_str(), value);
    if (n <= 0) return;
    std::string buf(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(buf.data(), buf.size(), fmt.c_str(), value);
    buf.resize(static_cast<size_t>(n));
    out += buf;
}

void PutSigned(std::string& out, const Directive& dir, long long v)
{
    PutPrintf(out, dir, "-+ 0", "ll", 'd', v);
}

void PutUnsigned(std::string& out, const Directive& dir, unsigned long long v, char conv)
{
    PutPrintf(out, dir, conv == 'u' ? "-0" : "-#0", "ll", conv, v);
}

void PutDouble(std::string& out, const Directive& dir, double v, char conv)
{
    PutPrintf(out, dir, "-+ #0", "", conv, v);
}

// A number shown as text (under %s or %c): decimal, as the caller would expect.
std::string NumberText(const Arg& a)
{
    switch (a.kind) {
    case Arg::Kind::Int: case Arg::Kind::Char: return std::to_string(a.i);
    case Arg::Kind::UInt: return std::to_string(a.u);
    case Arg::Kind::Double: {
        std::string s;
        PutDouble(s, Directive{}, a.d, 'g');
        return s;
    }
    case Arg::Kind::Text: return a.s;
    }
    return {};
}

// A double that fits a long long, truncated; nothing for NaN, infinities and
// values out of range.
std::optional<long long> WholePart(double d)
{
    if (!std::isfinite(d)) return std::nullopt;
    double t = std::trunc(d);
    if (t < -9223372036854775808.0 || t >= 9223372036854775808.0) return std::nullopt;
    return static_cast<long long>(t);
}

void PutInteger(std::string& out, const Directive& dir, const Arg& a)
{
    const char conv = dir.conv;
    const bool isSigned = conv == 'd' || conv == 'i';
    long long i = 0;
    unsigned long long u = 0;
    bool negative = false;
    switch (a.kind) {
    case Arg::Kind::Text:
        PutText(out, a.s, dir, false);
        return;
    case Arg::Kind::Double: {
        auto w = WholePart(a.d);
        if (!w) {
            PutDouble(out, dir, a.d, 'g');
            return;
        }
        i = *w;
        negative = i < 0;
        u = static_cast<unsigned long long>(i);
        break;
    }
    case Arg::Kind::Int: case Arg::Kind::Char:
        i = a.i;
        negative = i < 0;
        u = static_cast<unsigned long long>(i);
        break;
    case Arg::Kind::UInt:
        u = a.u;
        i = u > static_cast<unsigned long long>(std::numeric_limits<long long>::max()) ? -1 : static_cast<long long>(u);
        break;
    }
    if (a.kind == Arg::Kind::UInt && i < 0) {
        // Too large for a signed field: show it unsigned, whatever the letter.
        PutUnsigned(out, dir, u, isSigned ? 'u' : conv);
    } else if (isSigned) {
        PutSigned(out, dir, i);
    } else if (conv == 'u') {
        // A negative value under %u keeps its sign rather than wrapping.
        if (negative) PutSigned(out, dir, i);
        else PutUnsigned(out, dir, u, 'u');
    } else {
        // Hexadecimal shows the bit pattern: 32 bits for values that fit an
        // int, as the 32-bit callers would have seen them.
        if (negative && i >= std::numeric_limits<int>::min()) u = static_cast<unsigned int>(static_cast<int>(i));
        PutUnsigned(out, dir, u, conv);
    }
}

void PutFloating(std::string& out, const Directive& dir, const Arg& a)
{
    switch (a.kind) {
    case Arg::Kind::Text: PutText(out, a.s, dir, false); return;
    case Arg::Kind::Double: PutDouble(out, dir, a.d, dir.conv); return;
    case Arg::Kind::Int: case Arg::Kind::Char: PutDouble(out, dir, static_cast<double>(a.i), dir.conv); return;
    case Arg::Kind::UInt: PutDouble(out, dir, static_cast<double>(a.u), dir.conv); return;
    }
}

void PutChar(std::string& out, const Directive& dir, const Arg& a)
{
    long long code = -1;
    if (a.kind == Arg::Kind::Char || a.kind == Arg::Kind::Int) code = a.i;
    else if (a.kind == Arg::Kind::UInt && a.u <= 255) code = static_cast<long long>(a.u);
    if (code == 0) {
        PutText(out, {}, dir, false);
    } else if (code > 0 && code <= 255) {
        char c = static_cast<char>(code);
        PutText(out, std::string_view(&c, 1), dir, false);
    } else {
        PutText(out, NumberText(a), dir, false);
    }
}

void Put(std::string& out, const Directive& dir, const Arg& a)
{
    switch (dir.conv) {
    case 's': PutText(out, a.kind == Arg::Kind::Text ? a.s : NumberText(a), dir, true); return;
    case 'c': PutChar(out, dir, a); return;
    case 'd': case 'i': case 'u': case 'x': case 'X': PutInteger(out, dir, a); return;
    default: PutFloating(out, dir, a); return;
    }
}

} // namespace

std::string Format(std::string_view format, const std::vector<Arg>& args)
{
    std::string out;
    out.reserve(format.size() + 32);
    size_t next = 0;
    size_t pos = 0;
    while (pos < format.size()) {
        size_t pct = format.find('%', pos);
        if (pct == std::string_view::npos) {
            out.append(format.substr(pos));
            break;
        }
        out.append(format.substr(pos, pct - pos));
        pos = pct;
        if (pos + 1 < format.size() && format[pos + 1] == '%') {
            out += '%';
            pos += 2;
            continue;
        }
        auto dir = ParseDirective(format, pos);
        if (!dir) {
            out += '%';
            ++pos;
            continue;
        }
        // A missing argument renders as nothing at all.
        if (next < args.size()) Put(out, *dir, args[next]);
        ++next;
    }
    return out;
}

std::string Conversions(std::string_view format)
{
    std::string letters;
    size_t pos = 0;
    while ((pos = format.find('%', pos)) != std::string_view::npos) {
        if (pos + 1 < format.size() && format[pos + 1] == '%') {
            pos += 2;
            continue;
        }
        if (auto dir = ParseDirective(format, pos)) letters += dir->conv;
        else ++pos;
    }
    return letters;
}

} // namespace lexmo
