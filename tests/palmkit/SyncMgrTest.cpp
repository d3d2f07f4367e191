#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "PalmKitTestUtil.h"
#include "palmkit/Handheld.h"
#include "palmkit/HsLog.h"
#include "palmkit/HandheldLock.h"
#include "palmkit/SyncMgr.h"

using palmkit_test::AddRecord;
using palmkit_test::SaveDb;
using palmkit_test::TempDir;

namespace {

std::vector<BYTE> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

template <typename T>
T At(const void* block, std::size_t offset)
{
    T v;
    std::memcpy(&v, static_cast<const BYTE*>(block) + offset, sizeof v);
    return v;
}

class SyncMgrTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CPdbFile list("Shopping-L", "KESA", "LIST", 0x0008, 1, 100, 200);
        list.m_ModificationNumber = 7;
        const std::string app = "APPINFO";
        list.m_AppInfo.assign(app.begin(), app.end());
        AddRecord(list, 5, 10, "order");
        AddRecord(list, 8, 11, "item-a");
        AddRecord(list, 8 | eRecSecret, 12, "item-secret");
        AddRecord(list, 8 | eRecDeleted, 13, "item-deleted");
        AddRecord(list, 8, 14, "item-b");
        AddRecord(list, 5, 15, "order-2");
        SaveDb(m_Dir.Path(), list);

        CPdbFile cat("CatalogABC", "KESA", "CATA", 0, 1, 100, 300);
        AddRecord(cat, 1, 1, "product");
        SaveDb(m_Dir.Path(), cat);

        CPdbFile prc("Norvelia", "KESA", "appl", CPdbFile::kAttrResource, 1, 100, 400);
        SaveDb(m_Dir.Path(), prc);

        ASSERT_EQ(palmkit::Attach(m_Dir.Path(), m_User.Path(), "Alice"), palmkit::AttachResult::Ok);
    }
    void TearDown() override { palmkit::Detach(); }

    BYTE Open(const char* name, BYTE mode)
    {
        BYTE h = 0;
        EXPECT_EQ(SyncOpenDB(name, 0, &h, mode), SYNCERR_NONE) << name;
        return h;
    }

    // Reads the next record of a category into `text`; the Sync Manager's result.
    long Next(BYTE h, short cat, std::string& text, DWORD* id = nullptr)
    {
        BYTE buf[256];
        CSyncRecord r;
        r.m_FileHandle = h;
        r.m_CatId = cat;
        r.m_pBytes = buf;
        r.m_TotalBytes = sizeof buf;
        long rc = SyncReadNextRecInCategory(&r);
        if (rc == SYNCERR_NONE) {
            text.assign(reinterpret_cast<char*>(buf), r.m_RecSize);
            if (id) *id = r.m_RecId;
            EXPECT_EQ(r.m_CatId, cat);
        }
        return rc;
    }

    long Write(BYTE h, DWORD& id, short cat, const std::string& data, BYTE attribs = 0)
    {
        CSyncRecord r;
        r.m_FileHandle = h;
        r.m_RecId = id;
        r.m_CatId = cat;
        r.m_Attribs = attribs;
        r.m_pBytes = reinterpret_cast<BYTE*>(const_cast<char*>(data.data()));
        r.m_RecSize = DWORD(data.size());
        long rc = SyncWriteRec(&r);
        if (rc == SYNCERR_NONE) id = r.m_RecId;
        return rc;
    }

    std::vector<std::string> Walk(BYTE h, short cat)
    {
        std::vector<std::string> out;
        std::string text;
        for (int guard = 0; guard < 100 && Next(h, cat, text) == SYNCERR_NONE; ++guard) out.push_back(text);
        return out;
    }

    TempDir m_Dir;
    TempDir m_User;
};

