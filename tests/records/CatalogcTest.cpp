#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "RecordsTestUtil.h"
#include "common/TestRun.h"
#include "quillio/PdbFile.h"
#include "records/AddressRecords.h"
#include "records/AppInfo.h"
#include "records/ItemRecords.h"
#include "records/ItemRefRecords.h"
#include "records/OrderInfo.h"
#include "records/UserIdRecord.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<BYTE>;

const std::string kCatalogc = NORV_BINARY_DIR "/bin/catalogc";
const std::string kSamples = NORV_SOURCE_DIR "/service/samples/catalogc/";

struct CatalogcRun {
    int status = -1;
    std::string errors;
};

// Runs catalogc on `input`, writing `output`; what it prints is kept.
CatalogcRun Catalogc(const std::string& input, const std::string& output)
{
    const RunResult r = RunCommand("'" + kCatalogc + "' '" + input + "' -o '" + output + "'");
    return CatalogcRun{r.code, r.output};
}

std::vector<const CPdbRecord*> OfCategory(const CPdbFile& pdb, int category)
{
    std::vector<const CPdbRecord*> out;
    for (const auto& r : pdb.m_RecordSet)
        if ((r->m_Attrib & 0x0F) == category) out.push_back(r.get());
    return out;
}

CPdbFile& Build(CPdbFile& pdb, const std::string& sample)
{
    const std::string output = TestDir() + sample + ".pdb";
    fs::remove(output);
    const CatalogcRun run = Catalogc(kSamples + sample + ".json", output);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(pdb.ReadPdbFile(output.c_str()));
    return pdb;
}

