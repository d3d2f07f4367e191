// Windows build: the little of POSIX locales that RecShelf asks (a locale's
// short date order), answered by the system's locale data. A POSIX name such
// as "de_DE.UTF-8" is looked up as "de-DE".
#pragma once
#include <locale.h>

#include <string>

// Declared here rather than through <windows.h>, whose DWORD is not the one
// of the sources including this header.
extern "C" __declspec(dllimport) int __stdcall GetLocaleInfoEx(const wchar_t* name, unsigned long type,
                                                               wchar_t* data, int size);

#define LC_TIME_MASK 1
#define D_FMT 1

struct NorvLocale {
    std::string dateFormat;
};
typedef NorvLocale* locale_t;

inline locale_t newlocale(int, const char* name, locale_t)
{
    if (name == nullptr) return nullptr;
    std::string tag(name);
    tag = tag.substr(0, tag.find_first_of(".@"));
    for (char& c : tag)
        if (c == '_') c = '-';
    constexpr std::size_t kNameMax = 85; // LOCALE_NAME_MAX_LENGTH
    wchar_t wide[kNameMax] = {};
    if (tag.empty() || tag.size() >= kNameMax) return nullptr;
    for (std::size_t i = 0; i < tag.size(); ++i) wide[i] = wchar_t(static_cast<unsigned char>(tag[i]));
    wchar_t pattern[80] = {};
    if (GetLocaleInfoEx(wide, 0x1F /* LOCALE_SSHORTDATE */, pattern, 80) == 0) return nullptr;
    // "dd.MM.yyyy" -> "%d.%m.%Y": only the order of day and month matters.
    auto* locale = new NorvLocale;
    wchar_t last = 0;
    for (const wchar_t* p = pattern; *p != 0; ++p) {
        if (*p == last) continue;
        last = *p;
        switch (*p) {
        case L'd': locale->dateFormat += "%d"; break;
        case L'M': locale->dateFormat += "%m"; break;
        case L'y': locale->dateFormat += "%Y"; break;
        default: locale->dateFormat += char(*p < 128 ? *p : '?');
        }
    }
    return locale;
}

inline const char* nl_langinfo_l(int, locale_t locale)
{
    return locale != nullptr ? locale->dateFormat.c_str() : "";
}

inline void freelocale(locale_t locale)
{
    delete locale;
}
