// What the Sync Manager reports about the databases in the RAM of card 0,
// with the channel id that the readers store for each entry.
#pragma once
#include <string>
#include <vector>

#include "palmkit/SyncMgr.h"

// Four-character codes as the handheld compares them: first character in the
// most significant byte.
constexpr DWORD MakeFourCC(const char (&code)[5])
{
    return (DWORD(BYTE(code[0])) << 24) | (DWORD(BYTE(code[1])) << 16) | (DWORD(BYTE(code[2])) << 8) |
           DWORD(BYTE(code[3]));
}
constexpr DWORD kCreatorKesa = MakeFourCC("KESA");
constexpr DWORD kTypeCata = MakeFourCC("CATA");
constexpr DWORD kTypeList = MakeFourCC("LIST");
constexpr DWORD kTypeEmls = MakeFourCC("EMLS");
constexpr DWORD kTypeUser = MakeFourCC("USER");

class CNorvDbList {
public:
    std::vector<CSyncDbListEntry> m_Entries;
    std::vector<std::string> m_Names;   // channel id of each entry, filled by the readers
    WORD m_Count = 0;
    WORD m_First = 0xFFFF;              // first "KESA" entry; 65535 while none
    WORD m_Last = 0;                    // last "KESA" entry

    // Sizes both arrays for `count` entries, names empty.
    void Allocate(WORD count)
    {
        m_Count = count;
        m_Entries.assign(count, CSyncDbListEntry{});
        m_Names.assign(count, std::string());
    }
};
