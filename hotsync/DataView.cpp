#include "hotsync/DataView.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>

#include "hotsync/DatabaseDump.h"
#include "palmkit/HandheldStore.h"
#include "quillio/PdbFile.h"
#include "records/OleDateTime.h"
#include "records/PdbPackedRecord.h"
#include "records/UserIdRecord.h"

namespace {

constexpr BYTE kDeleted = 0x80;
// Record categories of the service's databases.
constexpr int kItemCategory = 1;
constexpr int kCategoryCategory = 2;
constexpr int kImageCategory = 3;
constexpr int kOrderCategory = 5;
constexpr int kAddressCategory = 6;
constexpr int kItemRefCategory = 8;
constexpr int kUserIdCategory = 9;
constexpr int kGameChannel = 3;
// Deeper categories are shown at this depth.
constexpr int kMaxDepth = 8;

// The records of one category, as the handheld shows them: deleted ones left out.
template <class F>
void EachRecord(const CPdbFile& file, int category, F&& f)
{
    for (const auto& r : file.m_RecordSet)
        if ((r->m_Attrib & 0x0F) == category && (r->m_Attrib & kDeleted) == 0) f(*r);
}

void AppendUtf8(std::string& out, unsigned code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Windows-1252 from 0x80 to 0x9F; 0 where the code page has no character.
constexpr unsigned kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
constexpr unsigned kReplacement = 0xFFFD;

// The user's locale for dates, as the C library reads it.
std::string TimeLocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* v = std::getenv(variable);
        if (v != nullptr && *v != '\0') return v;
    }
    return "";
}

// strftime's format for a date: the installed locale's own, else by its language.
std::string DateFormat(const std::string& locale)
{
    const bool plain = locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0;
    if (!plain) {
        if (locale_t l = newlocale(LC_TIME_MASK, locale.c_str(), locale_t(0))) {
            std::string format = nl_langinfo_l(D_FMT, l);
            freelocale(l);
            // The year in full: "%y" of some locales reads ambiguously so far from now.
            for (std::size_t at = format.find("%y"); at != std::string::npos; at = format.find("%y", at + 2))
                format[at + 1] = 'Y';
            if (!format.empty()) return format;
        }
    }
    return CPdbPackedRecord::DefaultLocaleIsDayFirst() ? "%d/%m/%Y" : "%m/%d/%Y";
}

constexpr const char* kDetailSeparator = " \xC2\xB7 "; // a middle dot between blanks

// Known image formats by their first bytes; empty for none.
std::string FormatName(const std::vector<BYTE>& data)
{
    auto starts = [&](const char* magic, std::size_t n) {
        return data.size() >= n && std::memcmp(data.data(), magic, n) == 0;
    };
    if (starts("GIF8", 4)) return "GIF";
    if (starts("\x89PNG", 4)) return "PNG";
    if (starts("\xFF\xD8\xFF", 3)) return "JPEG";
    if (starts("BM", 2)) return "BMP";
    return "";
}

} // namespace

std::unique_ptr<CDataView> CDataView::Load(const std::string& dir, const std::string& name, bool& damaged,
                                           std::string& error)
{
    damaged = false;
    CHandheldStore store(dir);
    if (!store.Exists()) {
        error = dataview::Text(4928, "no handheld at %s", dir);
        return nullptr;
    }
    const auto entry = store.Find(name);
    if (!entry) {
        error = dataview::Text(4929, "no database named \"%s\" on %s", DisplayText(name), dir);
        return nullptr;
    }
    std::ifstream in(entry->path, std::ios::binary);
    std::vector<BYTE> bytes;
    if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in || in.bad()) {
        error = dataview::Text(4930, "cannot read %s: %s", entry->path, std::strerror(errno));
        return nullptr;
    }
    damaged = !CDatabaseDump::Damage(bytes).empty();
    CPdbFile file;
    if (!file.ReadPdbBuffer(bytes.data(), bytes.size()) || file.m_Name.empty()) {
        error = dataview::Text(4931, "%s is damaged: \"handheld dump\" shows where", entry->path);
        return nullptr;
    }
    return std::make_unique<CDataView>(file);
}