TEST(Catalogc, CatalogSampleReadsBackFieldForField)
{
    CPdbFile pdb;
    Build(pdb, "catalog");
    EXPECT_EQ(pdb.m_Name, "C7abc");
    EXPECT_EQ(pdb.m_Type, FourCC("CATA"));
    EXPECT_EQ(pdb.m_Creator, FourCC("KESA"));
    EXPECT_EQ(pdb.m_Version, 1);
    EXPECT_NE(pdb.m_CreationDate, 0u);

    ASSERT_EQ(pdb.m_AppInfo.size(), 269u);
    CPdbRecord block(pdb.m_AppInfo.data(), long(pdb.m_AppInfo.size()));
    CAppInfo info;
    info.FillFromPdbRecord(&block);
    EXPECT_EQ(info.GetTitle(), "Le Petit Epicier");
    EXPECT_EQ(info.GetSubTitle(), "Catalogue de printemps");
    EXPECT_EQ(info.GetEditTitle(), "Ma liste");
    EXPECT_EQ(info.GetCatalogTitle(), "Epicerie fine");
    EXPECT_EQ(info.GetSumTitle(), "Total");
    EXPECT_EQ(info.GetListOrCatalogName(), "C7abc");
    EXPECT_EQ(info.GetColumnMask(), 0x07);
    EXPECT_EQ(info.GetColumnLabel(1), "Article");
    EXPECT_EQ(info.GetColumnAttribute(2), 4);
    EXPECT_EQ(info.GetDisplayInfo(), 0x0009);
    EXPECT_EQ(info.GetChannelType(), ChannelCatalog);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pdb.m_AppInfo.data()) + 259), "2.3");

    CItemRecords items;
    items.FillFromPdbRecords(pdb.m_RecordSet);
    ASSERT_EQ(items.GetCount(), 2u);
    const CItemRecord* tea = items.FindItemRecordByRef("THE-VERT-01");
    ASSERT_NE(tea, nullptr);
    EXPECT_EQ(tea->GetCategory(), 1);
    EXPECT_EQ(tea->GetNameStr(), "The vert Sencha");
    EXPECT_EQ(tea->GetFunction(), "Boissons");
    EXPECT_EQ(tea->GetPriceStr(), "3.20");
    EXPECT_EQ(tea->GetOldPrice(), "3,50");
    EXPECT_EQ(tea->GetQuantityStr(), "1");
    EXPECT_FALSE(tea->GetNeedBool());
    EXPECT_EQ(tea->GetOptionDes(), "Vrac");
    EXPECT_EQ(tea->GetPackaging(), "100 g");
    EXPECT_EQ(tea->GetDescription(), "The vert du Japon, recolte de printemps.");
    EXPECT_EQ(CPdbPackedRecord::DWordToW3CDateString(tea->GetValidityBegin()), "2001-05-03T00:00:00");
    EXPECT_EQ(CPdbPackedRecord::DWordToW3CDateString(tea->GetValidityEnd()), "2001-06-30T23:59:59");
    // The reader stops before the image name: find it at the record's end.
    const CPdbRecord* teaRecord = OfCategory(pdb, 1)[0];
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(teaRecord->Data()) + teaRecord->Size() - 5), "logo");
    const CItemRecord* coffee = items.GetAt(1);
    EXPECT_EQ(coffee->GetReferenceStr(), "CAFE-02");
    EXPECT_EQ(coffee->GetPriceStr(), "4.50");
    EXPECT_EQ(coffee->GetQuantityStr(), "2");
    EXPECT_TRUE(coffee->GetNeedBool());
    EXPECT_EQ(coffee->GetValidityBegin(), 0u);

    auto categories = OfCategory(pdb, 2);
    ASSERT_EQ(categories.size(), 2u);
    long at = 0;
    EXPECT_EQ(categories[1]->ReadWordAt(&at), 2);
    EXPECT_EQ(categories[1]->ReadWordAt(&at), 0);
    EXPECT_EQ(categories[1]->ReadFixedStringAt(&at, 32), "Cafe");
    EXPECT_EQ(categories[1]->Size(), 36);

    auto images = OfCategory(pdb, 3);
    ASSERT_EQ(images.size(), 2u);
    Bytes logo;
    Append(logo, "logo");
    logo.insert(logo.end(), {0, 20, 0, 6, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3C, 0x0F, 0x00, 0x00});
    ASSERT_EQ(images[0]->Size(), 5 + 16 + 4 * 6 + 1);
    EXPECT_EQ(Bytes(images[0]->Data(), images[0]->Data() + logo.size()), logo);
    Bytes banner;
    Append(banner, "banner");
    Append(banner, std::string("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 14), true);
    EXPECT_EQ(images[1]->m_Data, banner);

    auto delivery = OfCategory(pdb, 4);
    ASSERT_EQ(delivery.size(), 1u);
    Bytes charges;
    Put16(charges, 6);
    for (unsigned v : {0u, 590u, 2500u, 290u, 5000u, 0u}) Put32(charges, v);
    for (const char* s : {"Paris", "EUR", "commandes@example.com", "+33 1 23 45 67 89"}) Append(charges, s);
    EXPECT_EQ(delivery[0]->m_Data, charges);

    auto zones = OfCategory(pdb, 7);
    ASSERT_EQ(zones.size(), 2u);
    Bytes zone{0, 2};
    Append(zone, "Banlieue");
    EXPECT_EQ(zones[1]->m_Data, zone);
    EXPECT_EQ(pdb.m_RecordSet.GetCount(), 9u);
}

TEST(Catalogc, ListSampleReadsBackFieldForField)
{
    CPdbFile pdb;
    Build(pdb, "list");
    EXPECT_EQ(pdb.m_Name, "ListeC7");
    EXPECT_EQ(pdb.m_Type, FourCC("LIST"));
    CPdbRecord block(pdb.m_AppInfo.data(), long(pdb.m_AppInfo.size()));
    CAppInfo info;
    info.FillFromPdbRecord(&block);
    EXPECT_EQ(info.GetListOrCatalogName(), "C7abc");
    EXPECT_EQ(info.GetChannelType(), ChannelList);
    EXPECT_EQ(info.GetTitle(), "Ma liste");

    COrderInfo order;
    EXPECT_EQ(order.FillFromPdbRecords(pdb.m_RecordSet), "");
    EXPECT_EQ(order.GetCreateDateStr(), "2001-05-03T10:20:30");
    EXPECT_EQ(order.GetOrderingDateStr(), "2001-05-04T08:00:00");
    EXPECT_EQ(order.GetProcessDateDWord(), 0u);
    EXPECT_EQ(order.GetDeliveryChargesStr(), "5.90");
    EXPECT_EQ(order.GetDeliveryAddressIdStr(), "1");
    EXPECT_EQ(order.GetMemberIdStr(), "M-1042");
    EXPECT_EQ(order.GetChannelIdStr(), "C7");
    EXPECT_EQ(order.GetDeliveryAliasStr(), "maison");
    EXPECT_EQ(order.GetNameStr(), "Anne Martin");
    EXPECT_EQ(order.GetAddress1Str(), "12 rue des Lilas");
    EXPECT_EQ(order.GetAddress2Str(), "");
    EXPECT_EQ(order.GetZipStr(), "75011");
    EXPECT_EQ(order.GetCityStr(), "Paris");
    EXPECT_EQ(order.GetCountryStr(), "France");
    EXPECT_EQ(order.GetFreeCommentStr(), "Sonner deux fois");

    CItemRefRecords refs;
    refs.FillFromPdbRecords(pdb.m_RecordSet);
    ASSERT_EQ(refs.GetCount(), 2u);
    EXPECT_EQ(refs.GetAt(0)->GetReferenceStr(), "THE-VERT-01");
    EXPECT_EQ(refs.GetAt(0)->GetNameStr(), "The vert Sencha");
    EXPECT_EQ(refs.GetAt(0)->GetQuantityStr(), "2");
    EXPECT_EQ(refs.GetAt(0)->GetPriceStr(), "3.20");
    EXPECT_TRUE(refs.GetAt(0)->GetNeedBool());
    EXPECT_FALSE(refs.GetAt(1)->GetNeedBool());
}

TEST(Catalogc, UserSampleReadsBackFieldForField)
{
    CPdbFile pdb;
    Build(pdb, "user");
    EXPECT_EQ(pdb.m_Type, FourCC("USER"));
    EXPECT_TRUE(pdb.m_AppInfo.empty());
    CAddressRecords addresses;
    addresses.FillFromPdbRecords(pdb.m_RecordSet);
    ASSERT_EQ(addresses.GetCount(), 2u);
    const CAddressRecord* office = addresses.FindAddressByAlias("bureau");
    ASSERT_NE(office, nullptr);
    EXPECT_EQ(office->GetId(), "2");
    EXPECT_EQ(office->GetName(), "Anne Martin");
    EXPECT_EQ(office->GetAddress1(), "3 avenue du Parc");
    EXPECT_EQ(office->GetAddress2(), "Batiment B");
    EXPECT_EQ(office->GetZip(), "92100");
    EXPECT_EQ(office->GetCity(), "Boulogne");
    EXPECT_EQ(office->GetState(), "IDF");
    EXPECT_EQ(office->GetCountry(), "France");
    auto ids = OfCategory(pdb, 9);
    ASSERT_EQ(ids.size(), 1u);
    CUserIdRecord user;
    user.FillFromPdbRecord(ids[0]);
    EXPECT_EQ(user.GetUserId(), "anne.martin");
    EXPECT_EQ(user.GetPassword(), "7f3a9c");
}

TEST(Catalogc, RefusalsNameTheJsonPathAndWriteNothing)
{
    const std::string input = WriteTempFile("bad.json", R"({
      "kind": "catalog", "name": "C7abc",
      "appInfo": {"sumTitle": "123456789", "columns": [{"index": 8, "label": "much too long"}], "displayInfo": [16]},
      "items": [{"reference": "R", "description": "ok"}, {"price": "1", "colour": "red"}],
      "images": [{"name": "gone", "file": "missing.gif"}, {"name": "huge", "file": "huge.pbm"},
                 {"name": "hidden", "file": ".pbm"}],
      "deliveryCharges": [{"currency": "EUR", "email": "a@b", "elements": [
        {"threshold": 1}, {"threshold": 2}, {"threshold": 3}, {"threshold": 4}, {"threshold": 5},
        {"threshold": 6}, {"threshold": 7}, {"threshold": 8}, {"threshold": 9}, {"threshold": 10},
        {"threshold": 11}, {"threshold": 12}, {"threshold": 13}, {"threshold": 14}, {"threshold": 15},
        {"threshold": 16}, {"threshold": 17}, {"threshold": 18}, {"threshold": 19}, {"threshold": 20},
        {"threshold": 21}]}],
      "deliveryZones": [{"addressId": 0, "zoneName": ""}]
    })");
    WriteTempFile("huge.pbm", "P1\n4000 4000\n");
    WriteTempFile(".pbm", "P1\n0 5\n"); // converted by the record all the same
    const std::string output = TestDir() + "bad.pdb";
    fs::remove(output);
    const CatalogcRun run = Catalogc(input, output);
    EXPECT_NE(run.status, 0);
    EXPECT_FALSE(fs::exists(output));
    for (const char* expected : {
             "$.appInfo.sumTitle: AppInfo::SetSumTitle - string too long",
             "$.appInfo.columns[0]: AppInfo::AddColumn - index out of bounds",
             "$.appInfo.displayInfo[0]: AppInfo::AddDisplayInfo - index out of bounds",
             "$.items[1].colour: unknown member",
             "$.images[0].file: cannot read ",
             "$.images[1].file: CPbmConverter::LoadPbmFile - image too large",
             "$.images[2].file: CPbmConverter::LoadPbmFile - invalid image dimensions",
             "$.deliveryCharges[0].elements[20]: CDeliveryRecord::AddDeliveryChargesElem - too many elements",
             "$.deliveryZones[0].addressId: CDeliveryZoneRecord::SetAddressId - invalid ID",
             "$.deliveryZones[0].zoneName: CDeliveryZoneRecord::SetZoneName - empty string",
         })
        EXPECT_NE(run.errors.find(expected), std::string::npos) << expected << "\n" << run.errors;

    const std::string tooLarge = WriteTempFile("large.json", R"({"kind": "user", "name": "USERCTX",
      "user": {"userId": ")" + std::string(70000, 'u') + R"("}})");
    const CatalogcRun large = Catalogc(tooLarge, output);
    EXPECT_NE(large.status, 0);
    EXPECT_NE(large.errors.find("$.user: CUserIdRecord::CreatePdbRec - record too large"), std::string::npos)
        << large.errors;
    EXPECT_FALSE(fs::exists(output));

    // A list must name its catalog.
    const CatalogcRun list = Catalogc(WriteTempFile("nolist.json", R"({"kind": "list", "name": "L", "appInfo": {}})"), output);
    EXPECT_NE(list.errors.find("$.appInfo.listOrCatalogName: required"), std::string::npos) << list.errors;
}

