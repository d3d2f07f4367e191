#include "palmkit/HandheldInfo.h"

#include <cstdio>
#include <fstream>

#include <nlohmann/json.hpp>

#include "palmkit/HandheldStore.h"

namespace {

// "4.1" or "4.1.2" -> 0xMMmf3000 (release stage).
bool ParseRomVersion(const std::string& text, DWORD& out)
{
    unsigned major = 0, minor = 0, fix = 0;
    int n = std::sscanf(text.c_str(), "%u.%u.%u", &major, &minor, &fix);
    if (n < 1 || major > 255 || minor > 15 || fix > 15) return false;
    out = (DWORD(major) << 24) | (DWORD(minor) << 20) | (DWORD(fix) << 16) | 0x3000;
    return true;
}

std::string RomVersionText(DWORD v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u.%u.%u", unsigned(v >> 24), unsigned((v >> 20) & 0xF),
                  unsigned((v >> 16) & 0xF));
    return buf;
}

} // namespace

bool CHandheldInfo::Load(const std::string& handheldDir)
{
    *this = CHandheldInfo();
    const std::string path = handheldDir + "/" + kFileName;
    std::ifstream in(path);
    if (!in) return true;
    try {
        nlohmann::json j = nlohmann::json::parse(in);
        if (!j.is_object()) return false;
        if (j.contains("user") && j["user"].is_string()) m_UserName = j["user"].get<std::string>();
        if (j.contains("userId") && j["userId"].is_number_unsigned())
            m_UserId = DWORD(j["userId"].get<unsigned long long>());
        if (j.contains("romVersion")) {
            const auto& r = j["romVersion"];
            if (r.is_string()) ParseRomVersion(r.get<std::string>(), m_RomVersion);
            else if (r.is_number_unsigned()) m_RomVersion = DWORD(r.get<unsigned long long>());
        }
        if (j.contains("cardName") && j["cardName"].is_string()) m_CardName = j["cardName"].get<std::string>();
        if (j.contains("manufacturer") && j["manufacturer"].is_string())
            m_Manufacturer = j["manufacturer"].get<std::string>();
    } catch (const std::exception&) {
        *this = CHandheldInfo();
        return false;
    }
    return true;
}

bool CHandheldInfo::Save(const std::string& handheldDir, std::string* error) const
{
    nlohmann::json j;
    j["user"] = m_UserName;
    j["userId"] = m_UserId;
    j["romVersion"] = RomVersionText(m_RomVersion);
    j["cardName"] = m_CardName;
    j["manufacturer"] = m_Manufacturer;
    std::string text;
    try {
        text = j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
    return CHandheldStore::WriteFileAtomically(handheldDir + "/" + kFileName,
                                               std::vector<BYTE>(text.begin(), text.end()), error);
}
