// A database as text: header, AppInfo and every record. Catalogs, lists and
// user contexts of the service are decoded field by field, the rest in hex.
#pragma once
#include <ostream>
#include <string>
#include <vector>

class CPdbFile;

class CDatabaseDump {
public:
    static void Write(std::ostream& out, const CPdbFile& file);
    static void Hex(std::ostream& out, const unsigned char* data, std::size_t size, const char* indent);
    // What is wrong with a database file's bytes, where reading stops; "" when
    // nothing is.
    static std::string Damage(const std::vector<unsigned char>& bytes);
    // Four-character code as text, unprintable bytes as '.'.
    static std::string CodeText(unsigned long code);
};
