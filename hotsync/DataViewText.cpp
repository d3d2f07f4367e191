#include "hotsync/DataViewText.h"

#include <algorithm>

#include "hotsync/DataView.h"

using dataview::Text;

namespace {

// A value that may hold line ends, each line under the indent.
void Lines(std::ostream& out, const std::string& indent, const std::string& text)
{
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        out << indent << text.substr(from, end - from) << "\n";
        from = end + 1;
    }
}

std::string Pad(const std::string& s, std::size_t width, bool right)
{
    const std::size_t w = CDataView::Width(s);
    const std::string fill(w < width ? width - w : 0, ' ');
    return right ? fill + s : s + fill;
}

void WritePicture(std::ostream& out, const CDataView& view, const CItemRecord& item)
{
    out << "    " << view.PictureText(item) << "\n";
    const CDataView::Picture* picture = view.FindPicture(item.GetImageName());
    if (picture == nullptr) return;
    for (const std::string& line : CDataViewText::PictureLines(picture->bitmap)) out << "      " << line << "\n";
}

void WriteItem(std::ostream& out, const CDataView& view, const CItemRecord& item)
{
    out << "  "
        << Text(4391, "%s (ref. %s): %s", CDataView::DisplayText(item.GetNameStr()),
                CDataView::DisplayText(item.GetReferenceStr()), CDataView::PriceText(item.GetPrice()))
        << "\n";
    const std::string details = CDataView::ItemDetails(item);
    if (!details.empty()) out << "    " << details << "\n";
    if (!item.GetDescription().empty()) Lines(out, "    ", CDataView::DisplayText(item.GetDescription(), true));
    const std::string validity = CDataView::ValidityText(item);
    if (!validity.empty()) out << "    " << validity << "\n";
    WritePicture(out, view, item);
}

void WriteCatalog(std::ostream& out, const CDataView& view)
{
    const CAppInfo& ai = view.GetAppInfo();
    std::vector<std::string> titles;
    for (const std::string& t : {ai.GetTitle(), ai.GetSubTitle(), ai.GetCatalogTitle()})
        if (!t.empty() && std::find(titles.begin(), titles.end(), t) == titles.end()) titles.push_back(t);
    for (const std::string& t : titles) out << CDataView::DisplayText(t) << "\n";
    if (view.Items().empty()) {
        out << "\n" << Text(4900, "No item") << "\n";
        return;
    }
    for (const CDataView::Category& c : view.Categories()) {
        out << "\n" << std::string(std::size_t(c.depth) * 2, ' ') << CDataView::DisplayText(c.category.GetName()) << "\n";
        for (std::size_t i : c.items) WriteItem(out, view, view.Items()[i]);
    }
    if (!view.Uncategorized().empty()) {
        out << "\n" << Text(4390, "Items without a category") << "\n";
        for (std::size_t i : view.Uncategorized()) WriteItem(out, view, view.Items()[i]);
    }
}

void WriteAddress(std::ostream& out, const std::string& indent, const std::vector<std::string>& lines)
{
    for (const std::string& l : lines) out << indent << l << "\n";
}

void WriteOrder(std::ostream& out, const CDataView& view)
{
    out << Text(4919, "Order: %s", view.OrderStateText()) << "\n";
    if (!view.HasOrder()) return;
    const COrderInfo& o = view.Order();
    if (view.GetOrderState() == CDataView::OrderState::Waiting && !o.GetErrorMessage().empty())
        out << Text(4907, "Last attempt: %s", CDataView::DisplayText(o.GetErrorMessage())) << "\n";
    const std::vector<std::string> address =
        CDataView::AddressLines(o.GetNameStr(), o.GetAddress1Str(), o.GetAddress2Str(), o.GetZipStr(), o.GetCityStr(),
                                o.GetStateStr(), o.GetCountryStr());
    if (!o.GetDeliveryAliasStr().empty())
        out << Text(4908, "Deliver to \"%s\":", CDataView::DisplayText(o.GetDeliveryAliasStr())) << "\n";
    else if (!address.empty())
        out << Text(4903, "Deliver to:") << "\n";
    WriteAddress(out, "  ", address);
    if (o.GetDeliveryCharges() != 0)
        out << Text(4909, "Delivery charges: %s", CDataView::PriceText(o.GetDeliveryCharges())) << "\n";
    if (!o.GetFreeCommentStr().empty()) {
        const std::string comment = CDataView::DisplayText(o.GetFreeCommentStr(), true);
        const std::string first = Text(4910, "Comment: %s", comment);
        Lines(out, "", first);
    }
}