CDataView::CDataView(const CPdbFile& file) : m_Name(file.m_Name)
{
    if (file.m_Creator != FourCC("KESA") || file.IsResourceDb()) return;
    if (!file.m_AppInfo.empty()) {
        CPdbRecord block(file.m_AppInfo.data(), long(file.m_AppInfo.size()));
        m_AppInfo.FillFromPdbRecord(&block);
    }
    if (file.m_Type == FourCC("CATA")) {
        m_Kind = Kind::Catalog;
        ReadCatalog(file);
    } else if (file.m_Type == FourCC("LIST") || file.m_Type == FourCC("EMLS")) {
        m_Kind = int(m_AppInfo.GetChannelType()) == kGameChannel ? Kind::Game
                 : file.m_Type == FourCC("EMLS")                ? Kind::Form
                                                                : Kind::List;
        ReadList(file);
    } else if (file.m_Type == FourCC("USER")) {
        m_Kind = Kind::UserContext;
        ReadUserContext(file);
    }
}

void CDataView::ReadCatalog(const CPdbFile& file)
{
    EachRecord(file, kItemCategory, [&](const CPdbRecord& r) {
        CItemRecord item(&r);
        item.FillImageNameFromPdbRecord(&r);
        m_Items.push_back(std::move(item));
    });
    std::vector<CCategoryRecord> categories;
    EachRecord(file, kCategoryCategory, [&](const CPdbRecord& r) {
        CCategoryRecord c;
        c.FillFromPdbRecord(&r);
        categories.push_back(std::move(c));
    });
    EachRecord(file, kImageCategory, [&](const CPdbRecord& r) {
        Picture p;
        p.image.FillFromPdbRecord(&r);
        p.bitmap.FillFromBytes(p.image.GetImageData());
        m_Pictures.push_back(std::move(p));
    });

    // Each category under its super-category, in record order. A category
    // whose super-category is missing, or that a loop of them never reaches,
    // goes at the top. Two records of one id: the items go under the first.
    std::map<WORD, std::size_t> firstOf;
    std::map<WORD, std::vector<std::size_t>> children;
    for (std::size_t i = 0; i < categories.size(); ++i) firstOf.emplace(categories[i].GetCategory(), i);
    std::vector<bool> top(categories.size());
    for (std::size_t i = 0; i < categories.size(); ++i) {
        const WORD id = categories[i].GetCategory();
        const WORD super = categories[i].GetSuperCategory();
        top[i] = super == 0 || super == id || firstOf.count(super) == 0;
        if (!top[i]) children[super].push_back(i);
    }
    std::vector<bool> placed(categories.size(), false);
    std::map<WORD, std::size_t> shownAt; // id -> index in m_Categories
    auto place = [&](std::size_t root) {
        std::vector<std::pair<std::size_t, int>> stack{{root, 0}};
        while (!stack.empty()) {
            const auto [i, depth] = stack.back();
            stack.pop_back();
            if (placed[i]) continue;
            placed[i] = true;
            const WORD id = categories[i].GetCategory();
            const bool first = shownAt.emplace(id, m_Categories.size()).second;
            m_Categories.push_back(Category{categories[i], std::min(depth, kMaxDepth), {}});
            if (!first) continue;
            const auto kids = children.find(id);
            if (kids == children.end()) continue;
            for (auto k = kids->second.rbegin(); k != kids->second.rend(); ++k)
                if (!placed[*k]) stack.push_back({*k, depth + 1});
        }
    };
    for (std::size_t i = 0; i < categories.size(); ++i)
        if (top[i]) place(i);
    for (std::size_t i = 0; i < categories.size(); ++i)
        if (!placed[i]) place(i);

    for (std::size_t i = 0; i < m_Items.size(); ++i) {
        const auto home = shownAt.find(m_Items[i].GetCategory());
        if (home != shownAt.end())
            m_Categories[home->second].items.push_back(i);
        else
            m_Uncategorized.push_back(i);
    }
}

