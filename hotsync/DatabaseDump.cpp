#include "hotsync/DatabaseDump.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <string>

#include "palmkit/Handheld.h"
#include "quillio/PdbFile.h"
#include "records/AddressRecord.h"
#include "records/AppInfo.h"
#include "records/ItemRecord.h"
#include "records/ItemRefRecord.h"
#include "records/OrderInfo.h"
#include "records/RecordText.h"
#include "records/UserIdRecord.h"

namespace {

constexpr DWORD kKesa = FourCC("KESA");

void Field(std::ostream& out, const char* name, const std::string& value)
{
    out << "    " << name << ": " << value << "\n";
}

std::string Date(DWORD d)
{
    return palmkit::PalmDateText(d);
}

std::string Hex4(unsigned v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

void DumpAppInfo(std::ostream& out, const CPdbFile& f)
{
    CPdbRecord block(f.m_AppInfo.data(), long(f.m_AppInfo.size()));
    CAppInfo ai;
    ai.FillFromPdbRecord(&block);
    Field(out, "Title", ai.GetTitle());
    Field(out, "SubTitle", ai.GetSubTitle());
    Field(out, "EditTitle", ai.GetEditTitle());
    Field(out, "CatalogTitle", ai.GetCatalogTitle());
    Field(out, "SumTitle", ai.GetSumTitle());
    Field(out, "ListOrCatalogName", ai.GetListOrCatalogName());
    Field(out, "ChannelType", std::to_string(int(ai.GetChannelType())));
    Field(out, "DisplayInfo", Hex4(ai.GetDisplayInfo()));
    Field(out, "ColumnMask", Hex4(ai.GetColumnMask()));
    for (int i = 0; i < CAppInfo::kColumns; ++i) {
        if (ai.GetColumnLabel(i).empty() && ai.GetColumnAttribute(i) == 0) continue;
        Field(out, ("Column " + std::to_string(i)).c_str(),
              "\"" + ai.GetColumnLabel(i) + "\" attribute " + std::to_string(ai.GetColumnAttribute(i)));
    }
    Field(out, "FormatVersion", ai.GetFormatVersion());
}

// Reads the big-endian fields of a record; past the end it keeps failing.
class FieldReader {
public:
    FieldReader(const BYTE* data, std::size_t size) : m_Data(data), m_Size(size) {}
    bool Word(unsigned& v) { return Number(2, v); }
    bool DWord(unsigned& v) { return Number(4, v); }
    bool Text(std::string& v, std::size_t fixed = 0)
    {
        if (m_Failed) return false;
        const std::size_t limit = fixed ? m_At + fixed : m_Size;
        if (limit > m_Size) return Stop();
        std::size_t end = m_At;
        while (end < limit && m_Data[end] != 0) ++end;
        if (!fixed && end == m_Size) return Stop(); // no terminating zero
        v.assign(reinterpret_cast<const char*>(m_Data + m_At), end - m_At);
        m_At = fixed ? limit : end + 1;
        return true;
    }
    std::size_t At() const { return m_At; }
    std::size_t Left() const { return m_Size - m_At; }
    const BYTE* Here() const { return m_Data + m_At; }
    bool Failed() const { return m_Failed; }

private:
    bool Number(std::size_t n, unsigned& v)
    {
        if (m_Failed || m_At + n > m_Size) return Stop();
        v = 0;
        for (std::size_t i = 0; i < n; ++i) v = (v << 8) | m_Data[m_At + i];
        m_At += n;
        return true;
    }
    bool Stop()
    {
        m_Failed = true;
        return false;
    }
    const BYTE* m_Data;
    std::size_t m_Size;
    std::size_t m_At = 0;
    bool m_Failed = false;
};

// Says where a record stopped making sense.
void Truncated(std::ostream& out, const FieldReader& r)
{
    out << "    (the record ends early: cannot read past byte " << r.At() << ")\n";
}

void DumpCategory(std::ostream& out, const CPdbRecord& rec)
{
    FieldReader r(rec.Data(), std::size_t(rec.Size()));
    unsigned category = 0, super = 0;
    std::string name;
    out << "    CCategoryRecord\n";
    if (r.Word(category)) Field(out, "Category", std::to_string(category));
    if (r.Word(super)) Field(out, "SuperCategory", std::to_string(super));
    if (r.Text(name, 32)) Field(out, "Name", name);
    if (r.Failed()) Truncated(out, r);
}

void DumpImage(std::ostream& out, const CPdbRecord& rec)
{
    FieldReader r(rec.Data(), std::size_t(rec.Size()));
    std::string name;
    out << "    CImageRecord\n";
    if (!r.Text(name)) return Truncated(out, r);
    Field(out, "Name", name);
    // A bitmap: width, height, row bytes, flags, two reserved dwords, the rows,
    // then the record's closing zero byte.
    FieldReader bmp(r.Here(), r.Left());
    unsigned width = 0, height = 0, rowBytes = 0, flags = 0, reserved1 = 0, reserved2 = 0;
    const bool header = bmp.Word(width) && bmp.Word(height) && bmp.Word(rowBytes) && bmp.Word(flags) &&
                        bmp.DWord(reserved1) && bmp.DWord(reserved2);
    if (!header || rowBytes != (width + 15) / 16 * 2 || std::size_t(rowBytes) * height + 1 != bmp.Left()) {
        Field(out, "Data", std::to_string(r.Left()) + " bytes");
        CDatabaseDump::Hex(out, r.Here(), r.Left(), "      ");
        return;
    }
    Field(out, "Bitmap", std::to_string(width) + " x " + std::to_string(height));
    const BYTE* rows = bmp.Here();
    for (unsigned y = 0; y < height; ++y) {
        std::string line = "      ";
        for (unsigned x = 0; x < width; ++x)
            line += (rows[y * rowBytes + x / 8] >> (7 - x % 8)) & 1 ? '#' : '.';
        out << line << "\n";
    }
}

void DumpDelivery(std::ostream& out, const CPdbRecord& rec)
{
    FieldReader r(rec.Data(), std::size_t(rec.Size()));
    out << "    CDeliveryRecord\n";
    unsigned words = 0;
    if (!r.Word(words)) return Truncated(out, r);
    for (unsigned i = 0; i < words / 2; ++i) {
        unsigned threshold = 0, charge = 0;
        if (!r.DWord(threshold) || !r.DWord(charge)) return Truncated(out, r);
        Field(out, ("Charge " + std::to_string(i)).c_str(),
              "from " + recshelf::HundredthsText(threshold) + ": " + recshelf::HundredthsText(charge));
    }
    for (const char* name : {"Zone", "Currency", "Email", "Fax"}) {
        std::string text;
        if (!r.Text(text)) return Truncated(out, r);
        Field(out, name, text);
    }
}

void DumpDeliveryZone(std::ostream& out, const CPdbRecord& rec)
{
    FieldReader r(rec.Data(), std::size_t(rec.Size()));
    out << "    CDeliveryZoneRecord\n";
    unsigned id = 0;
    std::string zone;
    if (r.Word(id)) Field(out, "AddressId", std::to_string(id));
    if (r.Text(zone)) Field(out, "Zone", zone);
    if (r.Failed()) Truncated(out, r);
}

// True when the record was decoded.
bool DumpRecord(std::ostream& out, DWORD type, int category, const CPdbRecord& r)
{
    if (type == FourCC("CATA") && category == 1) {
        CItemRecord item(&r);
        out << "    CItemRecord\n";
        Field(out, "Category", std::to_string(item.GetCategory()));
        Field(out, "Need", item.GetNeedBool() ? "yes" : "no");
        Field(out, "Quantity", item.GetQuantityStr());
        Field(out, "Price", item.GetPriceStr());
        Field(out, "ValidityBegin", Date(item.GetValidityBegin()));
        Field(out, "ValidityEnd", Date(item.GetValidityEnd()));
        Field(out, "Reference", item.GetReferenceStr());
        Field(out, "Name", item.GetNameStr());
        Field(out, "Function", item.GetFunction());
        Field(out, "OldPrice", item.GetOldPrice());
        Field(out, "OptionDes", item.GetOptionDes());
        Field(out, "Packaging", item.GetPackaging());
        Field(out, "Description", item.GetDescription());
        return true;
    }
    if (type == FourCC("CATA") || type == FourCC("USER")) {
        switch (category) {
        case 2: DumpCategory(out, r); return true;
        case 3: DumpImage(out, r); return true;
        case 4: DumpDelivery(out, r); return true;
        case 7: DumpDeliveryZone(out, r); return true;
        default: break;
        }
    }
    if ((type == FourCC("LIST") || type == FourCC("EMLS")) && category == 5) {
        COrderInfo o;
        o.FillFromPdbRecord(&r);
        out << "    COrderInfo\n";
        Field(out, "Created", o.GetCreateDateStr());
        Field(out, "Ordered", o.GetOrderingDateStr());
        Field(out, "Processed", o.GetProcessDateStr());
        Field(out, "DeliveryCharges", o.GetDeliveryChargesStr());
        Field(out, "DeliveryAddressId", o.GetDeliveryAddressIdStr());
        Field(out, "MemberId", o.GetMemberIdStr());
        Field(out, "ChannelId", o.GetChannelIdStr());
        Field(out, "Alias", o.GetDeliveryAliasStr());
        Field(out, "Name", o.GetNameStr());
        Field(out, "Address1", o.GetAddress1Str());
        Field(out, "Address2", o.GetAddress2Str());
        Field(out, "Zip", o.GetZipStr());
        Field(out, "City", o.GetCityStr());
        Field(out, "State", o.GetStateStr());
        Field(out, "Country", o.GetCountryStr());
        Field(out, "Comment", o.GetFreeCommentStr());
        Field(out, "Error", o.GetErrorMessage());
        return true;
    }
    if ((type == FourCC("LIST") || type == FourCC("EMLS")) && category == 8) {
        CItemRefRecord ref(&r);
        out << "    CItemRefRecord\n";
        Field(out, "Need", ref.GetNeedBool() ? "yes" : "no");
        Field(out, "Quantity", ref.GetQuantityStr());
        Field(out, "Price", ref.GetPriceStr());
        Field(out, "Reference", ref.GetReferenceStr());
        Field(out, "Name", ref.GetNameStr());
        return true;
    }
    if (type == FourCC("USER") && category == 6) {
        CAddressRecord a;
        a.FillFromPdbRecord(&r);
        out << "    CAddressRecord\n";
        Field(out, "Id", a.GetId());
        Field(out, "Alias", a.GetAlias());
        Field(out, "Name", a.GetName());
        Field(out, "Address1", a.GetAddress1());
        Field(out, "Address2", a.GetAddress2());
        Field(out, "Zip", a.GetZip());
        Field(out, "City", a.GetCity());
        Field(out, "State", a.GetState());
        Field(out, "Country", a.GetCountry());
        return true;
    }
    if (type == FourCC("USER") && category == 9) {
        CUserIdRecord u;
        u.FillFromPdbRecord(&r);
        out << "    CUserIdRecord\n";
        Field(out, "UserId", u.GetUserId());
        Field(out, "Password", u.GetPassword());
        return true;
    }
    return false;
}

} // namespace

std::string CDatabaseDump::Damage(const std::vector<unsigned char>& bytes)
{
    constexpr std::size_t kHeader = 78;
    const std::size_t size = bytes.size();
    auto at = [&](std::size_t off, int n) {
        unsigned v = 0;
        for (int i = 0; i < n; ++i) v = (v << 8) | bytes[off + std::size_t(i)];
        return v;
    };
    if (size < kHeader)
        return "the file has " + std::to_string(size) + " bytes, fewer than the " + std::to_string(kHeader) +
               " of a database header";
    if (std::find(bytes.begin(), bytes.begin() + 32, 0) == bytes.begin() + 32)
        return "the database name is not terminated within its 32 bytes";
    const bool resource = at(32, 2) & 0x0001;
    const std::size_t entrySize = resource ? 10 : 8;
    const std::size_t declared = at(76, 2);
    const std::size_t fit = (size - kHeader) / entrySize;
    if (declared > fit)
        return "the header declares " + std::to_string(declared) + " " + (resource ? "resources" : "records") +
               " but the file ends after the entry of " + std::to_string(fit) + " (at byte " + std::to_string(size) + ")";
    const std::size_t tableEnd = kHeader + declared * entrySize;
    for (const auto& [name, off] : {std::pair<const char*, std::size_t>{"AppInfo", 52}, {"SortInfo", 56}}) {
        const std::size_t start = at(off, 4);
        if (start != 0 && (start < tableEnd || start > size))
            return std::string("the ") + name + " block starts at byte " + std::to_string(start) +
                   ", outside the file's " + std::to_string(size) + " bytes";
    }
    for (std::size_t i = 0; i < declared; ++i) {
        const std::size_t start = at(kHeader + i * entrySize + (resource ? 6 : 0), 4);
        if (start < tableEnd || start > size)
            return std::string(resource ? "resource " : "record ") + std::to_string(i) + " starts at byte " +
                   std::to_string(start) + ", outside the file's " + std::to_string(size) + " bytes";
    }
    return "";
}

std::string CDatabaseDump::CodeText(unsigned long code)
{
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned char c = static_cast<unsigned char>(code >> shift);
        s += (c >= 0x20 && c < 0x7F) ? char(c) : '.';
    }
    return s;
}