TEST_F(SyncMgrTest, CardInfoAndDatabaseListGiveTheFixedOffsets)
{
    CSyncCardInfo card{};
    card.m_CardNo = 0;
    ASSERT_EQ(SyncReadSingleCardInfo(&card), SYNCERR_NONE);
    EXPECT_EQ(At<WORD>(&card, 87), 3);
    card.m_CardNo = 1;
    EXPECT_EQ(SyncReadSingleCardInfo(&card), SYNCERR_NOT_FOUND);

    std::vector<CSyncDbListEntry> list(3);
    WORD count = 3;
    ASSERT_EQ(SyncReadDBList(0, 0, eDbListRam, list.data(), &count), SYNCERR_NONE);
    ASSERT_EQ(count, 3);
    // Ordered by name.
    EXPECT_STREQ(reinterpret_cast<const char*>(&list[0]) + 10, "CatalogABC");
    EXPECT_STREQ(list[1].m_Name, "Norvelia");
    EXPECT_STREQ(list[2].m_Name, "Shopping-L");
    const BYTE* e = reinterpret_cast<const BYTE*>(&list[2]);
    EXPECT_EQ(At<WORD>(e, 4), 0x0008);
    EXPECT_EQ(At<DWORD>(e, 6), FourCC("LIST"));
    EXPECT_EQ(At<DWORD>(e, 42), FourCC("KESA"));
    EXPECT_EQ(At<DWORD>(e, 48), 7u);
    EXPECT_EQ(At<WORD>(e, 52), 2);
    EXPECT_EQ(list[1].m_DbFlags & eDbResource, eDbResource);

    count = 5;
    ASSERT_EQ(SyncReadDBList(0, 1, eDbListRam, list.data(), &count), SYNCERR_NONE);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(+list[0].m_Index, 1);
    count = 1;
    EXPECT_EQ(SyncReadDBList(0, 3, eDbListRam, list.data(), &count), SYNCERR_NOT_FOUND);
    EXPECT_EQ(count, 0);
    count = 1;
    EXPECT_EQ(SyncReadDBList(0, 0, eDbListRom, list.data(), &count), SYNCERR_NOT_FOUND);
    count = 0;
    EXPECT_EQ(SyncReadDBList(0, 0, eDbListRam, nullptr, &count), SYNCERR_NONE);
    EXPECT_EQ(SyncReadDBList(0, 0, eDbListRam, list.data(), nullptr), SYNCERR_ARG_MISSING);
}

TEST_F(SyncMgrTest, OpenModesAndHandleErrors)
{
    BYTE h = 0;
    EXPECT_EQ(SyncOpenDB("Nothing", 0, &h, eDbRead), SYNCERR_NOT_FOUND);
    EXPECT_EQ(SyncOpenDB("Shopping-L", 1, &h, eDbRead), SYNCERR_NOT_FOUND);
    EXPECT_EQ(SyncOpenDB("Shopping-L", 0, &h, eDbShowSecret), SYNCERR_BAD_ARG);
    EXPECT_EQ(SyncOpenDB(nullptr, 0, &h, eDbRead), SYNCERR_ARG_MISSING);
    h = Open("Shopping-L", eDbRead);
    BYTE again = 0;
    EXPECT_EQ(SyncOpenDB("Shopping-L", 0, &again, eDbRead), SYNCERR_FILE_ALREADY_OPEN);

    // Read mode refuses every write.
    DWORD id = 0;
    EXPECT_EQ(Write(h, id, 8, "x"), SYNCERR_READ_ONLY);
    CSyncRecord del;
    del.m_FileHandle = h;
    del.m_RecId = 11;
    EXPECT_EQ(SyncDeleteRec(&del), SYNCERR_READ_ONLY);
    EXPECT_EQ(SyncWriteDBAppInfoBlock(h, reinterpret_cast<const BYTE*>("x"), 1), SYNCERR_READ_ONLY);
    EXPECT_EQ(SyncCloseDB(h), SYNCERR_NONE);
    EXPECT_EQ(SyncCloseDB(h), SYNCERR_FILE_NOT_OPEN);
    EXPECT_EQ(SyncResetRecordIndex(99), SYNCERR_FILE_NOT_OPEN);

    // Resource databases have no records to walk.
    h = Open("Norvelia", eDbRead);
    std::string text;
    EXPECT_EQ(Next(h, 0, text), SYNCERR_BAD_OPERATION);
    EXPECT_EQ(SyncCloseDB(h), SYNCERR_NONE);

    CONDHANDLE c = 0;
    ASSERT_EQ(SyncRegisterConduit(&c), SYNCERR_NONE);
    CONDHANDLE c2 = 0;
    EXPECT_EQ(SyncRegisterConduit(&c2), SYNCERR_BAD_OPERATION);
    EXPECT_EQ(SyncUnRegisterConduit(c + 1), SYNCERR_BAD_ARG);
    EXPECT_EQ(SyncUnRegisterConduit(c), SYNCERR_NONE);
    EXPECT_EQ(SyncUnRegisterConduit(c), SYNCERR_BAD_ARG);
}

