#include "hotsync/UsersFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <filesystem>

#include "palmkit/UserEntry.h"
#include "palmkit/HandheldStore.h"

namespace {

constexpr BYTE kSeparator1 = 0x01;
constexpr BYTE kSeparator2 = 0x80;

} // namespace


std::vector<BYTE> CUsersFile::Encode(const std::vector<User>& users)
{
    std::vector<BYTE> out(kFirstRecord, 0);
    out[0] = BYTE(users.size());
    out[1] = 'H';
    out[2] = 'S';
    out[3] = 'U';
    out[4] = 1; // layout version
    for (std::size_t i = 0; i < users.size(); ++i) {
        const User& u = users[i];
        if (i > 0) {
            out.push_back(kSeparator1);
            out.push_back(kSeparator2);
        }
        for (int shift = 0; shift < 32; shift += 8) out.push_back(BYTE(u.id >> shift));
        out.push_back(BYTE(u.name.size()));
        out.insert(out.end(), u.name.begin(), u.name.end());
        out.push_back(BYTE(u.dir.size()));
        out.insert(out.end(), u.dir.begin(), u.dir.end());
        out.push_back(0); // flags
    }
    return out;
}

std::vector<CUsersFile::User> CUsersFile::Decode(const std::vector<BYTE>& bytes)
{
    std::vector<User> users;
    if (bytes.empty()) return users;
    const std::size_t count = bytes[0];
    std::size_t pos = kFirstRecord;
    auto text = [&](std::size_t& p, std::string& out) {
        if (p >= bytes.size()) return false;
        std::size_t len = bytes[p++];
        if (p + len > bytes.size()) return false;
        out = usersdat::CutField(std::string_view(reinterpret_cast<const char*>(bytes.data() + p), len));
        p += len;
        return true;
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (pos + 5 > bytes.size()) break;
        User u;
        for (int k = 0; k < 4; ++k) u.id |= DWORD(bytes[pos + std::size_t(k)]) << (8 * k);
        std::size_t p = pos + 4;
        if (!text(p, u.name) || !text(p, u.dir)) break;
        ++p; // flags
        users.push_back(std::move(u));
        if (i + 1 == count) break;
        // The next record follows the first 0x01 0x80 from here.
        bool found = false;
        while (p < bytes.size()) {
            const BYTE b = bytes[p++];
            if (b != kSeparator1) continue;
            if (p >= bytes.size()) break;
            if (bytes[p++] == kSeparator2) {
                found = true;
                break;
            }
        }
        if (!found) break;
        pos = p;
    }
    return users;
}

bool CUsersFile::Read(const std::string& path, std::vector<User>& users, std::string* error,
                      std::vector<std::string>* skipped)
{
    users.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        if (error) *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::size_t n = 0;
    for (User& u : Decode(bytes)) {
        ++n;
        // The directory becomes a path and the name is printed: a tampered
        // entry is never used.
        if (std::string why = usersdat::CheckUserEntry(u.name, u.dir); !why.empty()) {
            if (skipped) skipped->push_back("entry " + std::to_string(n) + ": " + why);
            continue;
        }
        users.push_back(std::move(u));
    }
    return true;
}

bool CUsersFile::Write(const std::string& path, const std::vector<User>& users, std::string* error)
{
    if (users.size() > kMaxUsers) {
        if (error) *error = "too many users";
        return false;
    }
    for (const User& u : users) {
        if (std::string why = usersdat::CheckUserEntry(u.name, u.dir); !why.empty()) {
            if (error) *error = why;
            return false;
        }
    }
    return CHandheldStore::WriteFileAtomically(path, Encode(users), error);
}
