#include "password/UserData.h"

#include <fstream>
#include <iterator>

#include "palmkit/UserEntry.h"
#include "settings/RegKey.h"

namespace {

bool ReadPath(const char* vendorKey, std::string* path)
{
    RegKey vendor = OpenRegKey(HKEY_CURRENT_USER, vendorKey, KEY_READ);
    if (!vendor) return false;
    RegKey core = OpenRegKey(vendor.get(), "Pilot Desktop\\Core", KEY_READ);
    if (!core) return true; // the vendor key opened: no second choice
    char buffer[257] = {};
    DWORD size = 256;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(core.get(), "Path", &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ))
        *path = std::string(buffer); // up to the first zero; the 257th byte stays zero
    return true;
}

} // namespace

TUserData::TUserData()
{
    const std::string dir = DataDirectory();
    if (dir.empty()) return;
    Load(dir + (dir.back() == '/' ? "" : "/") + "users.dat");
}

TUserData::TUserData(const std::string& usersFile) { Load(usersFile); }

void TUserData::Load(const std::string& usersFile)
{
    std::ifstream in(usersFile, std::ios::binary);
    if (!in) return;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    m_Users = Parse(bytes);
}

std::vector<std::string> TUserData::Names() const
{
    std::vector<std::string> names;
    names.reserve(m_Users.size());
    for (const User& u : m_Users) names.push_back(u.name);
    return names;
}

std::string TUserData::DataDirectory()
{
    std::string path;
    if (!ReadPath("Software\\U.S. Robotics", &path)) ReadPath("Software\\Palm Computing", &path);
    return path;
}

std::vector<TUserData::User> TUserData::Parse(const std::string& bytes)
{
    std::vector<User> users;
    if (bytes.empty()) return users;
    const std::size_t count = static_cast<unsigned char>(bytes[0]);
    const std::size_t end = bytes.size();
    std::size_t pos = kFirstRecord;
    // A length byte and its text; false when the file ends inside it.
    auto text = [&](std::size_t& p, std::string& out) {
        if (p >= end) return false;
        const std::size_t len = static_cast<unsigned char>(bytes[p++]);
        if (len > end - p) return false;
        out = usersdat::CutField(bytes.substr(p, len));
        p += len;
        return true;
    };
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t p = pos + 4;
        User u;
        if (!text(p, u.name) || !text(p, u.dir)) break;
        ++p; // the record's last byte
        // The directory becomes a path under the data directory: hotsync's own rules.
        if (usersdat::CheckUserEntry(u.name, u.dir).empty()) users.push_back(std::move(u));
        if (i + 1 == count) break;
        // The next record follows the first 0x01 0x80 read from here, a byte at a time.
        bool found = false;
        while (p < end) {
            if (static_cast<unsigned char>(bytes[p++]) != 0x01) continue;
            if (p >= end) break;
            if (static_cast<unsigned char>(bytes[p++]) == 0x80) {
                found = true;
                break;
            }
        }
        if (!found) break;
        pos = p;
    }
    return users;
}