TEST_F(SyncMgrTest, CategoryCursorsSecretAndDeletedRecords)
{
    BYTE plain = Open("Shopping-L", eDbRead);
    EXPECT_EQ(Walk(plain, 8), (std::vector<std::string>{"item-a", "item-b"}));
    // The walk ended; a reset starts it again, in another category.
    std::string text;
    EXPECT_EQ(Next(plain, 5, text), SYNCERR_NOT_FOUND);
    ASSERT_EQ(SyncResetRecordIndex(plain), SYNCERR_NONE);
    EXPECT_EQ(Walk(plain, 5), (std::vector<std::string>{"order", "order-2"}));
    ASSERT_EQ(SyncCloseDB(plain), SYNCERR_NONE);

    BYTE secret = Open("Shopping-L", eDbRead | eDbShowSecret);
    BYTE other = Open("CatalogABC", eDbRead);
    ASSERT_EQ(Next(secret, 8, text), SYNCERR_NONE);
    EXPECT_EQ(text, "item-a");
    // Each handle has its own cursor.
    ASSERT_EQ(Next(other, 1, text), SYNCERR_NONE);
    EXPECT_EQ(text, "product");
    ASSERT_EQ(Next(secret, 8, text), SYNCERR_NONE);
    EXPECT_EQ(text, "item-secret");

    // A buffer too small tells the size and keeps the cursor.
    BYTE small[2];
    CSyncRecord r;
    r.m_FileHandle = secret;
    r.m_CatId = 8;
    r.m_pBytes = small;
    r.m_TotalBytes = sizeof small;
    EXPECT_EQ(SyncReadNextRecInCategory(&r), SYNCERR_LOCAL_BUFF_TOO_SMALL);
    EXPECT_EQ(r.m_RecSize, 6u);
    r.m_CatId = 16;
    EXPECT_EQ(SyncReadNextRecInCategory(&r), SYNCERR_BAD_ARG);
    ASSERT_EQ(Next(secret, 8, text), SYNCERR_NONE);
    EXPECT_EQ(text, "item-b");
    EXPECT_EQ(Next(secret, 8, text), SYNCERR_NOT_FOUND);
    SyncCloseDB(secret);
    SyncCloseDB(other);
}

TEST_F(SyncMgrTest, WritesDeletesAndIdsAreWrittenBackOnClose)
{
    const std::string path = m_Dir.Path() + "/Shopping-L.pdb";
    BYTE h = Open("Shopping-L", eDbRead | eDbWrite);
    DWORD fresh = 0;
    ASSERT_EQ(Write(h, fresh, 8, "item-c"), SYNCERR_NONE);
    EXPECT_EQ(fresh, 16u); // past every id in use
    DWORD again = 0;
    ASSERT_EQ(Write(h, again, 9, "user"), SYNCERR_NONE);
    EXPECT_NE(again, fresh);
    DWORD replace = 11;
    ASSERT_EQ(Write(h, replace, 8, "item-a2"), SYNCERR_NONE);
    DWORD absent = 999;
    EXPECT_EQ(Write(h, absent, 8, "x"), SYNCERR_NOT_FOUND);
    // Secret records stay out of reach without the secret mode.
    DWORD hidden = 12;
    EXPECT_EQ(Write(h, hidden, 8, "x"), SYNCERR_NOT_FOUND);
    CSyncRecord del;
    del.m_FileHandle = h;
    del.m_RecId = 12;
    EXPECT_EQ(SyncDeleteRec(&del), SYNCERR_NOT_FOUND);
    del.m_RecId = 14;
    EXPECT_EQ(SyncDeleteRec(&del), SYNCERR_NONE);
    EXPECT_EQ(SyncDeleteRec(&del), SYNCERR_NOT_FOUND);
    // Nothing reaches the file before the close.
    CPdbFile before;
    ASSERT_TRUE(before.ReadPdbFile(path.c_str()));
    EXPECT_EQ(before.m_RecordSet.GetCount(), 6u);
    ASSERT_EQ(SyncCloseDB(h), SYNCERR_NONE);
    palmkit::WaitForWrites();

    CPdbFile after;
    ASSERT_TRUE(after.ReadPdbFile(path.c_str()));
    EXPECT_EQ(after.m_RecordSet.GetCount(), 7u);
    EXPECT_GT(after.m_ModificationNumber, 7u);
    EXPECT_NE(after.m_ModificationDate, 200u);
    h = Open("Shopping-L", eDbRead);
    EXPECT_EQ(Walk(h, 8), (std::vector<std::string>{"item-a2", "item-c"}));
    std::string text;
    SyncResetRecordIndex(h);
    DWORD id = 0;
    ASSERT_EQ(Next(h, 9, text, &id), SYNCERR_NONE);
    EXPECT_EQ(id, again);
    SyncCloseDB(h);

    // A database opened for writing but left unchanged keeps its file.
    const auto bytes = FileBytes(path);
    h = Open("Shopping-L", eDbRead | eDbWrite);
    ASSERT_EQ(SyncCloseDB(h), SYNCERR_NONE);
    EXPECT_EQ(FileBytes(path), bytes);
}

