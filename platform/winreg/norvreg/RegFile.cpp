#include "RegFile.h"

#include <cstdio>
#include <string_view>

const char* const kRegFileHeader = "Windows Registry Editor Version 5.00";

namespace {

struct Hive {
    const char* full;
    const char* brief;
    HKEY key;
};

const Hive kHives[] = {
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_USERS", "HKU", HKEY_USERS},
};

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 32);
        if (y >= 'a' && y <= 'z')
            y = char(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

std::string_view TrimRight(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted text with \\ and \" escapes; *s starts at the opening quote.
bool ReadQuoted(std::string_view* s, std::string* out, std::string* why)
{
    std::size_t i = 1;
    out->clear();
    for (; i < s->size(); ++i) {
        char c = (*s)[i];
        if (c == '"') {
            s->remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s->size() || ((*s)[i + 1] != '\\' && (*s)[i + 1] != '"')) {
                *why = "a backslash in a quoted text must be written \\\\";
                return false;
            }
            c = (*s)[++i];
        }
        out->push_back(c);
    }
    *why = "missing closing quote";
    return false;
}

bool ReadHexList(std::string_view s, std::string* out, std::string* why)
{
    out->clear();
    s = TrimLeft(TrimRight(s));
    while (!s.empty()) {
        std::size_t comma = s.find(',');
        std::string_view item = TrimLeft(TrimRight(s.substr(0, comma)));
        if (item.empty() || item.size() > 2 || HexDigit(item[0]) < 0 ||
            (item.size() == 2 && HexDigit(item[1]) < 0)) {
            *why = "bad byte \"" + std::string(item) + "\" in a hex list";
            return false;
        }
        int v = HexDigit(item[0]);
        if (item.size() == 2)
            v = v * 16 + HexDigit(item[1]);
        out->push_back(char(v));
        if (comma == std::string_view::npos)
            break;
        s.remove_prefix(comma + 1);
        if (TrimLeft(s).empty()) // regedit ends continued lists with a comma
            break;
    }
    return true;
}

bool ParseData(std::string_view d, RegFileValue* v, std::string* why)
{
    d = TrimLeft(TrimRight(d));
    if (d == "-") {
        v->remove = true;
        return true;
    }
    if (!d.empty() && d.front() == '"') {
        std::string text;
        if (!ReadQuoted(&d, &text, why))
            return false;
        if (!TrimLeft(d).empty()) {
            *why = "unexpected text after the closing quote";
            return false;
        }
        v->type = REG_SZ;
        v->data = text;
        v->data.push_back('\0');
        return true;
    }
    if (d.size() >= 6 && SameText(d.substr(0, 6), "dword:")) {
        std::string_view digits = d.substr(6);
        if (digits.empty() || digits.size() > 8) {
            *why = "dword: needs 1 to 8 hexadecimal digits";
            return false;
        }
        DWORD value = 0;
        for (char c : digits) {
            if (HexDigit(c) < 0) {
                *why = "dword: needs 1 to 8 hexadecimal digits";
                return false;
            }
            value = value * 16 + DWORD(HexDigit(c));
        }
        v->type = REG_DWORD;
        v->data = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
        return true;
    }
    if (d.size() >= 4 && SameText(d.substr(0, 3), "hex")) {
        std::string_view rest = d.substr(3);
        DWORD type = REG_BINARY;
        if (rest.front() == '(') {
            std::size_t close = rest.find(')');
            if (close == std::string_view::npos || close < 2 || close > 9) {
                *why = "hex(N): needs a hexadecimal type number";
                return false;
            }
            type = 0;
            for (char c : rest.substr(1, close - 1)) {
                if (HexDigit(c) < 0) {
                    *why = "hex(N): needs a hexadecimal type number";
                    return false;
                }
                type = type * 16 + DWORD(HexDigit(c));
            }
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            *why = "expected ':' after hex";
            return false;
        }
        v->type = type;
        return ReadHexList(rest.substr(1), &v->data, why);
    }
    *why = "unknown value data (expected \"text\", dword:, hex:, hex(N): or -)";
    return false;
}

} // namespace

bool SplitHive(const std::string& fullPath, HKEY* hive, std::string* path)
{
    std::size_t slash = fullPath.find('\\');
    std::string_view head = std::string_view(fullPath).substr(0, slash);
    for (const Hive& h : kHives) {
        if (SameText(head, h.full) || SameText(head, h.brief)) {
            *hive = h.key;
            *path = slash == std::string::npos ? std::string() : fullPath.substr(slash + 1);
            while (!path->empty() && path->back() == '\\')
                path->pop_back();
            return true;
        }
    }
    return false;
}

std::string HiveName(HKEY hive)
{
    for (const Hive& h : kHives)
        if (h.key == hive)
            return h.full;
    return "?";
}

