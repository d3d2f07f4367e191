#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/TestFiles.h"
#include "RecordsTestUtil.h"
#include "quillio/PdbRecordSet.h"
#include "records/AppInfo.h"
#include "records/CategoryRecord.h"
#include "records/DeliveryRecord.h"
#include "records/DeliveryZoneRecord.h"
#include "records/ImageRecord.h"
#include "records/ImageRecords.h"
#include "records/ItemRecord.h"
#include "records/ItemRecords.h"
#include "records/PalmBitmap.h"

namespace {

using Bytes = std::vector<BYTE>;

TEST(AppInfo, FreshBlockIsZerosWithFormatVersion)
{
    CAppInfo info;
    auto rec = info.CreatePdbRec();
    ASSERT_TRUE(rec);
    Bytes expected(269, 0);
    expected[259] = '2';
    expected[260] = '.';
    expected[261] = '0';
    expected[262] = '1';
    EXPECT_EQ(BytesOf(*rec), expected);

    info.SetFormatNum(2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(info.CreatePdbRec()->Buffer()) + 259), "2.3");
    info.SetFormatNum(1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(info.CreatePdbRec()->Buffer()) + 259), "2.1");
    info.SetFormatNum(0);
    info.AddDisplayInfo(13); // a game channel
    EXPECT_EQ(std::string(reinterpret_cast<char*>(info.CreatePdbRec()->Buffer()) + 259), "2.1");
}

TEST(AppInfo, LayoutOfEveryFieldAndReadBack)
{
    CAppInfo info;
    EXPECT_EQ(info.SetTitle("Title"), "");
    EXPECT_EQ(info.SetSubTitle("Sub"), "");
    EXPECT_EQ(info.SetEditTitle("Edit"), "");
    EXPECT_EQ(info.SetCatalogTitle(std::string(32, 'C')), "");
    EXPECT_EQ(info.SetSumTitle("Total"), "");
    EXPECT_EQ(info.SetListOrCatalogName("C7abc"), "");
    EXPECT_EQ(info.AddColumn("Qty", 0x21, 0), "");
    EXPECT_EQ(info.AddColumn("Price", 0x42, 7), "");
    EXPECT_EQ(info.AddDisplayInfo(12), "");
    EXPECT_EQ(info.AddDisplayInfo(0), "");

    Bytes expected;
    auto fixed = [&](const std::string& s, std::size_t n) {
        Bytes f(n, 0);
        std::copy(s.begin(), s.begin() + std::min(s.size(), n - 1), f.begin());
        expected.insert(expected.end(), f.begin(), f.end());
    };
    fixed("Title", 32);
    fixed("Sub", 32);
    fixed("Edit", 32);
    fixed(std::string(31, 'C'), 32);
    fixed("Total", 8);
    Put16(expected, 0x1001);
    expected.push_back(0x81);
    fixed("Qty", 10);
    for (int i = 1; i < 7; ++i) fixed("", 10);
    fixed("Price", 10);
    expected.insert(expected.end(), {0x21, 0, 0, 0, 0, 0, 0, 0x42});
    fixed("C7abc", 32);
    fixed("2.01", 10);
    auto rec = info.CreatePdbRec();
    EXPECT_EQ(BytesOf(*rec), expected);

    CAppInfo back;
    CPdbRecord record = RecordOf(*rec);
    back.FillFromPdbRecord(&record);
    EXPECT_EQ(back.GetTitle(), "Title");
    EXPECT_EQ(back.GetSubTitle(), "Sub");
    EXPECT_EQ(back.GetEditTitle(), "Edit");
    EXPECT_EQ(back.GetCatalogTitle(), std::string(31, 'C')); // a 32-byte field keeps 31
    EXPECT_EQ(back.GetSumTitle(), "Total");
    EXPECT_EQ(back.GetListOrCatalogName(), "C7abc");
    EXPECT_EQ(back.GetColumnMask(), 0x81);
    EXPECT_EQ(back.GetColumnLabel(7), "Price");
    EXPECT_EQ(back.GetColumnAttribute(0), 0x21);
    EXPECT_EQ(back.GetDisplayInfo(), 0x1001);
    EXPECT_EQ(back.GetChannelType(), ChannelList);

    // A short block reads as what it holds.
    CPdbRecord shortRecord(rec->Buffer(), 40);
    CAppInfo partial;
    partial.FillFromPdbRecord(&shortRecord);
    EXPECT_EQ(partial.GetTitle(), "Title");
    EXPECT_EQ(partial.GetListOrCatalogName(), "");
}