TEST(Catalogc, SyntaxErrorsSayTheLineAndColumn)
{
    const std::string output = TestDir() + "syntax.pdb";
    const struct {
        std::string text, says;
    } cases[] = {
        {"{\n  \"kind\": \"catalog\",\n  \"name\": 12,,\n}", "not valid JSON at line 3, column 14 (unexpected ',')"},
        {"{\"kind\": \"catalog\"", "not valid JSON at line 1, column 19 (the text ends too early)"},
        {"", "not valid JSON at line 1, column 1 (the text ends too early)"},
        {"[1]\n\n  x", "not valid JSON at line 3, column 3 (unexpected 'x')"},
    };
    for (const auto& c : cases) {
        const std::string input = WriteTempFile("syntax.json", c.text);
        const CatalogcRun run = Catalogc(input, output);
        EXPECT_EQ(run.status, 1) << c.text;
        EXPECT_EQ(run.errors, "catalogc: " + input + ": " + c.says + "\n") << c.text;
    }
    const CatalogcRun missing = Catalogc(TestDir() + "none.json", output);
    EXPECT_EQ(missing.errors, "catalogc: cannot read " + TestDir() + "none.json: No such file or directory\n");
    EXPECT_FALSE(fs::exists(output));
}

TEST(Catalogc, EmlsListWithMonthFirstDates)
{
    const std::string input = WriteTempFile("emls.json", R"({"kind": "list", "type": "EMLS", "name": "Mails",
      "dateFormat": "US", "appInfo": {"listOrCatalogName": "C9xyz", "channelType": 3},
      "order": {"creationDate": "05/03/2001 1:02 PM"}})");
    const std::string output = TestDir() + "emls.pdb";
    const CatalogcRun run = Catalogc(input, output);
    ASSERT_EQ(run.status, 0) << run.errors;
    CPdbFile pdb;
    ASSERT_TRUE(pdb.ReadPdbFile(output.c_str()));
    EXPECT_EQ(pdb.m_Type, FourCC("EMLS"));
    CPdbRecord block(pdb.m_AppInfo.data(), long(pdb.m_AppInfo.size()));
    CAppInfo info;
    info.FillFromPdbRecord(&block);
    EXPECT_EQ(info.GetChannelType(), ChannelGame);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pdb.m_AppInfo.data()) + 259), "2.1");
    COrderInfo order;
    EXPECT_EQ(order.FillFromPdbRecords(pdb.m_RecordSet), "");
    EXPECT_EQ(order.GetCreateDateStr(), "2001-05-03T13:02:00");
}