void CDatabaseDump::Hex(std::ostream& out, const unsigned char* data, std::size_t size, const char* indent)
{
    for (std::size_t off = 0; off < size; off += 16) {
        char line[128];
        int n = std::snprintf(line, sizeof line, "%s%06zx ", indent, off);
        std::string text(line, std::size_t(n));
        std::string ascii;
        for (std::size_t i = 0; i < 16; ++i) {
            if (off + i < size) {
                std::snprintf(line, sizeof line, " %02x", data[off + i]);
                text += line;
                const unsigned char c = data[off + i];
                ascii += (c >= 0x20 && c < 0x7F) ? char(c) : '.';
            } else {
                text += "   ";
            }
        }
        out << text << "  " << ascii << "\n";
    }
}

void CDatabaseDump::Write(std::ostream& out, const CPdbFile& f)
{
    const bool service = f.m_Creator == kKesa;
    const bool resource = f.IsResourceDb();
    out << "Name: " << f.m_Name << "\n"
        << "Type: " << CodeText(f.m_Type) << "  Creator: " << CodeText(f.m_Creator) << "\n"
        << "Attributes: " << Hex4(f.m_Attributes) << (resource ? " (resource database)" : "") << "\n"
        << "Version: " << f.m_Version << "\n"
        << "Created: " << Date(f.m_CreationDate) << "  Modified: " << Date(f.m_ModificationDate)
        << "  Backed up: " << Date(f.m_BackupDate) << "\n"
        << "Modification number: " << f.m_ModificationNumber << "\n"
        << "Unique id seed: " << f.m_UniqueIdSeed << "\n"
        << "Records: " << f.m_RecordSet.GetCount() << "\n";
    out << "AppInfo: " << f.m_AppInfo.size() << " bytes\n";
    if (!f.m_AppInfo.empty()) {
        if (service && (f.m_Type == FourCC("CATA") || f.m_Type == FourCC("LIST") || f.m_Type == FourCC("EMLS"))) {
            out << "    CAppInfo\n";
            DumpAppInfo(out, f);
        } else {
            Hex(out, f.m_AppInfo.data(), f.m_AppInfo.size(), "    ");
        }
    }
    if (!f.m_SortInfo.empty()) {
        out << "SortInfo: " << f.m_SortInfo.size() << " bytes\n";
        Hex(out, f.m_SortInfo.data(), f.m_SortInfo.size(), "    ");
    }
    std::size_t index = 0;
    for (const auto& r : f.m_RecordSet) {
        if (resource) {
            out << "Resource " << index << ": " << CodeText(r->m_ResType) << " " << r->m_ResId << ", " << r->Size()
                << " bytes\n";
        } else {
            const int category = r->m_Attrib & 0x0F;
            char attrib[8];
            std::snprintf(attrib, sizeof attrib, "0x%02X", r->m_Attrib);
            out << "Record " << index << ": id " << (r->m_UniqueId & 0xFFFFFF) << ", attributes " << attrib;
            if (r->m_Attrib & 0x80) out << " deleted";
            if (r->m_Attrib & 0x40) out << " dirty";
            if (r->m_Attrib & 0x20) out << " busy";
            if (r->m_Attrib & 0x10) out << " secret";
            out << ", category " << category << ", " << r->Size() << " bytes\n";
            if (service && DumpRecord(out, f.m_Type, category, *r)) {
                ++index;
                continue;
            }
        }
        Hex(out, r->Data(), std::size_t(r->Size()), "    ");
        ++index;
    }
}