bool ParseRegFile(const std::string& text, std::vector<RegFileKey>* keys, std::string* error)
{
    std::vector<std::string_view> lines;
    std::string_view all(text);
    if (all.size() >= 2 && ((all[0] == '\xFF' && all[1] == '\xFE') || (all[0] == '\xFE' && all[1] == '\xFF'))) {
        *error = "UTF-16 files are not supported: save the file as UTF-8 or ANSI text";
        return false;
    }
    if (all.substr(0, 3) == "\xEF\xBB\xBF")
        all.remove_prefix(3);
    while (!all.empty()) {
        std::size_t nl = all.find('\n');
        lines.push_back(TrimRight(all.substr(0, nl)));
        if (nl == std::string_view::npos)
            break;
        all.remove_prefix(nl + 1);
    }

    std::size_t i = 0;
    while (i < lines.size() && TrimLeft(lines[i]).empty())
        ++i;
    if (i == lines.size() || (lines[i] != kRegFileHeader && lines[i] != "REGEDIT4")) {
        *error = std::string("not a .reg file: the first line must be \"") + kRegFileHeader + "\"";
        return false;
    }
    keys->clear();
    for (++i; i < lines.size(); ++i) {
        const int lineNo = int(i + 1);
        std::string_view line = TrimLeft(lines[i]);
        auto fail = [&](const std::string& why) {
            *error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        };
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                return fail("a key header must end with ']'");
            std::string_view inner = line.substr(1, line.size() - 2);
            RegFileKey key;
            key.line = lineNo;
            if (!inner.empty() && inner.front() == '-') {
                key.remove = true;
                inner.remove_prefix(1);
            }
            if (!SplitHive(std::string(inner), &key.hive, &key.path))
                return fail("unknown hive in [" + std::string(inner) + "]");
            if (!key.path.empty() && key.path.front() == '\\')
                return fail("empty key name in [" + std::string(inner) + "]");
            keys->push_back(std::move(key));
            continue;
        }
        if (keys->empty())
            return fail("a value comes before any [key] header");
        if (keys->back().remove)
            return fail("values cannot follow a [-key] deletion");
        RegFileValue value;
        value.line = lineNo;
        std::string why;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (line.front() == '"') {
            if (!ReadQuoted(&line, &value.name, &why))
                return fail(why);
        } else {
            return fail("expected a [key], a \"name\"= or @= line");
        }
        line = TrimLeft(line);
        if (line.empty() || line.front() != '=')
            return fail("expected '=' after the value name");
        line.remove_prefix(1);
        std::string data(TrimLeft(line));
        // hex lists continue over lines ending with a backslash
        if (data.size() >= 3 && SameText(std::string_view(data).substr(0, 3), "hex")) {
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                if (++i >= lines.size())
                    return fail("the file ends inside a continued hex list");
                data += TrimLeft(lines[i]);
            }
        }
        if (!ParseData(data, &value, &why))
            return fail(why);
        keys->back().values.push_back(std::move(value));
    }
    return true;
}

std::string FormatRegKeyHeader(HKEY hive, const std::string& path)
{
    return "[" + HiveName(hive) + (path.empty() ? "" : "\\" + path) + "]";
}

namespace {

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// Texts that read back identically from a "..." form: one final zero and no line breaks.
bool IsPlainText(const std::string& data)
{
    if (data.empty() || data.back() != '\0')
        return false;
    return data.find_first_of(std::string("\0\r\n", 3)) == data.size() - 1;
}

} // namespace

std::string FormatRegValue(const std::string& name, DWORD type, const std::string& data)
{
    std::string line = name.empty() ? "@=" : Quote(name) + "=";
    if (type == REG_SZ && IsPlainText(data))
        return line + Quote(data.substr(0, data.size() - 1));
    if (type == REG_DWORD && data.size() == 4) {
        DWORD v = DWORD(BYTE(data[0])) | DWORD(BYTE(data[1])) << 8 | DWORD(BYTE(data[2])) << 16 |
                  DWORD(BYTE(data[3])) << 24;
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", unsigned(v));
        return line + buf;
    }
    char buf[16];
    if (type == REG_BINARY)
        line += "hex:";
    else {
        std::snprintf(buf, sizeof buf, "hex(%x):", unsigned(type));
        line += buf;
    }
    // Wrapped as regedit does: lines of at most 80 characters, continued with a backslash.
    std::size_t width = line.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", unsigned(BYTE(data[i])));
        line += buf;
        width += 2;
        if (i + 1 < data.size()) {
            line += ',';
            ++width;
            if (width > 76) {
                line += "\\\n  ";
                width = 2;
            }
        }
    }
    return line;
}