TEST_F(SyncMgrTest, DeletingARecordKeepsTheWalkInPlace)
{
    BYTE h = Open("Shopping-L", eDbRead | eDbWrite);
    std::string text;
    DWORD id = 0;
    ASSERT_EQ(Next(h, 8, text, &id), SYNCERR_NONE);
    CSyncRecord del;
    del.m_FileHandle = h;
    del.m_RecId = id;
    ASSERT_EQ(SyncDeleteRec(&del), SYNCERR_NONE);
    ASSERT_EQ(Next(h, 8, text), SYNCERR_NONE);
    EXPECT_EQ(text, "item-b");
    SyncCloseDB(h);
}

// A database that cannot be put in place after its close (here a folder
// holds its file name) leaves the handheld as it was and is reported in the
// HotSync log; a store that writes at once says so to its caller.
TEST_F(SyncMgrTest, AWriteThatCannotBePutInPlaceIsReportedAndLeavesNothingBehind)
{
    const std::string blocked = m_Dir / "Blocked.pdb";
    std::filesystem::create_directories(blocked + "/inside");
    palmkit::LogClear();
    CSyncCreateDb create{};
    std::strcpy(create.m_Name, "Blocked");
    create.m_Creator = FourCC("KESA");
    create.m_Type = FourCC("CATA");
    ASSERT_EQ(SyncCreateDB(&create), SYNCERR_NONE);
    DWORD id = 0;
    ASSERT_EQ(Write(create.m_FileHandle, id, 1, "rec"), SYNCERR_NONE);
    EXPECT_EQ(SyncCloseDB(create.m_FileHandle), SYNCERR_NONE);
    palmkit::CloseLeftOpen();

    const auto entries = palmkit::LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].activity, slWriteError);
    EXPECT_EQ(entries[0].text.rfind("cannot write the database Blocked: cannot replace " + blocked + ": ", 0), 0u)
        << entries[0].text;
    EXPECT_TRUE(std::filesystem::is_directory(blocked + "/inside"));
    for (const auto& e : std::filesystem::directory_iterator(m_Dir.Path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp."), std::string::npos) << e.path();

    CHandheldStore direct(m_Dir.Path());
    CPdbFile again("Blocked", "KESA", "CATA", 0, 1, 0, 0);
    std::string error;
    EXPECT_FALSE(direct.Save(again, &error));
    EXPECT_EQ(error.rfind("cannot replace " + blocked, 0), 0u) << error;
}

TEST_F(SyncMgrTest, CreateAppearsOnCloseAndDeleteCodes)
{
    CSyncCreateDb create{};
    std::strcpy(create.m_Name, "Shopping-L");
    create.m_Creator = FourCC("KESA");
    create.m_Type = FourCC("LIST");
    EXPECT_EQ(SyncCreateDB(&create), SYNCERR_FILE_ALREADY_EXIST);

    std::strcpy(create.m_Name, "NewCatalog");
    create.m_Type = FourCC("CATA");
    create.m_Version = 3;
    ASSERT_EQ(SyncCreateDB(&create), SYNCERR_NONE);
    const BYTE h = create.m_FileHandle;
    CSyncCreateDb twin = create;
    EXPECT_EQ(SyncCreateDB(&twin), SYNCERR_FILE_ALREADY_EXIST);
    ASSERT_EQ(SyncWriteDBAppInfoBlock(h, reinterpret_cast<const BYTE*>("AI"), 2), SYNCERR_NONE);
    DWORD id = 0;
    ASSERT_EQ(Write(h, id, 1, "rec"), SYNCERR_NONE);
    EXPECT_EQ(id, 1u);

    CSyncOpenDbInfo info{};
    info.m_Options = eOpenDbInfoCount;
    info.m_DbHandle = h;
    ASSERT_EQ(SyncReadOpenDbInfo(&info), SYNCERR_NONE);
    EXPECT_EQ(+info.m_NumRecords, 1);
    const DWORD stamp = At<DWORD>(&info, 62);
    EXPECT_NE(stamp, 0u);

    CHandheldStore store(m_Dir.Path());
    EXPECT_FALSE(store.Find("NewCatalog"));
    const BYTE held = Open("CatalogABC", eDbRead);
    EXPECT_EQ(SyncDeleteDB("CatalogABC", 0), SYNCERR_FILE_OPEN);
    SyncCloseDB(held);
    ASSERT_EQ(SyncCloseDB(h), SYNCERR_NONE);
    palmkit::WaitForWrites();
    auto entry = store.Find("NewCatalog");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->type, FourCC("CATA"));
    // The time stamp read before the close is the database's modification date.
    EXPECT_EQ(entry->modDate, stamp);

    BYTE again = Open("NewCatalog", eDbRead);
    info.m_DbHandle = again;
    ASSERT_EQ(SyncReadOpenDbInfo(&info), SYNCERR_NONE);
    EXPECT_EQ(+info.m_ModDate, stamp);
    EXPECT_EQ(+info.m_Version, 3);
    BYTE buf[8];
    DWORD size = 0;
    ASSERT_EQ(SyncReadDBAppInfoBlock(again, buf, sizeof buf, &size), SYNCERR_NONE);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(SyncReadDBAppInfoBlock(again, buf, 1, &size), SYNCERR_LOCAL_BUFF_TOO_SMALL);
    SyncCloseDB(again);

    EXPECT_EQ(SyncDeleteDB("NewCatalog", 0), SYNCERR_NONE);
    EXPECT_EQ(SyncDeleteDB("NewCatalog", 0), SYNCERR_NOT_FOUND);

    // A database with no AppInfo reports "not found" for it.
    BYTE cat = Open("CatalogABC", eDbRead);
    EXPECT_EQ(SyncReadDBAppInfoBlock(cat, buf, sizeof buf, &size), SYNCERR_NOT_FOUND);
    SyncCloseDB(cat);
}