TEST(AppInfo, RefusalsLeaveFieldsUnchanged)
{
    CAppInfo info;
    info.SetTitle("keep");
    EXPECT_EQ(info.SetTitle(std::string(33, 't')), "AppInfo::SetTitle - string too long");
    EXPECT_EQ(info.GetTitle(), "keep");
    EXPECT_EQ(info.SetSubTitle(std::string(33, 't')), "AppInfo::SetSubTitle - string too long");
    EXPECT_EQ(info.SetEditTitle(std::string(33, 't')), "AppInfo::SetEditTitle - string too long");
    EXPECT_EQ(info.SetCatalogTitle(std::string(33, 't')), "AppInfo::SetCatalogTitle - string too long");
    EXPECT_EQ(info.SetSumTitle(std::string(9, 't')), "AppInfo::SetSumTitle - string too long");
    EXPECT_EQ(info.SetSumTitle(std::string(8, 't')), "");
    EXPECT_EQ(info.SetListOrCatalogName(std::string(33, 't')), "AppInfo::SetListOrCatalogName - string too long");
    EXPECT_EQ(info.AddColumn(std::string(11, 'l'), 1, 8), "AppInfo::AddColumn - index out of bounds");
    EXPECT_EQ(info.AddColumn("l", 1, -1), "AppInfo::AddColumn - index out of bounds");
    EXPECT_EQ(info.AddColumn(std::string(11, 'l'), 1, 3), "AppInfo::AddColumn - label string too long");
    EXPECT_EQ(info.GetColumnMask(), 0);
    EXPECT_EQ(info.AddDisplayInfo(16), "AppInfo::AddDisplayInfo - index out of bounds");
    EXPECT_EQ(info.AddDisplayInfo(-1), "AppInfo::AddDisplayInfo - index out of bounds");
    EXPECT_FALSE(info.HasDisplayInfo(16));
}

TEST(AppInfo, ChannelTypeFromBits12And13)
{
    CAppInfo info;
    EXPECT_EQ(info.GetChannelType(), ChannelCatalog);
    info.AddDisplayInfo(13);
    EXPECT_EQ(info.GetChannelType(), ChannelGame);
    info.AddDisplayInfo(12);
    EXPECT_EQ(info.GetChannelType(), ChannelOther);
    EXPECT_TRUE(info.HasDisplayInfo(12));
}

TEST(ItemRecord, LayoutAndReadBack)
{
    CItemRecord item;
    item.SetCategory("3");
    item.SetQuantity("2 boxes");
    item.SetPrice("12,50");
    item.SetNeed(true);
    item.SetValidityBegin("02/01/1904", "FR");
    item.SetValidityEnd("not a date", "FR");
    item.SetReference("R1");
    item.SetName("Tea");
    item.SetFunction("F");
    item.SetOldPrice("13,00");
    item.SetOptionDes("O");
    item.SetPackaging("P");
    EXPECT_EQ(item.SetDescription("Desc"), "");
    item.SetImageName("img");

    Bytes expected;
    Put16(expected, 3);
    Put16(expected, 2);
    Put32(expected, 1250);
    Put32(expected, 86400);
    Put32(expected, 0);
    expected.push_back(1);
    for (const char* s : {"R1", "Tea", "F", "13,00", "O", "P", "Desc", "img"}) Append(expected, s);
    auto rec = item.CreatePdbRec();
    ASSERT_TRUE(rec);
    EXPECT_EQ(BytesOf(*rec), expected);

    CPdbRecord record = RecordOf(*rec);
    CItemRecord back(&record);
    EXPECT_EQ(back.GetCategory(), 3);
    EXPECT_EQ(back.GetQuantityStr(), "2");
    EXPECT_EQ(back.GetPriceStr(), "12.50");
    EXPECT_TRUE(back.GetNeedBool());
    EXPECT_EQ(back.GetValidityBegin(), 86400u);
    EXPECT_EQ(back.GetReferenceStr(), "R1");
    EXPECT_EQ(back.GetNameStr(), "Tea");
    EXPECT_EQ(back.GetOldPrice(), "13,00");
    EXPECT_EQ(back.GetDescription(), "Desc");
    EXPECT_EQ(back.GetImageName(), ""); // not read
}

