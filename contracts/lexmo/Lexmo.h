// Numbered messages of the product, per process, from a catalog file.
//
// KESA_FormatMessage(n) returns the text with its conversions intact;
// KESA_FormatMessage(n, args...) fills them. Formatting is type-safe over the
// printf subset %s %d %i %u %x %X %c %e %f %g %% with flags, width and
// precision (length modifiers h l ll z are accepted and mean nothing). A
// mismatched argument is rendered: a text under %d or %f shows as the text,
// a number under %s in decimal, an integer under %f converts, a negative
// number under %u keeps its sign. A missing argument renders empty, extra
// ones are ignored. An unknown number gives an empty text.
#pragma once
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "seam/Export.h"

extern "C" {
// Loads the catalog that stands for a library file name ("Lexmo.dll" ->
// "Lexmo.msg"). Greater than 0 (the number of messages) means loaded; 0 means
// no catalog was found or it held no message, and the texts already loaded
// stay.
NORV_EXPORT int KESA_LoadMessages(const char* libraryFile);
// Copies message `number`, zero-terminated, into at most `size` bytes
// (terminator included), never ending inside a UTF-8 character.
NORV_EXPORT void KESA_GetMessage(int number, char* buffer, int size);
}

namespace lexmo {

struct Arg {
    enum class Kind { Int, UInt, Double, Text, Char };
    Kind kind = Kind::Text;
    long long i = 0;
    unsigned long long u = 0;
    double d = 0;
    std::string s;
};

inline Arg MakeArg(std::string_view v) { Arg a; a.kind = Arg::Kind::Text; a.s = std::string(v); return a; }
inline Arg MakeArg(const char* v) { return MakeArg(std::string_view(v ? v : "")); }
inline Arg MakeArg(const std::string& v) { return MakeArg(std::string_view(v)); }
inline Arg MakeArg(char v) { Arg a; a.kind = Arg::Kind::Char; a.i = static_cast<unsigned char>(v); return a; }
inline Arg MakeArg(bool v) { Arg a; a.kind = Arg::Kind::Int; a.i = v ? 1 : 0; return a; }
template <class T>
    requires(std::is_integral_v<T> && std::is_signed_v<T> && !std::is_same_v<T, char> && !std::is_same_v<T, bool>)
Arg MakeArg(T v) { Arg a; a.kind = Arg::Kind::Int; a.i = v; return a; }
template <class T>
    requires(std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>)
Arg MakeArg(T v) { Arg a; a.kind = Arg::Kind::UInt; a.u = v; return a; }
template <class T>
    requires std::is_floating_point_v<T>
Arg MakeArg(T v) { Arg a; a.kind = Arg::Kind::Double; a.d = double(v); return a; }

// The text of a message; empty when unknown or nothing is loaded.
NORV_EXPORT std::string MessageText(int number);
// Fills a printf-style format with arguments, safely, whatever the format holds.
// Malformed conversions (and %n, %p, %*d...) are copied as they stand; widths
// and precisions above kMaxField are cut down to it.
NORV_EXPORT std::string Format(std::string_view format, const std::vector<Arg>& args);
inline constexpr int kMaxField = 1024;

// The letters of the conversions that Format fills in `format`, in order
// ("%-5s %%d %lu" gives "su"). For checking a catalog against its callers.
NORV_EXPORT std::string Conversions(std::string_view format);

// Where the catalog standing for `libraryFile` is found: $NORVELIA_MSGDIR,
// then <program dir>/../share/norvelia, then the source tree's catalogs.
// Empty when none is found.
NORV_EXPORT std::string FindCatalog(std::string_view libraryFile);

} // namespace lexmo

template <class... A>
std::string KESA_FormatMessage(int number, const A&... args)
{
    if constexpr (sizeof...(A) == 0) {
        return lexmo::MessageText(number);
    } else {
        return lexmo::Format(lexmo::MessageText(number), {lexmo::MakeArg(args)...});
    }
}

// For texts that come from the catalog or the network and serve as formats:
// never handed to the C library's printf.
template <class... A>
std::string KESA_FormatText(std::string_view format, const A&... args)
{
    return lexmo::Format(format, {lexmo::MakeArg(args)...});
}
