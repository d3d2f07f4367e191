// The handheld's identity, from the optional "handheld.json" of a handheld
// directory: user name and id, ROM version, card 0's name and manufacturer.
#pragma once
#include <string>

#include "seam/Export.h"
#include "seam/Types.h"

class NORV_EXPORT CHandheldInfo {
public:
    static constexpr const char* kFileName = "handheld.json";

    std::string m_UserName;
    DWORD m_UserId = 0;
    DWORD m_RomVersion = 0x04003000; // 4.0.0 release
    std::string m_CardName = "PalmCard";
    std::string m_Manufacturer = "Palm Computing";

    // Defaults when the file is absent; false (defaults kept) when it is unreadable.
    bool Load(const std::string& handheldDir);
    bool Save(const std::string& handheldDir, std::string* error = nullptr) const;
};
