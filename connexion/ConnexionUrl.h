// Which URL the connection test fetches.
#pragma once
#include <string>
#include <string_view>

// The server a check reaches when it is given no URL.
inline constexpr const char* kDefaultServerUrl = "http://127.0.0.1:8470/Tidepost/xxx/yyy";

// The URL of the server the settings make current: that of the user last
// chosen in the settings program (Users\LastUser), else of the only user;
// empty when the settings name none.
std::string ConfiguredServerUrl();

// Everything after the first run of blanks that follows the program's own word
// (up to the first blank) is the URL, blanks included. The program's word may
// be quoted, as Windows writes a path with blanks; the URL is never unquoted.
std::string UrlFromCommandLine(std::string_view commandLine);

// The server a check reaches: the URL on the command line, else the one the
// settings make current; empty for the built-in default.
std::string UrlToCheck(std::string_view commandLine);

// The command line of a program started with these arguments. The program's
// own word is a fixed one: its path, which may hold blanks, is known apart.
std::string CommandLineOf(int argc, const char* const* argv);

// test.bin beside the server's URL (the default server when it is empty):
// the URL up to, not including, its last "/", then "/test.bin".
std::string ProbeUrlOf(std::string_view serverUrl);