TEST(ItemRecord, LongDescriptionGivesWaySoTheImageNameFits)
{
    CItemRecord item;
    EXPECT_EQ(item.SetDescription(std::string(65536, 'd')), "CItemRecord::SetDescription - string too long");
    EXPECT_EQ(item.SetDescription(std::string(65535, 'd')), "");
    item.SetImageName("pic");
    auto rec = item.CreatePdbRec();
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->Size(), 65535);
    // 17 fixed bytes and six empty texts, then the cut description, two zeros and the name.
    const BYTE* b = rec->Buffer();
    EXPECT_EQ(b[23], 'd');
    EXPECT_EQ(b[65529], 0);
    EXPECT_EQ(b[65530], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 65531)), "pic");

    // At the edge: a description 4 bytes below the room left is written whole
    // (the record then fills 65,536 bytes); one more character and it is cut.
    EXPECT_EQ(item.SetDescription(std::string(65508, 'd')), "");
    rec = item.CreatePdbRec();
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->Size(), 65536);
    EXPECT_EQ(rec->Buffer()[65530], 'd');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec->Buffer() + 65532)), "pic");
    EXPECT_EQ(item.SetDescription(std::string(65509, 'd')), "");
    rec = item.CreatePdbRec();
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->Size(), 65535);
    EXPECT_EQ(rec->Buffer()[65528], 'd');
    EXPECT_EQ(rec->Buffer()[65529], 0);

    // Other texts too long for the record: refused with the record's text.
    CItemRecord huge;
    huge.SetName(std::string(40000, 'n'));
    huge.SetFunction(std::string(40000, 'f'));
    auto pdb = std::make_unique<CPdbPackedRecord>();
    EXPECT_EQ(huge.FillPdbPackedRecord(*pdb), "CItemRecord::FillPdbPackedRecord - record too large");
    std::string error;
    EXPECT_EQ(huge.CreatePdbRec(&error), nullptr);
    EXPECT_EQ(error, "CItemRecord::CreatePdbRec - record too large");
}

TEST(ItemRecords, PicksCategoryOneAndFindsByReference)
{
    CPdbRecordSet set;
    for (auto [ref, category] : {std::pair{"A", 1}, {"B", 2}, {"C", 0x41}, {"a", 1}}) {
        CItemRecord item;
        item.SetReference(ref);
        auto rec = item.CreatePdbRec();
        set.AddRecord(std::make_unique<CPdbRecord>(rec->Buffer(), rec->Size()), BYTE(category));
    }
    CItemRecords items;
    items.FillFromPdbRecords(set);
    ASSERT_EQ(items.GetCount(), 3u);
    EXPECT_EQ(items.GetAt(1)->GetReferenceStr(), "C");
    EXPECT_EQ(items.FindItemRecordByRef("a"), items.GetAt(2));
    EXPECT_EQ(items.FindItemRecordByRef("B"), nullptr);
}

