// Turns a short text and a key into printable hexadecimal and back. Every
// encryption draws a row and a mask at random, so outputs differ each time.
#pragma once
#include <random>
#include <string>

#include "seam/Export.h"

class NORV_EXPORT CCypher {
public:
    CCypher();
    ~CCypher();
    CCypher(const CCypher&) = default;
    CCypher& operator=(const CCypher&) = default;

    std::string Encypher(const std::string& text, const std::string& key);
    // Empty for a text that decodes to fewer than two bytes or to no row.
    std::string Decypher(const std::string& hex, const std::string& key);
    // Random 0 to 255.
    int GetNumber2();

protected:
    // Random 0 to 4.
    int GetNumber();
    std::string ConvertToHex(const std::string& s);
    std::string ConvertFromHex(const std::string& s);
    unsigned hstr_i(const char* p);

private:
    static constexpr int kTableSize = 50;
    static constexpr int kKeySize = 20;

    void SetKey(const std::string& key);
    int Table(int index) const { return m_Run[index]; }
    int Key(int index) const { return m_Run[kTableSize + index]; }

    // The table, then the key: index 50 of the table is key entry 0.
    int m_Run[kTableSize + kKeySize];
    int m_Row = 0;
    int m_KeyLength = 0;
    std::minstd_rand m_Random;
};
