// users.dat: the HotSync users of a HotSync home. Byte 0 is the number of
// users; the first record starts at byte 13. A record: the user id (4 bytes),
// the name's length and bytes, the directory name's length and bytes, one
// flag byte. Records are separated by the bytes 0x01 0x80.
#pragma once
#include <string>
#include <vector>

#include "seam/Types.h"

class CUsersFile {
public:
    struct User {
        std::string name;
        std::string dir;   // directory name inside the HotSync home
        DWORD id = 0;
    };
    static constexpr std::size_t kMaxText = 31;
    static constexpr std::size_t kMaxUsers = 255;
    static constexpr std::size_t kFirstRecord = 13;

    // A missing file reads as no users; false when it is unreadable. Entries
    // that break the rules of UserEntry.h are left out, each with its reason
    // in `skipped` when given.
    static bool Read(const std::string& path, std::vector<User>& users, std::string* error = nullptr,
                     std::vector<std::string>* skipped = nullptr);
    // Replaces the file whole; refuses names the reader cannot hold.
    static bool Write(const std::string& path, const std::vector<User>& users, std::string* error = nullptr);
    static std::vector<BYTE> Encode(const std::vector<User>& users);
    // Every entry as stored, fields cut to 31 bytes, unchecked.
    static std::vector<User> Decode(const std::vector<BYTE>& bytes);
};
