// The Windows .reg text format ("Windows Registry Editor Version 5.00"): key
// headers, [-key] deletions, "name"="text", @ for the default value, dword:,
// hex:, hex(N): and "name"=- deletions. Data are the stored bytes, with no
// character-set conversion.
#pragma once
#include <string>
#include <vector>

#include "winreg/WinReg.h"

struct RegFileValue {
    std::string name; // empty for the default value (@)
    bool remove = false;
    DWORD type = REG_NONE;
    std::string data;
    int line = 0;
};

struct RegFileKey {
    HKEY hive = nullptr;
    std::string path; // below the hive, may be empty
    bool remove = false;
    std::vector<RegFileValue> values;
    int line = 0;
};

extern const char* const kRegFileHeader;

// Splits "HKLM\Software\X" (or HKEY_LOCAL_MACHINE, HKCU, HKEY_CURRENT_USER,
// HKCR, HKU, in any case) into its hive and the path below it.
bool SplitHive(const std::string& fullPath, HKEY* hive, std::string* path);
// The hive's full name, e.g. "HKEY_LOCAL_MACHINE".
std::string HiveName(HKEY hive);

// Parses a whole file; on failure returns false with "line N: reason" in *error.
bool ParseRegFile(const std::string& text, std::vector<RegFileKey>* keys, std::string* error);

std::string FormatRegKeyHeader(HKEY hive, const std::string& path);
// One value line (possibly continued over several lines), without the final newline.
std::string FormatRegValue(const std::string& name, DWORD type, const std::string& data);