void CDataView::ReadList(const CPdbFile& file)
{
    EachRecord(file, kOrderCategory, [&](const CPdbRecord& r) {
        if (m_HasOrder) return; // the conduit reads the first
        m_Order.FillFromPdbRecord(&r);
        m_Order.FillErrorMessageFromPdbRecord(&r);
        m_HasOrder = true;
    });
    EachRecord(file, kItemRefCategory, [&](const CPdbRecord& r) { m_Lines.emplace_back(&r); });
}

void CDataView::ReadUserContext(const CPdbFile& file)
{
    EachRecord(file, kAddressCategory, [&](const CPdbRecord& r) {
        CAddressRecord a;
        a.FillFromPdbRecord(&r);
        m_Addresses.push_back(std::move(a));
    });
    EachRecord(file, kUserIdCategory, [&](const CPdbRecord& r) {
        if (m_HasUserId) return;
        CUserIdRecord user;
        user.FillFromPdbRecord(&r);
        m_HasUserId = true;
        m_UserId = user.GetUserId();
        m_HasPassword = !user.GetPassword().empty();
    });
}

const CDataView::Picture* CDataView::FindPicture(const std::string& name) const
{
    if (name.empty()) return nullptr;
    for (const auto& p : m_Pictures)
        if (p.image.GetImageName() == name) return &p;
    return nullptr;
}

CDataView::OrderState CDataView::GetOrderState() const
{
    if (!m_HasOrder) return OrderState::None;
    const DWORD created = m_Order.GetCreateDateDWord();
    // Active as the conduit reads it: it goes on the next synchronization.
    if (created != 0 && created >= m_Order.GetProcessDateDWord()) return OrderState::Waiting;
    if (!m_Order.GetErrorMessage().empty()) return OrderState::Refused;
    if (m_Order.GetProcessDateDWord() != 0) return OrderState::Placed;
    return OrderState::None;
}

unsigned long long CDataView::TotalToBuy() const
{
    unsigned long long total = 0;
    for (const auto& line : m_Lines)
        if (line.GetNeedBool()) total += static_cast<unsigned long long>(line.GetQuantity()) * line.GetPrice();
    return total;
}

std::string CDataView::Heading() const
{
    const std::string name = DisplayText(m_Name);
    switch (m_Kind) {
    case Kind::Catalog: return dataview::Text(4383, "Catalog \"%s\"", name);
    case Kind::List: return dataview::Text(4384, "List \"%s\"", name);
    case Kind::Form: return dataview::Text(4385, "Form \"%s\"", name);
    case Kind::Game: return dataview::Text(4386, "Game score \"%s\"", name);
    case Kind::UserContext: return dataview::Text(4387, "Your addresses and account (\"%s\")", name);
    case Kind::Other: break;
    }
    return dataview::Text(4388,
                          "\"%s\" is not a catalog, a list or the user context of the service: \"handheld dump\" "
                          "shows its records.",
                          name);
}

std::string CDataView::OrderStateText() const
{
    switch (GetOrderState()) {
    case OrderState::Waiting: {
        const DWORD ordered = m_Order.GetOrderingDateDWord() != 0 ? m_Order.GetOrderingDateDWord()
                                                                  : m_Order.GetCreateDateDWord();
        return dataview::Text(4902, "waiting to be sent (ordered on %s)", DateText(ordered, true));
    }
    case OrderState::Placed:
        return dataview::Text(4904, "placed on %s", DateText(m_Order.GetProcessDateDWord(), true));
    case OrderState::Refused:
        return dataview::Text(4905, "refused: %s", DisplayText(m_Order.GetErrorMessage()));
    case OrderState::None: break;
    }
    return dataview::Text(4906, "none");
}

std::string CDataView::ItemDetails(const CItemRecord& item)
{
    std::vector<std::string> details;
    if (!item.GetOldPrice().empty())
        details.push_back(dataview::Text(4392, "instead of %s", DisplayText(item.GetOldPrice())));
    for (const std::string& d : {item.GetFunction(), item.GetOptionDes(), item.GetPackaging()})
        if (!d.empty()) details.push_back(DisplayText(d));
    std::string line;
    for (const std::string& d : details) line += (line.empty() ? "" : kDetailSeparator) + d;
    return line;
}