// A deleted database leaves the Sync Manager's view at once and its file at
// the end of a synchronization that wrote everything; created again under
// its name, it is replaced when the new one is closed, and stays when the
// new one is dropped or anything else could not be written.
TEST_F(SyncMgrTest, ADeletedDatabaseStaysUntilItsReplacementIsInPlace)
{
    enum class Then { Nothing, Replace, DropReplacement, FailAnotherWrite };
    struct Case {
        const char* what;
        Then then;
        const char* left; // the record of CatalogABC after the end; "" when it is gone
        const char* log;
    };
    const Case cases[] = {
        {"deleted", Then::Nothing, "", ""},
        {"replaced", Then::Replace, "new product", ""},
        {"replacement dropped", Then::DropReplacement, "product", ""},
        {"another write failed", Then::FailAnotherWrite, "product", "kept \"CatalogABC\" on the handheld: a database"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            CPdbFile cat("CatalogABC", "KESA", "CATA", 0, 1, 100, 300);
            AddRecord(cat, 1, 1, "product");
            palmkit::Detach();
            SaveDb(m_Dir.Path(), cat);
            ASSERT_EQ(palmkit::Attach(m_Dir.Path(), m_User.Path(), "Alice"), palmkit::AttachResult::Ok);
        }
        palmkit::LogClear();
        ASSERT_EQ(SyncDeleteDB("CatalogABC", 0), SYNCERR_NONE);
        BYTE h = 0;
        EXPECT_EQ(SyncOpenDB("CatalogABC", 0, &h, eDbRead), SYNCERR_NOT_FOUND);
        std::vector<CSyncDbListEntry> list(4);
        WORD count = 4;
        ASSERT_EQ(SyncReadDBList(0, 0, eDbListRam, list.data(), &count), SYNCERR_NONE);
        EXPECT_EQ(count, 2) << "still listed";

        CSyncCreateDb create{};
        std::strcpy(create.m_Name, "CatalogABC");
        create.m_Creator = FourCC("KESA");
        create.m_Type = FourCC("CATA");
        if (c.then == Then::Replace || c.then == Then::DropReplacement) {
            ASSERT_EQ(SyncCreateDB(&create), SYNCERR_NONE);
            DWORD id = 0;
            ASSERT_EQ(Write(create.m_FileHandle, id, 1, "new product"), SYNCERR_NONE);
            const long rc = c.then == Then::Replace ? SyncCloseDB(create.m_FileHandle) : SyncDeleteDB("CatalogABC", 0);
            ASSERT_EQ(rc, SYNCERR_NONE);
        }
        if (c.then == Then::FailAnotherWrite) {
            std::filesystem::create_directories(m_Dir / "Blocked.pdb/inside");
            std::strcpy(create.m_Name, "Blocked");
            ASSERT_EQ(SyncCreateDB(&create), SYNCERR_NONE);
            ASSERT_EQ(SyncCloseDB(create.m_FileHandle), SYNCERR_NONE);
        }
        // Until the end, a crash leaves the old file.
        palmkit::WaitForWrites();
        CPdbFile onDisk;
        ASSERT_TRUE(CHandheldStore(m_Dir.Path()).Load("CatalogABC", onDisk));
        palmkit::Detach();
        std::filesystem::remove_all(m_Dir / "Blocked.pdb");

        CPdbFile after;
        const bool there = CHandheldStore(m_Dir.Path()).Load("CatalogABC", after);
        EXPECT_EQ(there, *c.left != 0);
        if (there && *c.left) {
            const CPdbRecord* r = after.m_RecordSet.GetRecord(0);
            EXPECT_EQ(std::string(r->Data(), r->Data() + r->Size()), c.left);
        }
        std::string log;
        for (const auto& e : palmkit::LogEntries()) log += e.text + "\n";
        if (*c.log) {
            EXPECT_THAT(log, ::testing::HasSubstr(c.log));
        } else {
            EXPECT_EQ(log, "");
        }
    }
}

