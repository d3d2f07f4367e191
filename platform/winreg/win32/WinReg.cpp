// The registry calls on Windows: the system's registry through advapi32.
//
// Our calls carry the names of the system's own (RegOpenKeyExA, ...), so the
// system's are looked up by name at first use rather than linked: a direct
// call would land back here. <windows.h> stays out of this file because its
// DWORD and its declarations of these names differ from the contract's.
#include <cstdint>

#include "winreg/WinReg.h"

extern "C" {
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
}

namespace {

struct FileTime {
    DWORD low, high;
};

using OpenFn = LSTATUS(__stdcall*)(HKEY, const char*, DWORD, REGSAM, HKEY*);
using CreateFn = LSTATUS(__stdcall*)(HKEY, const char*, DWORD, char*, DWORD, REGSAM, void*, HKEY*, DWORD*);
using CloseFn = LSTATUS(__stdcall*)(HKEY);
using QueryFn = LSTATUS(__stdcall*)(HKEY, const char*, DWORD*, DWORD*, BYTE*, DWORD*);
using SetFn = LSTATUS(__stdcall*)(HKEY, const char*, DWORD, DWORD, const BYTE*, DWORD);
using NameFn = LSTATUS(__stdcall*)(HKEY, const char*);
using EnumValueFn = LSTATUS(__stdcall*)(HKEY, DWORD, char*, DWORD*, DWORD*, DWORD*, BYTE*, DWORD*);
using EnumKeyFn = LSTATUS(__stdcall*)(HKEY, DWORD, char*, DWORD*, DWORD*, char*, DWORD*, FileTime*);
using InfoFn = LSTATUS(__stdcall*)(HKEY, char*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*,
                                   DWORD*, FileTime*);

struct Advapi {
    OpenFn open = nullptr;
    CreateFn create = nullptr;
    CloseFn close = nullptr;
    QueryFn query = nullptr;
    SetFn set = nullptr;
    NameFn deleteValue = nullptr;
    NameFn deleteKey = nullptr;
    NameFn deleteTree = nullptr;
    EnumValueFn enumValue = nullptr;
    EnumKeyFn enumKey = nullptr;
    InfoFn info = nullptr;
    CloseFn flush = nullptr;
    bool ok = false;
};

template <typename Fn>
void Bind(void* module, const char* name, Fn& fn, bool& ok)
{
    fn = reinterpret_cast<Fn>(GetProcAddress(module, name));
    ok = ok && fn != nullptr;
}

const Advapi& System()
{
    static const Advapi api = [] {
        Advapi a;
        void* module = LoadLibraryA("advapi32.dll");
        a.ok = module != nullptr;
        if (!a.ok) return a;
        Bind(module, "RegOpenKeyExA", a.open, a.ok);
        Bind(module, "RegCreateKeyExA", a.create, a.ok);
        Bind(module, "RegCloseKey", a.close, a.ok);
        Bind(module, "RegQueryValueExA", a.query, a.ok);
        Bind(module, "RegSetValueExA", a.set, a.ok);
        Bind(module, "RegDeleteValueA", a.deleteValue, a.ok);
        Bind(module, "RegDeleteKeyA", a.deleteKey, a.ok);
        Bind(module, "RegDeleteTreeA", a.deleteTree, a.ok);
        Bind(module, "RegEnumValueA", a.enumValue, a.ok);
        Bind(module, "RegEnumKeyExA", a.enumKey, a.ok);
        Bind(module, "RegQueryInfoKeyA", a.info, a.ok);
        Bind(module, "RegFlushKey", a.flush, a.ok);
        return a;
    }();
    return api;
}

// The contract's predefined keys are the low 32 bits of the system's, which
// are sign-extended on 64-bit Windows.
HKEY Sys(HKEY key)
{
    const auto v = reinterpret_cast<std::uintptr_t>(key);
    if (v >= 0x80000000u && v <= 0x80000006u)
        return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v))));
    return key;
}

bool IsPredefined(HKEY key)
{
    const auto v = reinterpret_cast<std::uintptr_t>(Sys(key));
    return v >= reinterpret_cast<std::uintptr_t>(Sys(HKEY_CLASSES_ROOT));
}

} // namespace

extern "C" {

LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    return System().open(Sys(key), subKey, options, access, result);
}

LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result, DWORD* disposition)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    return System().create(Sys(key), subKey, 0, nullptr, options, access, nullptr, result, disposition);
}

LSTATUS RegCloseKey(HKEY key)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    // Closing a predefined key succeeds and keeps it, as the store does.
    if (IsPredefined(key)) return ERROR_SUCCESS;
    return System().close(key);
}

LSTATUS RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
    return System().query(Sys(key), name, nullptr, type, data, size);
}

LSTATUS RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    return System().set(Sys(key), name, 0, type, data, size);
}

LSTATUS RegDeleteValueA(HKEY key, const char* name)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    return System().deleteValue(Sys(key), name);
}

LSTATUS RegDeleteKeyA(HKEY key, const char* subKey)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    // A key goes with everything under it, as in the store; the system's own
    // call refuses a key that still has subkeys.
    const bool self = subKey == nullptr || *subKey == '\0';
    if (self && IsPredefined(key)) return ERROR_ACCESS_DENIED;
    if (self) {
        const LSTATUS r = System().deleteTree(Sys(key), nullptr);
        return r != ERROR_SUCCESS ? r : System().deleteKey(Sys(key), "");
    }
    const LSTATUS r = System().deleteTree(Sys(key), subKey);
    return r;
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data, DWORD* dataSize)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    return System().enumValue(Sys(key), index, name, nameSize, nullptr, type, data, dataSize);
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    return System().enumKey(Sys(key), index, name, nameSize, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS RegQueryInfoKeyA(HKEY key, DWORD* subKeys, DWORD* values)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    return System().info(Sys(key), nullptr, nullptr, nullptr, subKeys, nullptr, nullptr, values, nullptr, nullptr,
                         nullptr, nullptr);
}

LSTATUS RegFlushKey(HKEY key)
{
    if (!System().ok) return ERROR_INVALID_FUNCTION;
    return System().flush(Sys(key));
}

} // extern "C"

namespace winreg {

// The settings are the system's registry: there is no file to name or move.
std::string StorePath()
{
    return "the Windows registry";
}

void SetStorePath(const std::string&) {}

// The system's registry writes each value by itself; callers get the same
// call, without the all-or-nothing of the store's transactions.
LSTATUS RunInTransaction(const std::function<LSTATUS()>& fn, bool)
{
    return fn();
}

} // namespace winreg
