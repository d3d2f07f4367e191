#include "palmkit/UserEntry.h"

namespace usersdat {

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

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
