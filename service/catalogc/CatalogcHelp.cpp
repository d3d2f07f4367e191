#include "CatalogCompiler.h"

std::string CCatalogCompiler::SchemaHelp()
{
    return R"(INPUT is one JSON object describing one database (creator KESA):

  "kind"        "catalog" (type CATA), "list" (type LIST or EMLS) or "user" (type USER)
  "name"        database name, 1 to 31 characters; a catalog's name is its
                channel id followed by three characters ("C7abc")
  "type"        list only: "LIST" (default) or "EMLS"
  "version"     header version, 0 to 65535 (default 0)
  "dateFormat"  format name of every date in the file (default "W3C",
                2001-05-03T10:20:30); also FR, DD/MM/YY, DD/MM/YYYY (day first),
                US, MM/DD/YY, MM/DD/YYYY (month first), anything else: the
                user's locale (LC_ALL, LC_TIME, LANG: day first for fr* and
                installed locales that write the day first, else month first)
Catalog and list:
  "appInfo"     {"title", "subTitle", "editTitle", "catalogTitle" (32 chars
                max each), "sumTitle" (8), "listOrCatalogName" (32; a
                catalog's defaults to its name, a list names its catalog),
                "formatNum" (2 writes "2.3", 1 "2.1", else "2.01"),
                "columns": [{"index" 0-7, "label" (10), "attribute" 0-255}],
                "displayInfo": [bits 0-15],
                "channelType": 1 catalog, 2 list with order, 3 game, 4}
Catalog (record category in brackets):
  "items"       [1] [{"category", "quantity", "price", "need" (bool),
                "validityBegin", "validityEnd", "reference", "name",
                "function", "oldPrice", "optionDes", "packaging",
                "description", "imageName"}]
  "categories"  [2] [{"category", "superCategory", "name"}]
  "images"      [3] [{"name", "file"}]: a .pbm file is converted to a
                handheld bitmap, any other file is copied as it is; relative
                to the JSON file's folder
  "deliveryCharges" [4] [{"zoneName", "currency", "email", "faxNumber",
                "elements": [{"threshold", "charge"}] (20 at most)}]
  "deliveryZones"   [7] [{"addressId" (not 0), "zoneName" (not empty)}]
List:
  "order"       [5] {"creationDate", "orderingDate", "processDate",
                "deliveryCharges", "deliveryAddressId", "memberId",
                "channelId", "deliveryAlias", "deliveryName",
                "deliveryAddress1", "deliveryAddress2", "deliveryZip",
                "deliveryCity", "deliveryState", "deliveryCountry",
                "freeComment", "errorMessage"}
  "itemRefs"    [8] [{"reference" (16 chars max), "name", "quantity",
                "price", "need" (bool)}]
User context:
  "addresses"   [6] [{"id", "alias" (15 max), "name", "address1",
                "address2", "zip", "city", "state", "country"}]; alias, name,
                address1 and city are required
  "user"        [9] {"userId", "password"}

Prices and numbers may be strings ("12,50") or JSON numbers (12.5). Unknown
members, refused values and unreadable images are reported with their JSON
path ("$.items[2].price: ..."), and then no file is written.

Example:
  {
    "kind": "catalog", "name": "C7abc",
    "appInfo": {"title": "Grocer", "sumTitle": "Total",
                "columns": [{"index": 0, "label": "Qty", "attribute": 1}]},
    "items": [{"category": 1, "reference": "TEA-01", "name": "Green tea",
               "price": "3,20", "quantity": 1,
               "validityBegin": "2001-05-03T00:00:00"}],
    "categories": [{"category": 1, "superCategory": 0, "name": "Drinks"}],
    "images": [{"name": "logo", "file": "logo.pbm"}],
    "deliveryCharges": [{"zoneName": "North", "currency": "EUR",
                         "email": "orders@example.com",
                         "elements": [{"threshold": "0", "charge": "5,90"},
                                      {"threshold": "50", "charge": "0"}]}],
    "deliveryZones": [{"addressId": 1, "zoneName": "North"}]
  }
)";
}