std::string CDataView::ValidityText(const CItemRecord& item)
{
    const std::string from = DateText(item.GetValidityBegin(), false);
    const std::string to = DateText(item.GetValidityEnd(), false);
    if (!from.empty() && !to.empty()) return dataview::Text(4393, "Valid from %s to %s", from, to);
    if (!from.empty()) return dataview::Text(4394, "Valid from %s", from);
    if (!to.empty()) return dataview::Text(4395, "Valid until %s", to);
    return "";
}

std::string CDataView::PictureText(const CItemRecord& item) const
{
    const std::string name = item.GetImageName();
    const std::string shown = DisplayText(name);
    if (name.empty()) return dataview::Text(4397, "No picture");
    const Picture* picture = FindPicture(name);
    if (picture == nullptr) return dataview::Text(4398, "Picture \"%s\" is missing from the catalog", shown);
    if (!picture->bitmap.IsEmpty())
        return dataview::Text(4396, "Picture \"%s\", %d × %d", shown, picture->bitmap.GetWidth(),
                              picture->bitmap.GetHeight());
    const std::vector<BYTE>& data = picture->image.GetImageData();
    const std::string format = FormatName(data);
    if (!format.empty())
        return dataview::Text(4399, "Picture \"%s\": a %s image of %u bytes", shown, format, data.size());
    return dataview::Text(4937, "Picture \"%s\": %u bytes that make no image", shown, data.size());
}

std::vector<std::string> CDataView::AddressLines(const std::string& name, const std::string& address1,
                                                 const std::string& address2, const std::string& zip,
                                                 const std::string& city, const std::string& state,
                                                 const std::string& country)
{
    std::vector<std::string> lines;
    auto add = [&](std::string line) {
        if (!line.empty()) lines.push_back(std::move(line));
    };
    add(DisplayText(name));
    add(DisplayText(address1));
    add(DisplayText(address2));
    std::string town = DisplayText(zip);
    if (!town.empty() && !city.empty()) town += ' ';
    town += DisplayText(city);
    add(town);
    add(DisplayText(state));
    add(DisplayText(country));
    return lines;
}

std::string CDataView::DisplayText(const std::string& handheldText, bool keepLines)
{
    std::string out;
    out.reserve(handheldText.size());
    for (std::size_t i = 0; i < handheldText.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(handheldText[i]);
        if (c == '\r' && i + 1 < handheldText.size() && handheldText[i + 1] == '\n') continue;
        if (c == '\n' || c == '\r') {
            out += keepLines ? '\n' : ' ';
        } else if (c == '\t') {
            out += ' ';
        } else if (c < 0x20 || c == 0x7F) {
            AppendUtf8(out, kReplacement);
        } else if (c >= 0x80 && c < 0xA0) {
            AppendUtf8(out, kCp1252High[c - 0x80] != 0 ? kCp1252High[c - 0x80] : kReplacement);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::string CDataView::DateText(DWORD palmDate, bool withTime)
{
    if (palmDate == 0) return "";
    const COleDateTime when = CPdbPackedRecord::DWordToCOleDateTime(palmDate);
    std::tm tm{};
    tm.tm_year = when.GetYear() - 1900;
    tm.tm_mon = when.GetMonth() - 1;
    tm.tm_mday = when.GetDay();
    tm.tm_hour = when.GetHour();
    tm.tm_min = when.GetMinute();
    std::string format = DateFormat(TimeLocaleName());
    if (withTime) format += " %H:%M";
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, format.c_str(), &tm);
    return std::string(text, n);
}

std::string CDataView::PriceText(unsigned long long hundredths)
{
    return dataview::Text(4380, "%u.%02u", hundredths / 100, unsigned(hundredths % 100));
}

std::size_t CDataView::Width(const std::string& utf8)
{
    std::size_t n = 0;
    for (const char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}