TEST(CategoryRecord, Layout)
{
    CCategoryRecord category;
    category.SetCategory("12");
    category.SetSuperCategory("x");
    category.SetName(std::string(40, 'n'));
    Bytes expected;
    Put16(expected, 12);
    Put16(expected, 0);
    expected.insert(expected.end(), 31, 'n');
    expected.push_back(0);
    EXPECT_EQ(BytesOf(*category.CreatePdbRec()), expected);
}

TEST(DeliveryRecord, ElementsSortedByThresholdAfterTheirCount)
{
    CDeliveryRecord delivery;
    EXPECT_EQ(delivery.AddDeliveryChargesElem("50", "1"), "");
    EXPECT_EQ(delivery.AddDeliveryChargesElem("10", "2"), "");
    EXPECT_EQ(delivery.AddDeliveryChargesElem("30", "3"), "");
    EXPECT_EQ(delivery.AddDeliveryChargesElem("30", "4"), "");
    delivery.SetZoneName("Z");
    delivery.SetFaxNumber("F");
    delivery.SetEmail("e@x");
    EXPECT_EQ(delivery.CreatePdbRec()->Size(), 0); // no currency yet
    delivery.SetCurrency("EUR");

    Bytes expected;
    Put16(expected, 8);
    for (auto [t, c] : {std::pair{1000, 200}, {3000, 300}, {3000, 400}, {5000, 100}}) {
        Put32(expected, unsigned(t));
        Put32(expected, unsigned(c));
    }
    for (const char* s : {"Z", "EUR", "e@x", "F"}) Append(expected, s);
    EXPECT_EQ(BytesOf(*delivery.CreatePdbRec()), expected);
}

TEST(DeliveryRecord, TwentyFirstElementIsRefused)
{
    CDeliveryRecord delivery;
    for (int i = 0; i < 20; ++i) EXPECT_EQ(delivery.AddDeliveryChargesElem(std::to_string(20 - i), "1"), "");
    EXPECT_EQ(delivery.AddDeliveryChargesElem("0", "1"), "CDeliveryRecord::AddDeliveryChargesElem - too many elements");
    EXPECT_EQ(delivery.GetCount(), 20);
    EXPECT_EQ(delivery.GetThreshold(0), 100u);
    EXPECT_EQ(delivery.GetThreshold(19), 2000u);

    delivery.SetCurrency("EUR");
    delivery.SetEmail(std::string(70000, 'e'));
    auto pdb = std::make_unique<CPdbPackedRecord>();
    EXPECT_EQ(delivery.FillPdbPackedRecord(*pdb), "CDeliveryRecord::FillPdbPackedRecord - record too large");
}

TEST(DeliveryZoneRecord, RefusalsAndLayout)
{
    CDeliveryZoneRecord zone;
    EXPECT_EQ(zone.SetZoneName(""), "CDeliveryZoneRecord::SetZoneName - empty string");
    EXPECT_EQ(zone.SetZoneName("North"), "");
    EXPECT_EQ(zone.CreatePdbRec()->Size(), 0); // no address id
    EXPECT_EQ(zone.SetAddressId("7"), "");
    EXPECT_EQ(zone.SetAddressId("abc"), "CDeliveryZoneRecord::SetAddressId - invalid ID");
    EXPECT_EQ(zone.GetAddressId(), 0);
    EXPECT_EQ(zone.SetAddressId("0x"), "CDeliveryZoneRecord::SetAddressId - invalid ID");
    EXPECT_EQ(zone.SetAddressId("258"), "");
    Bytes expected{0x01, 0x02};
    Append(expected, "North");
    EXPECT_EQ(BytesOf(*zone.CreatePdbRec()), expected);
}