TEST(Catalogc, ReplacesAnExistingFileWhole)
{
    const std::string output = TestDir() + "replace.pdb";
    WriteTempFile("replace.pdb", std::string(100000, 'x'));
    const CatalogcRun run = Catalogc(kSamples + "user.json", output);
    ASSERT_EQ(run.status, 0) << run.errors;
    CPdbFile pdb;
    ASSERT_TRUE(pdb.ReadPdbFile(output.c_str()));
    EXPECT_EQ(pdb.m_Name, "USERCTX");
    EXPECT_LT(fs::file_size(output), 1000u);
    for (const auto& entry : fs::directory_iterator(TestDir()))
        EXPECT_EQ(entry.path().string().find("replace.pdb."), std::string::npos) << entry.path();
}

} // namespace

namespace {

TEST(Catalogc, DefaultOutputNameStaysInTheCurrentFolder)
{
    const std::string work = TestDir() + "names/in/here";
    fs::create_directories(work);
    const struct {
        std::string name, file;
    } cases[] = {
        {"../../escaped", "%2E.%2F..%2Fescaped.pdb"},
        {"/abs", "%2Fabs.pdb"},
        {".hidden", "%2Ehidden.pdb"},
        {"100%", "100%25.pdb"},
        {"Plain name", "Plain name.pdb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input =
            WriteTempFile("named.json", R"({"kind": "user", "name": ")" + c.name + R"(", "user": {"userId": "u"}})");
        const RunResult r = RunCommand("cd '" + work + "' && '" + kCatalogc + "' '" + input + "'");
        ASSERT_EQ(r.code, 0) << r.output;
        EXPECT_EQ(r.output, c.file + ": 1 records\n");
        CPdbFile pdb;
        ASSERT_TRUE(pdb.ReadPdbFile((work + "/" + c.file).c_str()));
        EXPECT_EQ(pdb.m_Name, c.name);
    }
    EXPECT_FALSE(fs::exists(TestDir() + "names/escaped.pdb"));
    EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), 5);
}

TEST(Catalogc, RemovesOnlyStaleTemporariesOfItsOutput)
{
    const std::string dir = TestDir() + "stale";
    fs::create_directories(dir);
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(2);
    const struct {
        std::string name;
        bool old, kept;
    } cases[] = {
        {".out.pdb.tmp.AbC123", true, false},  // a killed run's
        {".out.pdb.tmp.XyZ789", false, true},  // perhaps a run writing now
        {".other.pdb.tmp.AbC123", true, true}, // another output's
        {"out.pdb.tmp.AbC123", true, true},    // not a temporary name
        {".out.pdb.tmp.AbC12", true, true},
    };
    for (const auto& c : cases) {
        const std::string path = WriteTempFile("stale/" + c.name, "half a database");
        if (c.old) fs::last_write_time(path, old);
    }
    const CatalogcRun run = Catalogc(kSamples + "user.json", dir + "/out.pdb");
    ASSERT_EQ(run.status, 0) << run.errors;
    for (const auto& c : cases) EXPECT_EQ(fs::exists(dir + "/" + c.name), c.kept) << c.name;
    EXPECT_TRUE(fs::exists(dir + "/out.pdb"));
}

} // namespace
