// What a shopper sees of one database of the handheld, read through the record
// library: a catalog's categories and items with their pictures, a list's lines
// and order, the user context's addresses. Texts stay as the handheld holds
// them; the helpers below make the words, prices and dates of the screen.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "lexmo/TextOr.h"
#include "records/AddressRecord.h"
#include "records/AppInfo.h"
#include "records/CategoryRecord.h"
#include "records/ImageRecord.h"
#include "records/ItemRecord.h"
#include "records/ItemRefRecord.h"
#include "records/OrderInfo.h"
#include "records/PalmBitmap.h"
#include "seam/Types.h"

class CPdbFile;

class CDataView {
public:
    enum class Kind { Catalog, List, Form, Game, UserContext, Other };
    enum class OrderState { None, Waiting, Placed, Refused };

    struct Picture {
        CImageRecord image;
        // Set when the data is a handheld bitmap; other formats keep their bytes.
        CPalmBitmap bitmap;
    };
    struct Category {
        CCategoryRecord category;
        int depth = 0;                  // 0 for a top category
        std::vector<std::size_t> items; // indexes into Items()
    };

    explicit CDataView(const CPdbFile& file);
    // Reads the database `name` of the handheld folder `dir`. Null, with the
    // reason in `error`, when there is no such database or nothing of it can
    // be read; `damaged` tells when only part of it could.
    static std::unique_ptr<CDataView> Load(const std::string& dir, const std::string& name, bool& damaged,
                                           std::string& error);

    Kind GetKind() const { return m_Kind; }
    const std::string& GetName() const { return m_Name; }
    const CAppInfo& GetAppInfo() const { return m_AppInfo; }

    // A catalog: its categories, each followed by its subcategories, then the
    // items whose category is none of them (empty when there are none).
    const std::vector<CItemRecord>& Items() const { return m_Items; }
    const std::vector<Category>& Categories() const { return m_Categories; }
    const std::vector<std::size_t>& Uncategorized() const { return m_Uncategorized; }
    // The picture of that name; null when the catalog has none.
    const Picture* FindPicture(const std::string& name) const;

    // A list: its lines, and its order when it has one.
    const std::vector<CItemRefRecord>& Lines() const { return m_Lines; }
    bool HasOrder() const { return m_HasOrder; }
    const COrderInfo& Order() const { return m_Order; }
    OrderState GetOrderState() const;
    // Quantity times price of the lines to buy.
    unsigned long long TotalToBuy() const;

    // The user context: its addresses and the service user id. The password
    // is never kept here: only whether there is one.
    const std::vector<CAddressRecord>& Addresses() const { return m_Addresses; }
    bool HasUserId() const { return m_HasUserId; }
    const std::string& GetUserId() const { return m_UserId; }
    bool HasPassword() const { return m_HasPassword; }

    // The title the view opens with ("Catalog "C7abc"").
    std::string Heading() const;
    // The order's state in words: "placed on 05/04/2001 10:20".
    std::string OrderStateText() const;
    // An item's old price, function, option and packaging on one line.
    static std::string ItemDetails(const CItemRecord& item);
    // When an item may be ordered; empty when always.
    static std::string ValidityText(const CItemRecord& item);
    // What there is of an item's picture, for a reader who cannot see it:
    // none, missing, its size, or its format.
    std::string PictureText(const CItemRecord& item) const;
    // The lines of an address as they go on an envelope, empty ones left out.
    static std::vector<std::string> AddressLines(const std::string& name, const std::string& address1,
                                                 const std::string& address2, const std::string& zip,
                                                 const std::string& city, const std::string& state,
                                                 const std::string& country);

    // Handheld text (Windows-1252) as UTF-8 for the screen. Control characters
    // never reach it: tabs and line ends become blanks (line ends are kept
    // with `keepLines`), the others and the code page's holes U+FFFD.
    static std::string DisplayText(const std::string& handheldText, bool keepLines = false);
    // A date in the user's locale form (LC_ALL, LC_TIME, LANG): the installed
    // locale's own, else day first for French and month first otherwise;
    // empty for 0.
    static std::string DateText(DWORD palmDate, bool withTime);
    // Hundredths in the catalog language's form: 12.50 or 12,50.
    static std::string PriceText(unsigned long long hundredths);
    // Columns a text takes on a terminal (its characters, UTF-8).
    static std::size_t Width(const std::string& utf8);

private:
    void ReadCatalog(const CPdbFile& file);
    void ReadList(const CPdbFile& file);
    void ReadUserContext(const CPdbFile& file);

    Kind m_Kind = Kind::Other;
    std::string m_Name;
    CAppInfo m_AppInfo;
    std::vector<CItemRecord> m_Items;
    std::vector<Category> m_Categories;
    std::vector<std::size_t> m_Uncategorized;
    std::vector<Picture> m_Pictures;
    std::vector<CItemRefRecord> m_Lines;
    bool m_HasOrder = false;
    COrderInfo m_Order;
    std::vector<CAddressRecord> m_Addresses;
    bool m_HasUserId = false;
    std::string m_UserId;
    bool m_HasPassword = false;
};

namespace dataview {

// A message of the catalog with its values; `english` stands in when the
// catalog lacks it, so that a view never shows an empty text.
template <class... A>
std::string Text(int number, const char* english, const A&... args)
{
    return lexmo::TextOr(number, english, args...);
}

} // namespace dataview