TEST(ImageRecord, RawFilesPbmFilesAndNoFile)
{
    CImageRecord image;
    image.SetImageName("logo");
    Bytes expected;
    Append(expected, "logo");
    expected.push_back(0);
    EXPECT_EQ(BytesOf(*image.CreatePdbRec()), expected); // no file name

    Bytes raw;
    Append(raw, "logo");
    raw.insert(raw.end(), {1, 2, 3, 0});
    image.SetImageFileName(WriteTempFile("rawdata", std::string("\x01\x02\x03", 3)));
    EXPECT_EQ(BytesOf(*image.CreatePdbRec()), raw);
    // A name whose only dot comes first is no extension: raw bytes too.
    {
        std::ofstream(".pbm", std::ios::binary) << std::string("\x01\x02\x03", 3);
        image.SetImageFileName(".pbm");
        EXPECT_EQ(BytesOf(*image.CreatePdbRec()), raw);
        std::remove(".pbm");
    }
    // A file that cannot be read adds nothing.
    image.SetImageFileName(TestDir() + "missing.bin");
    EXPECT_EQ(BytesOf(*image.CreatePdbRec()), expected);

    const std::string trace = CImageRecord::TraceFilePath();
    const std::size_t before = ReadAll(trace).size();
    image.SetImageFileName(WriteTempFile("dot.PBM", "P1\n1 1\n1\n"));
    Bytes bitmap;
    Append(bitmap, "logo");
    bitmap.insert(bitmap.end(), {0, 1, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0});
    EXPECT_EQ(BytesOf(*image.CreatePdbRec()), bitmap);
    const std::string added = ReadAll(trace).substr(before);
    EXPECT_NE(added.find(" CImageRecord::FillPdbPackedRecord : We never have to pass here\n"), std::string::npos)
        << added;
    EXPECT_EQ(added[4], '-');
    EXPECT_EQ(added[19], ' ');

    CImageRecords images;
    images.Add(std::make_unique<CImageRecord>(image));
    EXPECT_TRUE(images.ContainsImage("logo"));
    EXPECT_FALSE(images.ContainsImage("Logo"));
}

#ifndef _WIN32
// The image trace is its user's alone: in the private state folder (made so
// when it was open to others), created 0600 whatever the umask, and a link
// put in its place is not followed.
TEST(ImageRecord, TheImageTraceIsWrittenPrivatelyAndNeverThroughALink)
{
    const std::string state = TestDir() + "state";
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string before = saved ? saved : "";
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    const std::string trace = CImageRecord::TraceFilePath();
    EXPECT_EQ(trace, state + "/norvelia/traque.txt");
    auto mode = [](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
    };
    CImageRecord image;
    image.SetImageName("logo");
    image.SetImageFileName(WriteTempFile("trace.pbm", "P1\n1 1\n1\n"));
    const mode_t mask = ::umask(0);
    std::filesystem::create_directories(state + "/norvelia");
    ::chmod((state + "/norvelia").c_str(), 0755);
    image.CreatePdbRec();
    EXPECT_EQ(mode(state + "/norvelia"), 0700u);
    EXPECT_EQ(mode(trace), 0600u);
    EXPECT_NE(ReadAll(trace).find("We never have to pass here"), std::string::npos);

    const std::string elsewhere = WriteTempFile("elsewhere", "untouched");
    std::filesystem::remove(trace);
    std::filesystem::create_symlink(elsewhere, trace);
    image.CreatePdbRec();
    ::umask(mask);
    EXPECT_EQ(ReadAll(elsewhere), "untouched");
    if (saved) ::setenv("XDG_STATE_HOME", before.c_str(), 1);
    else ::unsetenv("XDG_STATE_HOME");
}
#endif

TEST(ImageRecord, TooLargeImagesAreReported)
{
    CImageRecord image;
    image.SetImageName("big");
    image.SetImageFileName(WriteTempFile("big.bin", std::string(65533, 'b')));
    auto pdb = std::make_unique<CPdbPackedRecord>();
    EXPECT_EQ(image.FillPdbPackedRecord(*pdb), "CImageRecord::FillPdbPackedRecord - record too large");
    image.SetImageFileName(WriteTempFile("big.pbm", "P1\n2000 2000\n"));
    EXPECT_EQ(image.FillPdbPackedRecord(*pdb), "CImageRecord::FillPdbPackedRecord - record too large");
    image.SetImageFileName(WriteTempFile("fits.pbm", "P1\n16 32760\n")); // the bitmap alone fills 65,536
    EXPECT_EQ(image.FillPdbPackedRecord(*pdb), "CImageRecord::FillPdbPackedRecord - record too large");
    image.SetImageName("");
    image.SetImageFileName(WriteTempFile("fits2.pbm", "P1\n16 32759\n"));
    EXPECT_EQ(image.FillPdbPackedRecord(*pdb), "");
    EXPECT_EQ(pdb->Size(), 65536);
}

