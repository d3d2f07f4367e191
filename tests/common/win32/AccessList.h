// The access list of a file or folder for the Windows tests: who may do
// what, in SDDL.
#pragma once
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

inline std::wstring UserSid()
{
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE buffer[256];
    DWORD size = sizeof buffer;
    wchar_t* text = nullptr;
    std::wstring out;
    if (::GetTokenInformation(token, TokenUser, buffer, size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        out = text;
        ::LocalFree(text);
    }
    ::CloseHandle(token);
    return out;
}

// Who may do what on `path`: the entries of its access list in SDDL, sorted,
// without the mark of an inherited entry (Windows hands them down, Wine sets
// them on each file), the running account written USER; "?" when unreadable.
inline std::wstring AccessList(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                nullptr, nullptr, &sd) != ERROR_SUCCESS)
        return L"?";
    wchar_t* text = nullptr;
    std::wstring out = L"?";
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                               nullptr)) {
        out = text;
        ::LocalFree(text);
    }
    ::LocalFree(sd);
    std::vector<std::wstring> entries;
    for (std::size_t open = out.find(L'('); open != std::wstring::npos; open = out.find(L'(', open + 1)) {
        std::wstring entry = out.substr(open, out.find(L')', open) - open + 1);
        // (type;flags;rights;object;inherited object;account)
        const std::size_t flags = entry.find(L';') + 1;
        const std::size_t end = entry.find(L';', flags);
        std::wstring f = entry.substr(flags, end - flags);
        if (const std::size_t id = f.find(L"ID"); id != std::wstring::npos) f.erase(id, 2);
        entry.replace(flags, end - flags, f);
        if (const std::size_t at = entry.find(UserSid()); at != std::wstring::npos)
            entry.replace(at, UserSid().size(), L"USER");
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end());
    std::wstring joined;
    for (const auto& e : entries) joined += e;
    return out == L"?" ? out : joined;
}