void WriteLines(std::ostream& out, const CDataView& view)
{
    if (view.Lines().empty()) {
        out << Text(4917, "No line") << "\n";
        return;
    }
    struct Row {
        std::string need, quantity, name, reference, price;
    };
    std::vector<Row> rows{{Text(4911, "To buy"), Text(4912, "Qty"), Text(4913, "Item"), Text(4914, "Reference"),
                           Text(4915, "Price")}};
    for (const CItemRefRecord& line : view.Lines())
        rows.push_back({line.GetNeedBool() ? Text(4381, "yes") : Text(4382, "no"), line.GetQuantityStr(),
                        CDataView::DisplayText(line.GetNameStr()), CDataView::DisplayText(line.GetReferenceStr()),
                        CDataView::PriceText(line.GetPrice())});
    std::size_t w[5] = {};
    for (const Row& r : rows) {
        const std::string* cells[5] = {&r.need, &r.quantity, &r.name, &r.reference, &r.price};
        for (int c = 0; c < 5; ++c) w[c] = std::max(w[c], CDataView::Width(*cells[c]));
    }
    for (const Row& r : rows) {
        std::string line = Pad(r.need, w[0], false) + "  " + Pad(r.quantity, w[1], true) + "  " +
                           Pad(r.name, w[2], false) + "  " + Pad(r.reference, w[3], false) + "  " +
                           Pad(r.price, w[4], true);
        out << line << "\n";
    }
    out << Text(4916, "Total to buy: %s", CDataView::PriceText(view.TotalToBuy())) << "\n";
}

void WriteList(std::ostream& out, const CDataView& view)
{
    const CAppInfo& ai = view.GetAppInfo();
    if (!ai.GetTitle().empty()) out << CDataView::DisplayText(ai.GetTitle()) << "\n";
    if (!ai.GetListOrCatalogName().empty())
        out << Text(4901, "From the catalog %s", CDataView::DisplayText(ai.GetListOrCatalogName())) << "\n";
    WriteOrder(out, view);
    out << "\n";
    WriteLines(out, view);
}

void WriteGame(std::ostream& out, const CDataView& view)
{
    const CAppInfo& ai = view.GetAppInfo();
    if (!ai.GetTitle().empty()) out << CDataView::DisplayText(ai.GetTitle()) << "\n";
    if (view.Lines().empty()) {
        out << Text(4936, "No score yet") << "\n";
        return;
    }
    for (const CItemRefRecord& line : view.Lines())
        out << Text(4918, "%s: %s points", CDataView::DisplayText(line.GetReferenceStr()), line.GetQuantityStr())
            << "\n";
}

void WriteUserContext(std::ostream& out, const CDataView& view)
{
    if (view.HasUserId()) {
        out << Text(4920, "Service user id: %s", CDataView::DisplayText(view.GetUserId())) << "\n";
        out << (view.HasPassword() ? Text(4922, "Password: kept on the handheld, not shown")
                                   : Text(4923, "Password: none"))
            << "\n";
    } else {
        out << Text(4921, "No service user id on the handheld") << "\n";
    }
    out << "\n";
    if (view.Addresses().empty()) {
        out << Text(4925, "No address") << "\n";
        return;
    }
    out << Text(4924, "Addresses") << "\n";
    for (const CAddressRecord& a : view.Addresses()) {
        const std::string alias = CDataView::DisplayText(a.GetAlias());
        const std::string id = a.GetId();
        out << "  "
            << (id.empty() || id == "0"
                    ? Text(4927, "\"%s\", on this handheld only (not yet known to the service)", alias)
                    : Text(4926, "\"%s\", known to the service as number %s", alias, id))
            << "\n";
        WriteAddress(out, "    ",
                     CDataView::AddressLines(a.GetName(), a.GetAddress1(), a.GetAddress2(), a.GetZip(), a.GetCity(),
                                             a.GetState(), a.GetCountry()));
    }
}

} // namespace

std::vector<std::string> CDataViewText::PictureLines(const CPalmBitmap& bitmap)
{
    std::vector<std::string> lines;
    if (bitmap.IsEmpty()) return lines;
    const int w = bitmap.GetWidth(), h = bitmap.GetHeight();
    // One cell of the drawing stands for a square of `scale` pixels a side.
    const int scale = std::max({1, (w + kPictureColumns - 1) / kPictureColumns, (h + 2 * kPictureLines - 1) / (2 * kPictureLines)});
    const int columns = (w + scale - 1) / scale;
    const int rows = (h + scale - 1) / scale;
    auto black = [&](int cx, int cy) {
        for (int y = cy * scale; y < std::min(h, (cy + 1) * scale); ++y)
            for (int x = cx * scale; x < std::min(w, (cx + 1) * scale); ++x)
                if (bitmap.IsBlack(x, y)) return true;
        return false;
    };
    static const char* const kCells[4] = {" ", "\xE2\x96\x80", "\xE2\x96\x84", "\xE2\x96\x88"}; // ▀ ▄ █
    for (int cy = 0; cy < rows; cy += 2) {
        std::string line;
        std::size_t kept = 0;
        for (int cx = 0; cx < columns; ++cx) {
            const int cell = (black(cx, cy) ? 1 : 0) | (cy + 1 < rows && black(cx, cy + 1) ? 2 : 0);
            line += kCells[cell];
            if (cell != 0) kept = line.size();
        }
        line.resize(kept);
        lines.push_back(line);
    }
    return lines;
}

void CDataViewText::Write(std::ostream& out, const CDataView& view, bool damaged)
{
    if (damaged) out << Text(4389, "This database is damaged: only what could be read is shown.") << "\n";
    out << view.Heading() << "\n";
    switch (view.GetKind()) {
    case CDataView::Kind::Catalog: WriteCatalog(out, view); break;
    case CDataView::Kind::List:
    case CDataView::Kind::Form: WriteList(out, view); break;
    case CDataView::Kind::Game: WriteGame(out, view); break;
    case CDataView::Kind::UserContext: WriteUserContext(out, view); break;
    case CDataView::Kind::Other: break;
    }
}