TEST_F(SyncMgrTest, CreatedButNeverClosedIsWrittenAtDetach)
{
    CSyncCreateDb create{};
    std::strcpy(create.m_Name, "Left/Open");
    create.m_Type = FourCC("USER");
    ASSERT_EQ(SyncCreateDB(&create), SYNCERR_NONE);
    palmkit::Detach();
    CHandheldStore store(m_Dir.Path());
    auto e = store.Find("Left/Open");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->path, m_Dir.Path() + "/Left%2FOpen.pdb");
    ASSERT_EQ(palmkit::Attach(m_Dir.Path(), m_User.Path(), "Alice"), palmkit::AttachResult::Ok);
}

TEST_F(SyncMgrTest, DamagedFilesAreListedAndReadAsWhatIsSound)
{
    palmkit::Detach();
    {
        std::ofstream(m_Dir.Path() + "/Stub.pdb", std::ios::binary) << "short";
        CPdbFile cut("Cut", "KESA", "LIST", 0, 1, 0, 0);
        AddRecord(cut, 8, 1, "first-record");
        AddRecord(cut, 8, 2, "second-record");
        auto bytes = cut.ToBytes();
        bytes.resize(bytes.size() - 8); // the second record runs off the end
        std::ofstream(m_Dir.Path() + "/Cut.pdb", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        // A record table that claims more entries than the file holds.
        bytes[76] = 0;
        bytes[77] = 40;
        std::memcpy(bytes.data(), "Liar", 5);
        std::ofstream(m_Dir.Path() + "/Liar.pdb", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ASSERT_EQ(palmkit::Attach(m_Dir.Path(), m_User.Path(), "Alice"), palmkit::AttachResult::Ok);
    std::vector<CSyncDbListEntry> list(10);
    WORD count = 10;
    ASSERT_EQ(SyncReadDBList(0, 0, eDbListRam, list.data(), &count), SYNCERR_NONE);
    ASSERT_EQ(count, 6);
    int damaged = 0;
    for (int i = 0; i < count; ++i) {
        const std::string name = list[i].m_Name;
        if (name == "Stub" || name == "Liar") {
            EXPECT_TRUE(list[i].m_MiscFlags & eDbListDamaged) << name;
            ++damaged;
        } else {
            EXPECT_FALSE(list[i].m_MiscFlags & eDbListDamaged) << name;
        }
    }
    EXPECT_EQ(damaged, 2);

    BYTE h = Open("Cut", eDbRead);
    std::string text;
    ASSERT_EQ(Next(h, 8, text), SYNCERR_NONE);
    EXPECT_EQ(text, "first-record");
    ASSERT_EQ(Next(h, 8, text), SYNCERR_NONE);
    EXPECT_EQ(text, "secon");
    SyncCloseDB(h);
    h = Open("Liar", eDbRead | eDbShowSecret);
    for (short cat = 0; cat < 16; ++cat) Walk(h, cat);
    SyncCloseDB(h);
    h = Open("Stub", eDbRead);
    EXPECT_EQ(Next(h, 0, text), SYNCERR_NOT_FOUND);
    SyncCloseDB(h);
}

TEST_F(SyncMgrTest, OneSynchronizationAtATime)
{
    EXPECT_EQ(palmkit::Attach(m_Dir.Path(), m_User.Path(), "Alice"), palmkit::AttachResult::AlreadyAttached);
    palmkit::Detach();
    {
        CHandheldLock other;
        ASSERT_EQ(other.Acquire(m_Dir.Path()), CHandheldLock::Result::Locked);
        EXPECT_EQ(palmkit::Attach(m_Dir.Path(), m_User.Path(), "Alice"), palmkit::AttachResult::Locked);
    }
    EXPECT_EQ(palmkit::Attach(m_Dir.Path() + "/none", m_User.Path(), "Alice"),
              palmkit::AttachResult::NotAHandheld);
    // Detached, the Sync Manager has nothing to serve.
    CSyncCardInfo card{};
    EXPECT_EQ(SyncReadSingleCardInfo(&card), SYNCERR_COMM_NOT_INIT);
    BYTE h = 0;
    EXPECT_EQ(SyncOpenDB("Shopping-L", 0, &h, eDbRead), SYNCERR_COMM_NOT_INIT);
    ASSERT_EQ(palmkit::Attach(m_Dir.Path(), m_User.Path(), "Alice"), palmkit::AttachResult::Ok);
}

#ifndef _WIN32  // a process killed by the kernel at a file size limit is POSIX's own
TEST_F(SyncMgrTest, AProcessKilledWhileWritingLeavesThePreviousFileWhole)
{
    const std::string path = m_Dir.Path() + "/Shopping-L.pdb";
    const auto before = FileBytes(path);
    palmkit::Detach();

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (palmkit::Attach(m_Dir.Path(), m_User.Path(), "Alice") != palmkit::AttachResult::Ok) _exit(2);
        BYTE h = 0;
        if (SyncOpenDB("Shopping-L", 0, &h, eDbRead | eDbWrite) != SYNCERR_NONE) _exit(3);
        std::string big(60000, 'x');
        for (int i = 0; i < 4; ++i) {
            DWORD id = 0;
            if (Write(h, id, 8, big) != SYNCERR_NONE) _exit(4);
        }
        // The kernel kills the process in the middle of writing the new file.
        struct rlimit limit {
            100000, 100000
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        SyncCloseDB(h);
        _exit(5);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(FileBytes(path), before);

    // The next synchronization finds the old database and clears the leftovers.
    ASSERT_EQ(palmkit::Attach(m_Dir.Path(), m_User.Path(), "Alice"), palmkit::AttachResult::Ok);
    BYTE h = Open("Shopping-L", eDbRead);
    EXPECT_EQ(Walk(h, 8), (std::vector<std::string>{"item-a", "item-b"}));
    SyncCloseDB(h);
    for (const auto& entry : std::filesystem::directory_iterator(m_Dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
}

#endif

} // namespace

TEST_F(SyncMgrTest, EmptyRecordsWrittenAndClosedReadBackEmpty)
{
    const std::vector<std::vector<std::string>> cases = {
        {"", "hello"},
        {"first", "", "last"},
        {"hello", ""},
        {"", "", "x", ""},
    };
    for (std::size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(n);
        CSyncCreateDb create{};
        const std::string name = "Empties" + std::to_string(n);
        std::strcpy(create.m_Name, name.c_str());
        create.m_Creator = FourCC("KESA");
        create.m_Type = FourCC("DATA");
        ASSERT_EQ(SyncCreateDB(&create), SYNCERR_NONE);
        for (const std::string& text : cases[n]) {
            DWORD id = 0;
            ASSERT_EQ(Write(create.m_FileHandle, id, 1, text), SYNCERR_NONE);
        }
        ASSERT_EQ(SyncCloseDB(create.m_FileHandle), SYNCERR_NONE);
        const BYTE h = Open(name.c_str(), eDbRead);
        EXPECT_EQ(Walk(h, 1), cases[n]);
        ASSERT_EQ(SyncCloseDB(h), SYNCERR_NONE);
    }
}

// New ids: past the highest id in use and the seed, the smallest free one
// once ids run out; a deleted id is free again only then; a reopened
// database goes on from what its file holds.
TEST_F(SyncMgrTest, NewIdsStayUniqueAcrossDeletesAndReopening)
{
    constexpr DWORD kAdd = 0, kReopen = 0xFFFFFFFF;
    struct Step {
        DWORD remove; // kAdd, kReopen, or the id to delete
        DWORD expected;
    };
    struct Case {
        const char* name;
        std::vector<DWORD> ids;
        DWORD seed;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"Ids-plain", {3, 9, 4}, 0, {{kAdd, 10}, {kAdd, 11}, {11, 0}, {kAdd, 12}, {kReopen, 0}, {kAdd, 13}}},
        {"Ids-seed", {3}, 40, {{kAdd, 41}, {41, 0}, {kReopen, 0}, {kAdd, 42}}},
        {"Ids-wrapped", {1, 2, 4, 0xFFFFFF}, 0,
         {{kAdd, 3}, {kAdd, 5}, {2, 0}, {kAdd, 2}, {kAdd, 6}, {kReopen, 0}, {kAdd, 7}, {4, 0}, {kAdd, 4}}},
        {"Ids-twice", {5, 5, 0xFFFFFF}, 0, {{5, 0}, {kAdd, 1}, {kAdd, 2}, {kAdd, 3}, {kAdd, 4}, {kAdd, 6}}},
    };
    palmkit::Detach();
    for (const Case& c : cases) {
        CPdbFile f(c.name, "KESA", "DATA", 0, 1, 100, 200);
        f.m_UniqueIdSeed = c.seed;
        for (DWORD id : c.ids) AddRecord(f, 1, id, "x");
        SaveDb(m_Dir.Path(), f);
    }
    ASSERT_EQ(palmkit::Attach(m_Dir.Path(), m_User.Path(), "Alice"), palmkit::AttachResult::Ok);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BYTE h = Open(c.name, eDbRead | eDbWrite);
        for (const Step& step : c.steps) {
            if (step.remove == kReopen) {
                ASSERT_EQ(SyncCloseDB(h), SYNCERR_NONE);
                h = Open(c.name, eDbRead | eDbWrite);
            } else if (step.remove != kAdd) {
                CSyncRecord del;
                del.m_FileHandle = h;
                del.m_RecId = step.remove;
                EXPECT_EQ(SyncDeleteRec(&del), SYNCERR_NONE) << step.remove;
            } else {
                DWORD id = 0;
                ASSERT_EQ(Write(h, id, 1, "new"), SYNCERR_NONE);
                EXPECT_EQ(id, step.expected);
            }
        }
        ASSERT_EQ(SyncCloseDB(h), SYNCERR_NONE);
    }
}


// A created database keeps the records appended to it outside memory until
// something reads, changes or deletes one; whatever the order, what is
// written at its close is what was written through the Sync Manager.
TEST_F(SyncMgrTest, ACreatedDatabaseIsWrittenWhateverIsDoneToItsRecords)
{
    struct Case {
        const char* name;
        std::vector<std::string> steps; // "+text" append, "=N text" change the Nth, "-N" delete it, "?" walk
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"Appended", {"+a", "+", "+ccc", "+" + std::string(5000, 'd')}, {"a", "", "ccc", std::string(5000, 'd')}},
        {"WalkedThenAppended", {"+a", "+b", "?", "+c"}, {"a", "b", "c"}},
        {"Changed", {"+a", "+b", "+c", "=1 B"}, {"a", "B", "c"}},
        {"Deleted", {"+a", "+b", "+c", "-0", "+d"}, {"b", "c", "d"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSyncCreateDb create{};
        std::strcpy(create.m_Name, c.name);
        create.m_Creator = FourCC("KESA");
        create.m_Type = FourCC("DATA");
        ASSERT_EQ(SyncCreateDB(&create), SYNCERR_NONE);
        const BYTE h = create.m_FileHandle;
        const std::string app = "INFO";
        ASSERT_EQ(SyncWriteDBAppInfoBlock(h, reinterpret_cast<const BYTE*>(app.data()), DWORD(app.size())),
                  SYNCERR_NONE);
        std::vector<DWORD> ids;
        std::vector<std::string> now;
        for (const std::string& step : c.steps) {
            const std::size_t n = step.size() > 1 ? std::size_t(std::atoi(step.c_str() + 1)) : 0;
            if (step[0] == '+') {
                DWORD id = 0;
                ASSERT_EQ(Write(h, id, 1, step.substr(1)), SYNCERR_NONE);
                ids.push_back(id);
                now.push_back(step.substr(1));
            } else if (step[0] == '=') {
                ASSERT_EQ(Write(h, ids[n], 1, step.substr(3)), SYNCERR_NONE);
                now[n] = step.substr(3);
            } else if (step[0] == '-') {
                CSyncRecord del;
                del.m_FileHandle = h;
                del.m_RecId = ids[n];
                ASSERT_EQ(SyncDeleteRec(&del), SYNCERR_NONE);
                ids.erase(ids.begin() + long(n));
                now.erase(now.begin() + long(n));
            } else {
                SyncResetRecordIndex(h);
                EXPECT_EQ(Walk(h, 1), now);
            }
        }
        CSyncOpenDbInfo info{};
        info.m_Options = eOpenDbInfoCount;
        info.m_DbHandle = h;
        ASSERT_EQ(SyncReadOpenDbInfo(&info), SYNCERR_NONE);
        EXPECT_EQ(info.m_NumRecords, c.expected.size());
        ASSERT_EQ(SyncCloseDB(h), SYNCERR_NONE);
        palmkit::WaitForWrites();

        CPdbFile back;
        ASSERT_TRUE(back.ReadPdbFile((m_Dir.Path() + "/" + c.name + ".pdb").c_str()));
        EXPECT_EQ(std::string(back.m_AppInfo.begin(), back.m_AppInfo.end()), app);
        ASSERT_EQ(back.m_RecordSet.GetCount(), c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            const auto& d = back.m_RecordSet.GetRecord(i)->m_Data;
            EXPECT_EQ(std::string(d.begin(), d.end()), c.expected[i]) << i;
            EXPECT_EQ(back.m_RecordSet.GetRecord(i)->m_UniqueId, ids[i]) << i;
        }
    }
    // Nothing of the records' waiting place is left in the folder.
    for (const auto& e : std::filesystem::directory_iterator(m_Dir.Path()))
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}
