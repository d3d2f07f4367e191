// The registry, shaped after the Win32 calls the system uses, over one SQLite
// file: $NORVELIA_REGISTRY, else ${XDG_CONFIG_HOME:-~/.config}/norvelia/registry.db.
// Keys are backslash paths; key and value names compare without regard to case
// and keep the spelling they were first written with. Every write is one
// transaction. Each call returns a result code.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"

struct HKEY__;
using HKEY = HKEY__*;
using LSTATUS = long;
using REGSAM = DWORD;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(std::uintptr_t(0x80000000)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(std::uintptr_t(0x80000001)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(std::uintptr_t(0x80000002)))
#define HKEY_USERS (reinterpret_cast<HKEY>(std::uintptr_t(0x80000003)))

constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_INVALID_FUNCTION = 1;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
constexpr LSTATUS ERROR_OUTOFMEMORY = 14;
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
constexpr LSTATUS ERROR_BAD_PATHNAME = 161;
constexpr LSTATUS ERROR_MORE_DATA = 234;
constexpr LSTATUS ERROR_NO_MORE_ITEMS = 259;
constexpr LSTATUS ERROR_BADDB = 1009;
constexpr LSTATUS ERROR_CANTOPEN = 1011;
constexpr LSTATUS ERROR_CANTREAD = 1012;
constexpr LSTATUS ERROR_CANTWRITE = 1013;
constexpr LSTATUS ERROR_KEY_DELETED = 1018;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

extern "C" {
// Key paths may end with a backslash but not begin with one (ERROR_BAD_PATHNAME).
// Every call checks the rights the key was opened with (ERROR_ACCESS_DENIED), and
// a key deleted through another handle answers ERROR_KEY_DELETED.

// Opens an existing key below `key` (a hive or an open key); never creates. An
// empty or null subKey opens `key` itself again.
NORV_EXPORT LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result);
// Opens or creates the key with its missing parents. disposition may be null.
NORV_EXPORT LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result,
                                    DWORD* disposition);
NORV_EXPORT LSTATUS RegCloseKey(HKEY key);
// With data null, reports the size in *size. When *size is too small: ERROR_MORE_DATA
// and the needed size in *size. type and size may be null when data is null.
NORV_EXPORT LSTATUS RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
NORV_EXPORT LSTATUS RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
NORV_EXPORT LSTATUS RegDeleteValueA(HKEY key, const char* name);
// Deletes the subkey and everything below it; an empty subKey deletes `key`
// itself. The hives cannot be deleted.
NORV_EXPORT LSTATUS RegDeleteKeyA(HKEY key, const char* subKey);
// Values and subkeys in a stable order (by name, without regard to case).
// *nameSize: buffer size in, name length out (without terminator), also when
// the buffer is too small (ERROR_MORE_DATA).
NORV_EXPORT LSTATUS RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* type, BYTE* data,
                                  DWORD* dataSize);
NORV_EXPORT LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize);
NORV_EXPORT LSTATUS RegQueryInfoKeyA(HKEY key, DWORD* subKeys, DWORD* values);
NORV_EXPORT LSTATUS RegFlushKey(HKEY key);
}

namespace winreg {
// The store file in use for this process (from the environment, read at first use).
NORV_EXPORT std::string StorePath();
// Points the process at another store file (tests); empty restores the default.
// Keys opened before belong to the previous file: close them first.
NORV_EXPORT void SetStorePath(const std::string& path);
// Runs fn as one transaction: every registry call this thread makes inside fn
// joins it, and all of them are undone unless fn returns ERROR_SUCCESS. A read
// transaction (write false) sees one consistent state and does not hold others'
// writes back, but writes made inside it may fail with ERROR_CANTWRITE.
NORV_EXPORT LSTATUS RunInTransaction(const std::function<LSTATUS()>& fn, bool write = true);
// Text of a result code, for messages.
NORV_EXPORT std::string ResultText(LSTATUS code);
} // namespace winreg