// What the desktop's views read back of a catalog: categories, pictures and
// each item's image name, as the writers lay them out.
TEST(CatalogReadBack, CategoriesPicturesAndImageNames)
{
    CCategoryRecord category;
    category.SetCategory("5");
    category.SetSuperCategory("2");
    category.SetName(std::string("Th\xe9 ") + std::string(40, 'x'));
    CPdbRecord record = RecordOf(*category.CreatePdbRec());
    CCategoryRecord readCategory;
    readCategory.FillFromPdbRecord(&record);
    EXPECT_EQ(readCategory.GetCategory(), 5);
    EXPECT_EQ(readCategory.GetSuperCategory(), 2);
    EXPECT_EQ(readCategory.GetName(), std::string("Th\xe9 ") + std::string(27, 'x'));

    CImageRecord image;
    image.SetImageName("logo");
    image.SetImageFileName(WriteTempFile("logo.pbm", "P1\n2 1\n0 1\n"));
    record = RecordOf(*image.CreatePdbRec());
    CImageRecord readImage;
    readImage.FillFromPdbRecord(&record);
    EXPECT_EQ(readImage.GetImageName(), "logo");
    CPalmBitmap bitmap;
    ASSERT_TRUE(bitmap.FillFromBytes(readImage.GetImageData()));
    EXPECT_FALSE(bitmap.IsBlack(0, 0));
    EXPECT_TRUE(bitmap.IsBlack(1, 0));
    // Raw bytes come back as they were, zero bytes included.
    image.SetImageFileName(WriteTempFile("banner.gif", std::string("GIF89a\0\x01", 8)));
    record = RecordOf(*image.CreatePdbRec());
    readImage.FillFromPdbRecord(&record);
    EXPECT_EQ(readImage.GetImageData(), (Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 1}));
    EXPECT_FALSE(bitmap.FillFromBytes(readImage.GetImageData()));
    const BYTE nameOnly[] = {'x', 0};
    record = CPdbRecord(nameOnly, 2);
    readImage.FillFromPdbRecord(&record);
    EXPECT_EQ(readImage.GetImageName(), "x");
    EXPECT_TRUE(readImage.GetImageData().empty());

    const struct {
        std::string description, imageName;
        long cutTo; // bytes kept of the record, 0 for all
        std::string read;
    } items[] = {
        {"Desc", "img", 0, "img"},
        {"Desc", "", 0, ""},
        {"", "pic", 0, "pic"},
        {std::string(65535, 'd'), "pic", 0, "pic"}, // the description cut, then an extra zero
        {std::string(65535, 'd'), "", 0, ""},
        {"Desc", "img", -1, ""},                  // the name's zero byte lost
        {"Desc", "img", 20, ""},                  // cut inside the texts
    };
    for (const auto& c : items) {
        CItemRecord item;
        item.SetReference("R");
        ASSERT_EQ(item.SetDescription(c.description), "");
        item.SetImageName(c.imageName);
        auto packed = item.CreatePdbRec();
        ASSERT_TRUE(packed);
        const long size = c.cutTo == 0 ? packed->Size() : c.cutTo < 0 ? packed->Size() + c.cutTo : c.cutTo;
        record = CPdbRecord(packed->Buffer(), size);
        CItemRecord read(&record);
        read.FillImageNameFromPdbRecord(&record);
        EXPECT_EQ(read.GetImageName(), c.read) << c.description.size() << " " << c.imageName << " " << size;
    }
}

} // namespace
