// What an entry of users.dat may hold. Both the writer and every reader of the
// file apply these rules, since the directory name becomes a path under the
// HotSync home and the names are shown on terminals and in windows.
// Library UsersDatRules: no dependency beyond the C++ library.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace usersdat {

// Names and directory names fit in 32-byte fields with their zero.
constexpr std::size_t kMaxText = 31;

// Empty when `name` may be a user name (1 to 31 bytes, no control character),
// else why not, ready for a message.
std::string CheckUserName(std::string_view name);

// Empty when `dir` is a single plain folder name: 1 to 31 bytes, no control
// character, no '/' or '\\', not "." or "..". Else why not.
std::string CheckUserDir(std::string_view dir);

// Empty when the entry may be used, else why not. A reader that cuts fields
// to 31 bytes checks what it cut.
std::string CheckUserEntry(std::string_view name, std::string_view dir);

// `text` with control characters, '"' and '\\' as \xNN escapes, for messages.
std::string Printable(std::string_view text);

// A field read from the file, cut to kMaxText bytes without ending inside a
// UTF-8 character (names are kept as typed, in UTF-8).
std::string CutField(std::string_view field);

// The folder name made from a user name: its letters and digits, '-' and
// '_', accented Latin letters as their plain ASCII letters ("Zoë Ångström"
// gives "ZoeAngstrom", "Groß" "Gross"), at most `max` bytes; "User" when
// nothing is left. ASCII only, so that the folder reads the same in every
// code page, and on Windows, where users.dat is read as the system's code page.
std::string FolderNameFor(std::string_view name, std::size_t max = kMaxText - 3);

// Whether two user names are the same name: without regard to case, also for
// accented Latin letters ("élodie" is "Élodie"), but not to accents
// ("Elodie" is another user).
bool SameName(std::string_view a, std::string_view b);

} // namespace usersdat
