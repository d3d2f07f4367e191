// The texts hotsync itself adds to the HotSync log, to a run's output and to
// its windows, in the language of the message catalog the conduit speaks.
#pragma once
#include <cctype>
#include <string>

#include "lexmo/TextOr.h"

namespace runtext {

// Loads the catalog of the user's language (MsgDll when they chose one, else
// the locale's), the one the conduit loads too, so that a run speaks one
// language; false when none was found.
bool LoadLanguage();

// Message `number` with its values filled in; `english` (the same
// conversions) stands in when no catalog holds it.
template <class... A>
std::string Text(int number, const char* english, const A&... args)
{
    return lexmo::TextOr(number, english, args...);
}

} // namespace runtext

// A text the HotSync programs show a person: message `number` with its values
// filled in; `english` stands in when no catalog holds the number.
template <class... A>
std::string RunText(int number, const char* english, const A&... args)
{
    return lexmo::TextOr(number, english, args...);
}

// A catalog text used as a label inside another: without its '&' and ':'.
inline std::string RunLabel(int number, const char* english)
{
    std::string text = RunText(number, english);
    std::string out;
    for (char c : text)
        if (c != '&') out += c;
    while (!out.empty() && (out.back() == ':' || out.back() == ' ')) out.pop_back();
    return out;
}

// `text` as one word of a POSIX shell command line, for commands shown to copy.
inline std::string ShellWord(const std::string& text)
{
    bool plain = !text.empty();
    for (unsigned char c : text)
        if (!(std::isalnum(c) || c == '/' || c == '.' || c == '_' || c == '-' || c == ':' || c == '@' || c == '%' ||
              c == '+' || c == ','))
            plain = false;
    if (plain) return text;
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}
