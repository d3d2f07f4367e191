#include "hotsync/DatabaseDump.h"

#include <cstdio>
#include <string>

#include "palmkit/Handheld.h"
#include "quillio/PdbFile.h"
#include "records/AddressRecord.h"
#include "records/AppInfo.h"
#include "records/ItemRecord.h"
#include "records/ItemRefRecord.h"
#include "records/OrderInfo.h"
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
