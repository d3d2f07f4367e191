#include <gtest/gtest.h>

#include "RecordsTestUtil.h"
#include "quillio/PdbRecordSet.h"
#include "records/AddressRecord.h"
#include "records/AddressRecords.h"
#include "records/ItemRefRecord.h"
#include "records/ItemRefRecords.h"
#include "records/OrderInfo.h"
#include "records/UserIdRecord.h"

namespace {

using Bytes = std::vector<BYTE>;

template <class Record>
void AddTo(CPdbRecordSet& set, const Record& r, BYTE category)
{
    auto rec = r.CreatePdbRec();
    set.AddRecord(std::make_unique<CPdbRecord>(rec->Buffer(), rec->Size()), category);
}

TEST(ItemRefRecord, SixteenBytesAndBack)
{
    CItemRefRecord ref;
    ref.SetQuantity("3");
    ref.SetPrice("12.50");
    ref.SetNeed(true);
    EXPECT_EQ(ref.SetReference("A1"), "");
    ref.SetName("B");
    auto rec = ref.CreatePdbRec();
    EXPECT_EQ(BytesOf(*rec), (Bytes{0x00, 0x03, 0, 0, 0, 0, 0x00, 0x00, 0x04, 0xE2, 0x01, 'A', '1', 0, 'B', 0}));

    CPdbRecord record = RecordOf(*rec);
    record.m_Data[3] = 0x77; // the reserved bytes are skipped
    CItemRefRecord back(&record);
    EXPECT_EQ(back.GetQuantityStr(), "3");
    EXPECT_EQ(back.GetPriceStr(), "12.50");
    EXPECT_TRUE(back.GetNeedBool());
    EXPECT_EQ(back.GetReferenceStr(), "A1");
    EXPECT_EQ(back.GetNameStr(), "B");
    EXPECT_EQ(BytesOf(*back.CreatePdbRec()), BytesOf(*rec));
}

TEST(ItemRefRecord, ReferenceLimitAndPriceText)
{
    CItemRefRecord ref;
    EXPECT_EQ(ref.SetReference(std::string(16, 'r')), "");
    EXPECT_EQ(ref.SetReference("ABCDEFGHIJKLMNOPQ"), "CItemRefRecord::SetReference - string too long : ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(ref.GetReferenceStr(), std::string(16, 'r'));
    ref.SetPrice("0,05");
    EXPECT_EQ(ref.GetPriceStr(), "0.05");
    ref.SetQuantity("none");
    EXPECT_EQ(ref.GetQuantityStr(), "0");

    ref.SetName(std::string(70000, 'n'));
    std::string error;
    EXPECT_EQ(ref.CreatePdbRec(&error), nullptr);
    EXPECT_EQ(error, "CItemRefRecord::CreatePdbRec - record too large");

    // A truncated record reads as zeros and empty texts.
    CPdbRecord shortRecord(std::vector<BYTE>{0x00, 0x09, 0}.data(), 3);
    CItemRefRecord partial(&shortRecord);
    EXPECT_EQ(partial.GetQuantityStr(), "9");
    EXPECT_EQ(partial.GetPriceStr(), "0.00");
    EXPECT_EQ(partial.GetReferenceStr(), "");
}

TEST(ItemRefRecords, TakesCategoryEightInOrder)
{
    CPdbRecordSet set;
    for (auto [ref, category] : {std::pair{"X", 8}, {"O", 5}, {"Y", 0x48}, {"Z", 9}}) {
        CItemRefRecord r;
        r.SetReference(ref);
        AddTo(set, r, BYTE(category));
    }
    CItemRefRecords refs;
    EXPECT_EQ(refs.FillFromPdbRecords(set), "");
    ASSERT_EQ(refs.GetCount(), 2u);
    EXPECT_EQ(refs.GetAt(0)->GetReferenceStr(), "X");
    EXPECT_EQ(refs.GetAt(1)->GetReferenceStr(), "Y");
}

TEST(OrderInfo, LayoutAndReaderStopsBeforeTheErrorMessage)
{
    COrderInfo order;
    EXPECT_TRUE(order.SetCreationDate("02/01/1904", "FR"));
    EXPECT_TRUE(order.SetOrderingDate("1904-01-01T00:00:10", "W3C"));
    EXPECT_TRUE(order.SetProcessDate("nonsense", "US"));
    order.SetDeliveryCharges("4,90");
    order.SetDeliveryAddressId("42");
    const char* texts[] = {"M1", "C7", "home", "Ann", "1 Rd", "Flat 2", "75001", "Paris", "IDF", "FR", "ring", "err"};
    order.SetMemberId(texts[0]);
    order.SetChannelId(texts[1]);
    order.SetDeliveryAlias(texts[2]);
    order.SetDeliveryName(texts[3]);
    order.SetDeliveryAddress1(texts[4]);
    order.SetDeliveryAddress2(texts[5]);
    order.SetDeliveryZip(texts[6]);
    order.SetDeliveryCity(texts[7]);
    order.SetDeliveryState(texts[8]);
    order.SetDeliveryCountry(texts[9]);
    order.SetFreeComment(texts[10]);
    order.SetErrorMessage(texts[11]);

    Bytes expected;
    for (unsigned v : {86400u, 10u, 0u, 490u, 42u}) Put32(expected, v);
    for (const char* t : texts) Append(expected, t);
    auto rec = order.CreatePdbRec();
    EXPECT_EQ(BytesOf(*rec), expected);

    COrderInfo back;
    back.SetErrorMessage("kept");
    CPdbRecord record = RecordOf(*rec);
    back.FillFromPdbRecord(&record);
    EXPECT_EQ(back.GetCreateDateDWord(), 86400u);
    EXPECT_EQ(back.GetCreateDateStr(), "1904-01-02T00:00:00");
    EXPECT_DOUBLE_EQ(back.GetCreateDateOle(), 1463.0);
    EXPECT_EQ(back.GetProcessDateDWord(), 0u);
    EXPECT_DOUBLE_EQ(back.GetProcessDateOle(), 0.0);
    EXPECT_EQ(back.GetDeliveryChargesStr(), "4.90");
    EXPECT_EQ(back.GetDeliveryAddressIdStr(), "42");
    EXPECT_EQ(back.GetMemberIdStr(), "M1");
    EXPECT_EQ(back.GetChannelIdStr(), "C7");
    EXPECT_EQ(back.GetDeliveryAliasStr(), "home");
    EXPECT_EQ(back.GetNameStr(), "Ann");
    EXPECT_EQ(back.GetAddress2Str(), "Flat 2");
    EXPECT_EQ(back.GetCityStr(), "Paris");
    EXPECT_EQ(back.GetCountryStr(), "FR");
    EXPECT_EQ(back.GetFreeCommentStr(), "ring");
    EXPECT_EQ(back.GetErrorMessage(), "kept");

    COrderInfo none;
    EXPECT_EQ(none.GetDeliveryAddressIdStr(), "");

    // The desktop's views read the error message on its own.
    back.FillErrorMessageFromPdbRecord(&record);
    EXPECT_EQ(back.GetErrorMessage(), "err");
    EXPECT_EQ(back.GetFreeCommentStr(), "ring");
    record = CPdbRecord(rec->Buffer(), rec->Size() - 4); // written before there was one
    back.FillErrorMessageFromPdbRecord(&record);
    EXPECT_EQ(back.GetErrorMessage(), "");
}

TEST(OrderInfo, FillFromPdbRecordsUsesTheFirstCategoryFive)
{
    CPdbRecordSet set;
    COrderInfo first, second;
    first.SetMemberId("first");
    second.SetMemberId("second");
    COrderInfo order;
    order.SetMemberId("unchanged");
    EXPECT_EQ(order.FillFromPdbRecords(set), "No Order Information found");
    EXPECT_EQ(order.GetMemberIdStr(), "unchanged");
    AddTo(set, CItemRefRecord(), 8);
    AddTo(set, first, 0x45);
    AddTo(set, second, 5);
    EXPECT_EQ(order.FillFromPdbRecords(set), "");
    EXPECT_EQ(order.GetMemberIdStr(), "first");
}

TEST(AddressRecord, LayoutRequiredFieldsAndAlias)
{
    CAddressRecord address;
    address.SetId("513");
    address.SetAlias("ABCDEFGHIJKLMNOPQR");
    address.SetName("Ann");
    address.SetAddress1("1 Rd");
    address.SetZip("75001");
    address.SetCountry("FR");
    EXPECT_EQ(address.CreatePdbRec()->Size(), 0); // no city
    address.SetCity("Paris");

    Bytes expected;
    Append(expected, "ABCDEFGHIJKLMNO"); // 15 characters and a zero
    Put32(expected, 513);
    for (const char* t : {"Ann", "1 Rd", "", "75001", "Paris", "", "FR"}) Append(expected, t);
    auto rec = address.CreatePdbRec();
    EXPECT_EQ(BytesOf(*rec), expected);

    CAddressRecord back;
    CPdbRecord record = RecordOf(*rec);
    back.FillFromPdbRecord(&record);
    EXPECT_EQ(back.GetAlias(), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(back.GetId(), "513");
    EXPECT_EQ(back.GetName(), "Ann");
    EXPECT_EQ(back.GetAddress1(), "1 Rd");
    EXPECT_EQ(back.GetZip(), "75001");
    EXPECT_EQ(back.GetCity(), "Paris");
    EXPECT_EQ(back.GetCountry(), "FR");

    for (auto clear : {&CAddressRecord::SetAlias, &CAddressRecord::SetName, &CAddressRecord::SetAddress1}) {
        CAddressRecord missing = address;
        (missing.*clear)("");
        EXPECT_EQ(missing.CreatePdbRec()->Size(), 0);
    }
}

TEST(AddressRecords, TakesCategorySixAndFindsByAlias)
{
    CPdbRecordSet set;
    for (auto [alias, category] : {std::pair{"home", 6}, {"work", 9}, {"Home", 6}}) {
        CAddressRecord a;
        a.SetAlias(alias);
        a.SetName("n");
        a.SetAddress1("a");
        a.SetCity("c");
        AddTo(set, a, BYTE(category));
    }
    CAddressRecords addresses;
    addresses.FillFromPdbRecords(set);
    ASSERT_EQ(addresses.GetCount(), 2u);
    EXPECT_EQ(addresses.FindAddressByAlias("Home"), addresses.GetAt(1));
    EXPECT_EQ(addresses.FindAddressByAlias("work"), nullptr);
}

TEST(UserIdRecord, LayoutAndBack)
{
    CUserIdRecord user;
    user.SetUserId("u42");
    user.SetPassword("s3cret");
    Bytes expected;
    Append(expected, "u42");
    Append(expected, "s3cret");
    auto rec = user.CreatePdbRec();
    EXPECT_EQ(BytesOf(*rec), expected);
    CUserIdRecord back;
    CPdbRecord record = RecordOf(*rec);
    back.FillFromPdbRecord(&record);
    EXPECT_EQ(back.GetUserId(), "u42");
    EXPECT_EQ(back.GetPassword(), "s3cret");
}

} // namespace
