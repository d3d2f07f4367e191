// UTF-8 for the program, UTF-16 for the window functions.
#pragma once
#include <windows.h>

#include <string>

#include "lexmo/Lexmo.h"

namespace platform {

inline std::wstring Wide(const std::string& s)
{
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(std::size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

inline std::string Narrow(const std::wstring& w)
{
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(std::size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

inline std::string WindowText(HWND window)
{
    std::wstring w(std::size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    w.resize(std::size_t(GetWindowTextW(window, w.data(), int(w.size()))));
    return Narrow(w);
}

// The message library's text, or `english` when no catalog holds it.
template <class... A>
std::wstring MessageOr(int number, const char* english, const A&... args)
{
    std::string format = lexmo::MessageText(number);
    if (format.empty()) format = english;
    if constexpr (sizeof...(A) > 0) format = lexmo::Format(format, {lexmo::MakeArg(args)...});
    return Wide(format);
}

} // namespace platform
