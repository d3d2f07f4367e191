// The conduit's work on the handheld, one method at a time, against a real
// handheld directory served by PalmKit's Sync Manager: reading databases into
// the client, post-synchronization updates and installs.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "conduit/ChannelTable.h"
#include "conduit/KesaDatabases.h"
#include "conduit/NorvCondMgr.h"
#include "conduit/NorvDbList.h"
#include "conduit/NorvTrace.h"
#include "conduit/OpenDatabase.h"
#include "conduit/OrderJournal.h"
#include "ferrylink/ScriptedService.h"
#include "lexmo/Lexmo.h"
#include "palmkit/Handheld.h"
#include "palmkit/HandheldStore.h"
#include "palmkit/HsLog.h"
#include "quillio/PdbFile.h"
#include "winreg/RegTestStore.h"

namespace {

// Sync Manager calls that the handheld refuses: a record deletion, a write
// or a read in one category.
std::atomic<bool> g_refuseDelete{false};
std::atomic<int> g_refuseWriteIn{-1};
std::atomic<int> g_refuseReadIn{-1};

template <typename Fn>
Fn Real(const char* name)
{
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

} // namespace

// These take the place of the Sync Manager's calls in this program.
extern "C" {

long SyncDeleteRec(const CSyncRecord* record)
{
    if (g_refuseDelete.load()) return SYNCERR_RECORD_BUSY;
    static const auto real = Real<long (*)(const CSyncRecord*)>("SyncDeleteRec");
    return real(record);
}

long SyncWriteRec(CSyncRecord* record)
{
    if (record->m_CatId == g_refuseWriteIn.load()) return SYNCERR_RECORD_BUSY;
    static const auto real = Real<long (*)(CSyncRecord*)>("SyncWriteRec");
    return real(record);
}

long SyncReadNextRecInCategory(CSyncRecord* record)
{
    if (record->m_CatId == g_refuseReadIn.load()) return SYNCERR_FILE_NOT_OPEN;
    static const auto real = Real<long (*)(CSyncRecord*)>("SyncReadNextRecInCategory");
    return real(record);
}

} // extern "C"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

using namespace kesa_db;

DWORD PalmDate(const char* w3c)
{
    COrderInfo order;
    order.SetCreationDate(w3c, "W3C");
    return order.GetCreateDateDWord();
}

class HandheldSyncTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Handheld = m_Dir / "handheld";
        fs::create_directories(m_Dir / "files");
        ASSERT_TRUE(CHandheldStore(m_Handheld).Create());
        ASSERT_EQ(palmkit::Attach(m_Handheld, m_Dir / "user", "Anne"), palmkit::AttachResult::Ok);
        palmkit::LogClear();
        ASSERT_GT(KESA_LoadMessages("LexmoUs.dll"), 0);
        ASSERT_TRUE(CNorvTrace::Instance().Open(m_Dir / "NorvTrace.log"));
        m_Mgr = std::make_unique<CNorvCondMgr>();
    }
    void TearDown() override
    {
        m_Mgr.reset();
        CNorvTrace::Instance().Close();
        palmkit::Detach();
    }

    void Put(const Db& db) { ASSERT_TRUE(CHandheldStore(m_Handheld).Save(*db.file)); }
    // A new synchronization of the same handheld, with a new manager.
    void Restart()
    {
        m_Mgr.reset();
        palmkit::Detach();
        ASSERT_EQ(palmkit::Attach(m_Handheld, m_Dir / "user", "Anne"), palmkit::AttachResult::Ok);
        palmkit::LogClear();
        m_Mgr = std::make_unique<CNorvCondMgr>();
    }
    std::string Write(const Db& db, const std::string& fileName)
    {
        const std::string path = m_Dir / ("files/" + fileName);
        EXPECT_TRUE(db.file->WritePdbFile(path.c_str()));
        return path;
    }
    // A database as the Sync Manager shows it: one deleted in this run is
    // gone from its view at once, from the folder only when the run ends.
    std::optional<CPdbFile*> Get(const std::string& name)
    {
        BYTE handle = 0;
        if (SyncOpenDB(name.c_str(), 0, &handle, eDbRead) != SYNCERR_NONE) return std::nullopt;
        SyncCloseDB(handle);
        m_Loaded = std::make_unique<CPdbFile>();
        palmkit::WaitForWrites();
        if (!CHandheldStore(m_Handheld).Load(name, *m_Loaded)) return std::nullopt;
        return m_Loaded.get();
    }
    static CSyncDbListEntry Entry(const std::string& name, const char* type)
    {
        CSyncDbListEntry e{};
        std::snprintf(e.m_Name, sizeof e.m_Name, "%s", name.c_str());
        e.m_DbType = Code(type);
        e.m_Creator = kCreatorKesa;
        return e;
    }
    // "activity<TAB>text" of each HotSync log entry.
    static std::vector<std::string> Log()
    {
        std::vector<std::string> lines;
        for (const auto& e : palmkit::LogEntries()) lines.push_back(std::to_string(e.activity) + "\t" + e.text);
        return lines;
    }
    std::string Trace() const { return ReadAll(m_Dir / "NorvTrace.log"); }
    CChannelData* Channel(const std::string& id, _channelType type = ChannelList)
    {
        return m_Mgr->m_Ferrylink.AddChannel(id, type, true);
    }

    TempDir m_Dir{"norv-conduit"};
    RegTestStore m_Registry;
    std::string m_Handheld;
    std::unique_ptr<CNorvCondMgr> m_Mgr;
    std::unique_ptr<CPdbFile> m_Loaded;
};

// --------------------------------------------------------------- reading

TEST_F(HandheldSyncTest, ListsAreSentWithTheirActiveOrderAndNeededLinesOnly)
{
    struct Case {
        const char* name;
        const char* type;
        int channelType;
        bool appInfo;
        std::optional<COrderInfo> order;
        bool stays;
        int sent;         // records of the list database sent, -1 when none is sent
        std::vector<std::string> log; // HotSync log entries
    };
    const Case cases[] = {
        {"form", "EMLS", 2, true, Order(kDay1), true, 3, {}},
        {"processed after", "LIST", 2, true, Order(kDay1, kDay2), true, -1, {}},
        // Processed in the second it was created: still active.
        {"same second", "LIST", 2, true, Order(kDay1, kDay1), true, 3, {}},
        // What leaves the handheld is named, with why.
        {"no order", "LIST", 2, true, std::nullopt, false, -1,
         {"-1\tDeleted \"no order\" from the handheld: it holds no order, so it is not one of the service's lists."}},
        {"no appinfo", "LIST", 2, false, Order(kDay1), false, -1,
         {"8\tList no appinfo could not be read on the handheld (AppInfo).",
          "-1\tDeleted \"no appinfo\" from the handheld: its header cannot be read."}},
        {"plain", "LIST", 1, true, Order(kDay1), true, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        palmkit::LogClear();
        m_Mgr = std::make_unique<CNorvCondMgr>();
        Db db(c.name, c.type, c.appInfo ? AppInfoOf(c.channelType, "C7cat") : std::vector<BYTE>{});
        if (c.order) db.Add(5, *c.order);
        db.Add(8, Ref("A", "Apples", "3", "2.10", true)).Add(8, Ref("B", "Pears", "1", "2.90", false));
        db.Add(8, Ref("C", "Plums", "2", "4.80", true));
        Put(db);

        std::string id;
        m_Mgr->StoreListInFerrylink(Entry(c.name, c.type), id);

        EXPECT_EQ(Get(c.name).has_value(), c.stays);
        EXPECT_EQ(Log(), c.log);
        // A deleted list is not looked for again in this run.
        if (!c.stays) {
            EXPECT_EQ(id, "");
        }
        if (!c.appInfo || !c.order) continue;
        EXPECT_EQ(id, "C7");
        const CChannelData* channel = m_Mgr->m_Ferrylink.GetChannelData(std::string("C7"));
        EXPECT_TRUE(channel->IsInPCL());
        EXPECT_EQ(channel->GetChannelType(), c.channelType == 2 ? ChannelList : ChannelCatalog);
        EXPECT_EQ(channel->GetNbListPdbs(), c.sent < 0 ? 0 : 1);
        EXPECT_EQ(channel->IsPalmListFound(), true);
        if (c.sent < 0) continue;
        const CSynchPdb* pdb = channel->GetNthListPdb(0);
        EXPECT_EQ(pdb->GetPdbName(), c.name);
        CPdbFile sent;
        ASSERT_TRUE(sent.ReadPdbBuffer(pdb->GetData(), pdb->GetLength()));
        EXPECT_EQ(sent.m_Type, Code(c.type));
        ASSERT_EQ(int(sent.m_RecordSet.GetCount()), c.sent);
        EXPECT_EQ(sent.m_RecordSet.GetRecord(0)->m_Attrib, 5);
        EXPECT_EQ(sent.m_RecordSet.GetRecord(0)->m_Data, RecordOf(*c.order)->m_Data);
        EXPECT_THAT(RefsIn(sent), ElementsAre("A Apples 2.10", "C Plums 4.80"));
    }
}

TEST_F(HandheldSyncTest, HandheldCredentialsFillOnlyWhatTheSettingsLack)
{
    struct Case {
        const char* uid;
        const char* pwd;
        bool record;
        const char* wantUid;
        const char* wantPwd;
    };
    const Case cases[] = {
        {"", "", true, "anne", "s3cret"},
        {"set", "", true, "set", "s3cret"},
        {"set", "kept", true, "set", "kept"},
        {"", "", false, "", ""},
    };
    for (const Case& c : cases) {
        Db db("USERCTX", "USER");
        if (c.record) db.Add(9, UserId("anne", "s3cret"));
        Put(db);
        m_Mgr = std::make_unique<CNorvCondMgr>();
        m_Mgr->m_Ferrylink.SetUID(c.uid);
        m_Mgr->m_Ferrylink.SetPWD(c.pwd);
        std::string name;
        m_Mgr->StoreUserCtxInFerrylink(Entry("USERCTX", "USER"), name);
        EXPECT_EQ(m_Mgr->m_Ferrylink.GetUID(), c.wantUid);
        EXPECT_EQ(m_Mgr->m_Ferrylink.GetPWD(), c.wantPwd);
        EXPECT_EQ(name, "");
    }
    EXPECT_THAT(Trace(), HasSubstr("User Id Record found. UserId=anne; Password="));
    EXPECT_THAT(Trace(), Not(HasSubstr("s3cret")));
    EXPECT_THAT(Trace(), Not(HasSubstr("kept")));
}

// ------------------------------------------------------ post-synchronization

TEST_F(HandheldSyncTest, CatalogLeavesWhenReplacedOrWithoutListUnlessInError)
{
    struct Case {
        bool inCDL, newCatalog, catalogFound, listFound;
        const char* error;
        bool stays;
    };
    // Replaced: stays until the new catalog is in place (see the replacement test).
    const Case cases[] = {
        {true, true, true, true, "", true},   {false, true, true, true, "", true},
        {true, false, true, true, "", true},  {false, false, false, true, "", false},
        {false, false, true, false, "", false}, {true, true, true, false, "no catalog today", true},
    };
    for (const Case& c : cases) {
        Restart();
        Put(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")));
        CChannelData* channel = Channel("C7");
        channel->SetInCDL(c.inCDL);
        if (c.newCatalog) channel->SetNewCatalogPdbFilepath("/nowhere/C7cat.pdb");
        channel->SetPalmCatalogFound(c.catalogFound);
        channel->SetPalmListFound(c.listFound);
        channel->SetCatalogError(c.error);
        m_Mgr->PerformCatalogPostSynchro(Entry("C7cat", "CATA"), "C7");
        EXPECT_EQ(Get("C7cat").has_value(), c.stays) << c.inCDL << c.newCatalog << c.catalogFound << c.listFound;
        if (*c.error)
            EXPECT_THAT(Log(), ElementsAre(std::string("22\t") + c.error));
        else if (!c.stays)
            EXPECT_THAT(Log(), ElementsAre("-1\tDeleted \"C7cat\" from the handheld: no list of channel C7 is on the "
                                           "handheld."));
        else
            EXPECT_THAT(Log(), IsEmpty());
    }
}

TEST_F(HandheldSyncTest, ListsAndOrdersFollowTheServersAnswer)
{
    struct Case {
        const char* what;
        const char* type;
        const char* processDate; // of the list sent, nullptr when none was sent
        const char* error;
        bool defList, catalogFound;
        const char* catalogError;
        bool stays;
        const char* created; // order afterwards
        const char* processed;
        const char* orderError;
    };
    const Case cases[] = {
        {"form accepted", "EMLS", kDay2, "", false, true, "", false, "", "", ""},
        {"form refused", "EMLS", kDay2, "refused", false, true, "", true, kDay1, kNone, "refused"},
        // Until the default list is installed (see the replacement test).
        {"default list", "LIST", nullptr, "", true, true, "", true, kDay1, kNone, ""},
        {"catalog gone", "LIST", nullptr, "", false, false, "", false, "", "", ""},
        {"processed", "LIST", kDay2, "", false, true, "", true, kNone, kDay2, ""},
        {"date and error", "LIST", kDay2, "refused", false, true, "", true, kNone, kNone, "refused"},
        {"not sent", "LIST", nullptr, "", false, true, "", true, kDay1, kNone, ""},
        {"catalog error", "LIST", kDay2, "", false, true, "down", true, kNone, kDay2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_Mgr = std::make_unique<CNorvCondMgr>();
        m_Mgr->m_Ferrylink.SetUID("anne");
        COrderInfo order = Order(kDay1);
        order.SetErrorMessage("old error");
        Put(Db(c.what, c.type, AppInfoOf(2, "C7cat")).Add(5, order).Add(8, Ref("A", "Apples", "1", "1", true)));
        CChannelData* channel = Channel("C7");
        channel->SetPalmCatalogFound(c.catalogFound);
        channel->SetPalmListFound(true);
        if (c.defList) channel->SetDefListPdbFilepath("/nowhere/C7def.pdb");
        channel->SetCatalogError(c.catalogError);
        channel->SetNewCatalogPdbFilepath("/nowhere/C7cat.pdb"); // would empty the list if read
        if (c.processDate) {
            BYTE bytes[4] = {};
            CSynchPdb* pdb = channel->AddListOrIODData(c.what, std::string(c.what) + ".pdb", bytes, 4, true);
            pdb->SetProcessDate(c.processDate);
            if (*c.error) pdb->SetError(c.error);
        }

        m_Mgr->PerformListPostSynchro(Entry(c.what, c.type), "C7");

        auto db = Get(c.what);
        ASSERT_EQ(db.has_value(), c.stays);
        if (!c.stays) continue;
        const COrderInfo after = OrderIn(**db);
        EXPECT_EQ(after.GetCreateDateStr(), c.created);
        EXPECT_EQ(after.GetProcessDateStr(), c.processed);
        if (!c.processDate) {
            EXPECT_EQ(after.GetMemberIdStr(), ""); // untouched
            continue;
        }
        EXPECT_EQ(after.GetMemberIdStr(), "anne");
        EXPECT_EQ(after.GetOrderingDateStr(), kDay1);
        EXPECT_EQ(OrderErrorIn(**db), c.orderError);
    }
}

TEST_F(HandheldSyncTest, AnUnreadableNewCatalogMattersOnlyToAListWithLines)
{
    for (bool lines : {false, true}) {
        palmkit::LogClear();
        Db list("L", "LIST", AppInfoOf(2, "C7cat"));
        list.Add(5, Order(kDay1));
        if (lines) list.Add(8, Ref("A", "Apples", "1", "1", true));
        Put(list);
        CChannelData* channel = Channel("C7");
        channel->SetPalmCatalogFound(true);
        channel->SetNewCatalogPdbFilepath(m_Dir / "files/missing.pdb");
        m_Mgr->PerformListPostSynchro(Entry("L", "LIST"), "C7");
        if (lines)
            EXPECT_THAT(Log(),
                        ElementsAre("22\tThe new catalog " + (m_Dir / "files/missing.pdb") + " could not be read."));
        else
            EXPECT_THAT(Log(), IsEmpty());
        EXPECT_EQ(RefsIn(**Get("L")).size(), lines ? 1u : 0u);
    }
}

// The handheld refuses a step of the item references' update: the queue
// stops there and the list is reported with the step's activity.
TEST_F(HandheldSyncTest, ItemRefUpdateRefusedByTheHandheld)
{
    struct Case {
        const char* name;
        bool refuseDelete;
        int refuseWriteIn, refuseReadIn;
        int activity;
        std::vector<std::string> refsAfter;
    };
    const Case cases[] = {
        // "GONE" is first in the queue: its deletion fails, "A" stays as it was.
        {"delete", true, -1, -1, 12, {"GONE gone 1.00", "A old 1.00"}},
        {"update", false, 8, -1, 11, {"A old 1.00"}},
        {"walk", false, -1, 8, 8, {"GONE gone 1.00", "A old 1.00"}},
    };
    const std::string catalog = Write(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")).Add(1, Item("A", "Apples", "2")), "c.pdb");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        palmkit::LogClear();
        Put(Db(c.name, "LIST", AppInfoOf(2, "C7cat"))
                .Add(8, Ref("GONE", "gone", "1", "1", true))
                .Add(8, Ref("A", "old", "1", "1", true)));
        CChannelData* channel = Channel("C7");
        channel->SetNewCatalogPdbFilepath(catalog);
        BYTE handle = 0;
        ASSERT_EQ(SyncOpenDB(c.name, 0, &handle, eDbRead | eDbWrite | eDbShowSecret), SYNCERR_NONE);
        g_refuseDelete = c.refuseDelete;
        g_refuseWriteIn = c.refuseWriteIn;
        g_refuseReadIn = c.refuseReadIn;
        m_Mgr->UpdateListItemRefs(handle, c.name, channel);
        g_refuseDelete = false;
        g_refuseWriteIn = -1;
        g_refuseReadIn = -1;
        SyncCloseDB(handle);
        std::vector<std::string> log{std::to_string(c.activity) + "\t" + KESA_FormatMessage(2027, c.name)};
        // A line already deleted when the walk stopped is named.
        if (c.refsAfter.size() == 1)
            log.insert(log.begin(), "-1\tThe list \"" + std::string(c.name) +
                                        "\" lost a line whose item is no longer in the catalog of channel C7: gone.");
        EXPECT_EQ(Log(), log);
        EXPECT_EQ(RefsIn(**Get(c.name)), c.refsAfter);
    }
}

TEST_F(HandheldSyncTest, AReferenceListWithoutHeaderLeavesTheListsHeaderInPlace)
{
    Put(Db("L", "LIST", AppInfoOf(2, "C7cat", "Mine")).Add(5, Order(kDay1)));
    CChannelData* channel = Channel("C7");
    channel->SetPalmCatalogFound(true);
    channel->SetRefListPdbFilepath(Write(Db("Ref", "LIST"), "C7ref.pdb"));
    m_Mgr->PerformListPostSynchro(Entry("L", "LIST"), "C7");
    EXPECT_EQ((*Get("L"))->m_AppInfo, AppInfoOf(2, "C7cat", "Mine"));
    // The service's file is at fault, not the handheld.
    EXPECT_THAT(Log(), ElementsAre("22\tThe list header the service sent for \"L\" does not belong to channel C7: the "
                                   "list keeps its own."));
}

// --------------------------------------------------- replacements and orders

// A catalog or a list that the service replaces leaves the handheld only
// once its replacement is installed; else it stays, and the log says so.
TEST_F(HandheldSyncTest, WhatTheServiceReplacesStaysUntilTheReplacementIsInstalled)
{
    struct Case {
        const char* what;
        bool catalog;  // a new catalog, else a default list
        bool sound;    // the file sent can be installed
        const char* catalogLeft;
        bool listLeft;
        const char* log;
    };
    const Case cases[] = {
        {"new catalog", true, true, "NEW", true, ""},
        {"broken catalog", true, false, "OLD", true,
         "-1\tKept the catalog \"C7cat\" (channel C7): what the service sent to replace it could not be installed."},
        {"default list", false, true, "OLD", false,
         "-1\tDeleted \"Mes courses\" from the handheld: replaced by the service's default list \"Courses C7\"."},
        {"broken default list", false, false, "OLD", true,
         "-1\tKept the list \"Mes courses\" (channel C7): what the service sent to replace it could not be "
         "installed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        Put(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")).Add(1, Item("OLD", "old", "1")));
        Put(Db("Mes courses", "LIST", AppInfoOf(2, "C7cat", "Mes courses")).Add(5, Order(kDay1, kDay2)));
        CChannelData* channel = Channel("C7");
        channel->SetInCDL(true);
        channel->SetPalmCatalogFound(true);
        channel->SetPalmListFound(true);
        // Without AppInfo a catalog or a list cannot be installed.
        const std::vector<BYTE> appInfo = c.sound ? AppInfoOf(2, "C7cat") : std::vector<BYTE>{};
        if (c.catalog)
            channel->SetNewCatalogPdbFilepath(Write(Db("C7cat", "CATA", appInfo).Add(1, Item("NEW", "new", "2")), "c.pdb"));
        else
            channel->SetDefListPdbFilepath(Write(Db("Courses C7", "LIST", appInfo).Add(5, Order(kDay1)), "l.pdb"));

        m_Mgr->PerformCatalogPostSynchro(Entry("C7cat", "CATA"), "C7");
        m_Mgr->PerformListPostSynchro(Entry("Mes courses", "LIST"), "C7");
        ASSERT_TRUE(Get("C7cat")) << "deleted before its replacement";
        m_Mgr->InstallChannelPdbs(channel);
        const std::vector<std::string> log = Log();
        palmkit::Detach(); // the end of the run: deletions take effect

        CPdbFile catalog;
        ASSERT_TRUE(CHandheldStore(m_Handheld).Load("C7cat", catalog));
        EXPECT_EQ(CItemRecord(catalog.m_RecordSet.GetRecord(0)).GetReferenceStr(), c.catalogLeft);
        CPdbFile list;
        EXPECT_EQ(CHandheldStore(m_Handheld).Load("Mes courses", list), c.listLeft);
        if (*c.log) {
            EXPECT_THAT(log, ::testing::Contains(std::string(c.log)));
        } else {
            EXPECT_THAT(log, IsEmpty());
        }
        ASSERT_EQ(palmkit::Attach(m_Handheld, m_Dir / "user", "Anne"), palmkit::AttachResult::Ok);
    }
}

// A damaged catalog is not declared: the service sends it again, the new one
// takes its place, and the lists of its channel stay meanwhile.
TEST_F(HandheldSyncTest, ADamagedCatalogIsReplacedAndItsListsStay)
{
    Put(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")).Add(1, Item("OLD", "old", "1")));
    Put(Db("Mes courses", "LIST", AppInfoOf(2, "C7cat", "Mes courses")).Add(5, Order(kDay1, kDay2)));
    palmkit::WaitForWrites();
    fs::resize_file(m_Handheld + "/C7cat.pdb", 100);
    Restart();
    std::vector<CSyncDbListEntry>& entries = m_Mgr->m_DbList.m_Entries;
    entries.resize(2);
    WORD count = 2;
    ASSERT_EQ(SyncReadDBList(0, 0, eDbListRam, entries.data(), &count), SYNCERR_NONE);
    ASSERT_EQ(EntryName(entries[0]), "C7cat");
    ASSERT_TRUE(entries[0].m_MiscFlags & eDbListDamaged);
    std::string id;
    m_Mgr->StoreCatalogInFerrylink(entries[0], id);
    EXPECT_EQ(id, "");
    EXPECT_THAT(Log(), ElementsAre("-1\tThe catalog \"C7cat\" on the handheld is damaged: the one the service sends "
                                   "for channel C7 replaces it."));

    CChannelData* channel = Channel("C7");
    channel->SetInCDL(true);
    channel->SetPalmListFound(true);
    channel->SetNewCatalogPdbFilepath(
        Write(Db("C7cat", "CATA", AppInfoOf(2, "C7cat")).Add(1, Item("NEW", "new", "2")), "c.pdb"));
    m_Mgr->PerformListPostSynchro(entries[1], "C7");
    m_Mgr->InstallChannelPdbs(channel);
    palmkit::Detach();
    CPdbFile catalog;
    ASSERT_TRUE(CHandheldStore(m_Handheld).Load("C7cat", catalog));
    EXPECT_FALSE(CHandheldStore(m_Handheld).Find("C7cat")->damaged);
    EXPECT_EQ(CItemRecord(catalog.m_RecordSet.GetRecord(0)).GetReferenceStr(), "NEW");
    EXPECT_TRUE(CHandheldStore(m_Handheld).Find("Mes courses"));
    ASSERT_EQ(palmkit::Attach(m_Handheld, m_Dir / "user", "Anne"), palmkit::AttachResult::Ok);
}

// An active order that the journal says the service accepted is recorded
// from the journal and not sent; one that cannot be told is held.
TEST_F(HandheldSyncTest, AJournaledOrderIsRecordedNotSentAgain)
{
    struct Case {
        const char* what;
        const char* journal; // file contents; nullptr: none
        int sent;            // lists sent
        const char* created; // order afterwards
        const char* processed;
        bool journalLeft;
    };
    const std::string entry = "C7\tMes courses\t" + std::to_string(PalmDate(kDay1)) + "\t2001-05-04T08:00:00\n";
    const std::string other = "C7\tMes courses\t" + std::to_string(PalmDate(kDay1) - 60) + "\t2001-05-04T08:00:00\n";
    const Case cases[] = {
        {"no journal", nullptr, 1, kDay1, kNone, false},
        {"accepted", entry.c_str(), 0, kNone, "2001-05-04T08:00:00", false},
        {"an older order", other.c_str(), 1, kDay1, kNone, false},
        {"unreadable", "C7\tMes courses\tyesterday\t-\n", 0, kDay1, kNone, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        const std::string path = m_Dir / "Orders.journal";
        fs::remove(path);
        if (c.journal) {
            std::ofstream(path) << c.journal;
        }
        m_Mgr->m_Journal.SetPath(path);
        m_Mgr->m_Journal.Load(nullptr);
        Put(Db("Mes courses", "LIST", AppInfoOf(2, "C7cat", "Mes courses")).Add(5, Order(kDay1)));
        palmkit::WaitForWrites();
        CSyncDbListEntry list = Entry("Mes courses", "LIST");
        m_Mgr->m_DbList.m_Entries = {list};
        std::string id;
        m_Mgr->StoreListInFerrylink(list, id);
        m_Mgr->PruneOrderJournal();
        EXPECT_EQ(m_Mgr->m_Ferrylink.GetChannelData(std::string("C7"))->GetNbListPdbs(), c.sent);
        const COrderInfo after = OrderIn(**Get("Mes courses"));
        EXPECT_EQ(after.GetCreateDateStr(), c.created);
        EXPECT_EQ(after.GetProcessDateStr(), c.processed);
        m_Mgr->ForgetRecordedOrders(); // as the end of the run does
        EXPECT_EQ(fs::exists(path), c.journalLeft);
    }
    EXPECT_THAT(Trace(), HasSubstr("Order held: the order journal cannot be read"));
}

TEST(OrderJournalTest, LinesKeepAnyNameAndRefuseWhatTheyCannotRead)
{
    const COrderJournal::Entry hostile{"C\t7", "50% off\nmore\x01", 3000000000u, "2001-05-04T08:00:00"};
    COrderJournal::Entry back;
    const std::string line = COrderJournal::FormatLine(hostile);
    EXPECT_EQ(line, "C%097\t50%25 off%0Amore%01\t3000000000\t2001-05-04T08:00:00");
    ASSERT_TRUE(COrderJournal::ParseLine(line, back));
    EXPECT_EQ(back.channelId, hostile.channelId);
    EXPECT_EQ(back.listName, hostile.listName);
    EXPECT_EQ(back.created, hostile.created);
    for (const char* bad : {"", "C7\tL\t1", "C7\tL\t0\tD", "C7\tL\t4294967296\tD", "C7\tL\t-1\tD", "C7\tL%2\t1\tD",
                            "C7\tL%zz\t1\tD", "\tL\t1\tD", "C7\tL\t1\tD\textra"})
        EXPECT_FALSE(COrderJournal::ParseLine(bad, back)) << bad;

    TempDir dir;
    COrderJournal journal;
    journal.SetPath(dir / "Orders.journal");
    ASSERT_TRUE(journal.Load(nullptr));
    ASSERT_TRUE(journal.Add(hostile, nullptr));
    COrderJournal reread;
    reread.SetPath(dir / "Orders.journal");
    ASSERT_TRUE(reread.Load(nullptr));
    EXPECT_TRUE(reread.Find(hostile.listName, "c\t7", hostile.created, nullptr)) << "channel ids ignore case";
    ASSERT_TRUE(reread.Remove(hostile.listName, hostile.channelId, hostile.created, nullptr));
    EXPECT_FALSE(fs::exists(dir / "Orders.journal"));

    // A journal that cannot be read is never written over.
    std::ofstream(dir / "Orders.journal") << "garbage\n";
    std::string why;
    EXPECT_FALSE(reread.Load(&why));
    EXPECT_EQ(why, dir / "Orders.journal" + ": line 1 cannot be read");
    EXPECT_FALSE(reread.Add(hostile, nullptr));
    EXPECT_EQ(ReadAll(dir / "Orders.journal"), "garbage\n");
}

// The user context merge needs a declaration that brought a user context file.
class UserContextTest : public HandheldSyncTest {
protected:
    void Declare(const Db& serverCtx)
    {
        const std::string bytes = [&] {
            const std::vector<BYTE> b = serverCtx.file->ToBytes();
            return std::string(b.begin(), b.end());
        }();
        ScriptedService service([&](const Query&, int) {
            return Answer{{Text("CDL", ""), File("UserPdb", "USERCTX.pdb", bytes)}};
        });
        CFerrylink& client = m_Mgr->m_Ferrylink;
        client.Initialize(nullptr, m_Dir / "files", m_Dir / "files");
        ASSERT_TRUE(client.SRVQRY_OpenSession(service.Url()));
        client.SRVQRY_DeclareCatalogs();
        client.SRVQRY_CloseSession();
        ASSERT_TRUE(client.HasUserPdbToInstall());
    }
    void StorePassword()
    {
        const std::string key = "Software\\Norvelia\\Tidepost";
        ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, key + "\\Servers", "Main", "http://127.0.0.1:1/T/x"), 0);
        ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, key + "\\Users\\Anne", "CurrentServer", "Main"), 0);
        ASSERT_EQ(RegPutString(HKEY_LOCAL_MACHINE, key + "\\Users\\Anne\\Main", "PWD", "c1ph3r"), 0);
        m_Mgr->m_Settings.Init("Anne", "Tidepost");
        ASSERT_EQ(m_Mgr->m_Settings.GetPWD(), "c1ph3r");
    }
};

TEST_F(UserContextTest, WithoutAServerUserIdRecordThePasswordStays)
{
    StorePassword();
    Put(Db("USERCTX", "USER").Add(6, Address("0", "maison")));
    Declare(Db("USERCTX", "USER").Add(6, Address("1", "bureau")));
    m_Mgr->PerformUserCtxPostSynchro(Entry("USERCTX", "USER"));
    EXPECT_THAT(AddressesIn(**Get("USERCTX")), ElementsAre("0:maison", "1:bureau"));
    EXPECT_EQ(m_Mgr->m_Settings.GetPWD(), "c1ph3r");
    EXPECT_THAT(Trace(), HasSubstr("CNorvCondMgr::PerformUserCtxPostSynchro - WARNING no UserId info found\n"));
}

// The handheld refuses a step of the merge: reported with the step's
// activity, and the stored password stays unless the user id was written.
TEST_F(UserContextTest, MergeStepsRefusedByTheHandheld)
{
    struct Case {
        const char* name;
        bool refuseDelete;
        int refuseWriteIn, refuseReadIn;
        bool fileGone;
        std::string logged;  // empty: nothing logged
        bool passwordStays;
    };
    const std::string failed = KESA_FormatMessage(2029);
    const Case cases[] = {
        {"merged", false, -1, -1, false, "", false},
        {"address deletion", true, -1, -1, false, "12\t" + failed, true},
        {"address write", false, 6, -1, false, "9\t" + failed, true},
        {"user id write", false, 9, -1, false, "9\t" + failed, true},
        {"address walk", false, -1, 6, false, "8\t" + failed, true},
        {"user id read", false, -1, 9, false, "8\t" + failed, true},
        {"file unreadable", false, -1, -1, true, "file", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Mgr = std::make_unique<CNorvCondMgr>();
        palmkit::LogClear();
        StorePassword();
        Put(Db(c.name, "USER").Add(6, Address("7", "vieux")).Add(9, UserId("anne")));
        Declare(Db("USERCTX", "USER").Add(6, Address("1", "bureau")).Add(9, UserId("anne", "new")));
        const std::string file = m_Mgr->m_Ferrylink.GetUserPdbFilepath();
        if (c.fileGone) fs::remove(file);
        g_refuseDelete = c.refuseDelete;
        g_refuseWriteIn = c.refuseWriteIn;
        g_refuseReadIn = c.refuseReadIn;
        m_Mgr->PerformUserCtxPostSynchro(Entry(c.name, "USER"));
        g_refuseDelete = false;
        g_refuseWriteIn = -1;
        g_refuseReadIn = -1;
        if (c.logged.empty())
            EXPECT_THAT(Log(), IsEmpty());
        else if (c.logged == "file")
            EXPECT_THAT(Log(), ElementsAre("22\t" + KESA_FormatMessage(2030, file)));
        else
            EXPECT_THAT(Log(), ElementsAre(c.logged));
        EXPECT_EQ(m_Mgr->m_Settings.GetPWD(), c.passwordStays ? "c1ph3r" : "");
    }
}

// ------------------------------------------------------------------ installs

// A channel whose catalog the service could not give: reported only when the
// handheld does not already hold a catalog of it (not in the PCL).
TEST_F(HandheldSyncTest, ACatalogErrorIsReportedOnlyForAChannelNotOnTheHandheld)
{
    for (bool inPcl : {false, true}) {
        SCOPED_TRACE(inPcl ? "in the PCL" : "new channel");
        palmkit::LogClear();
        m_Mgr = std::make_unique<CNorvCondMgr>();
        CChannelData* channel = Channel("C7");
        channel->SetInPCL(inPcl);
        channel->SetCatalogError("catalog down");
        AllocChannelTable(1);
        MarkChannel(0, ChannelProcessed);
        EXPECT_TRUE(m_Mgr->InstallProcessedChannels());
        EXPECT_EQ(ChannelStateAt(0), ChannelHandled);
        FreeChannelTable();
        if (inPcl)
            EXPECT_THAT(Log(), IsEmpty());
        else
            EXPECT_THAT(Log(), ElementsAre("22\t" + KESA_FormatMessage(2034, "C7", channel->GetErrorMessageList())));
    }
}

TEST_F(HandheldSyncTest, InstallsWholeOrNotAtAll)
{
    const std::string created = "22\tThe database could not be created on the handheld (unknown type, or a "
                                "database of that name already exists).";
    const std::string written = "9\tWrite error on the handheld: the database could not be saved.";
    struct Case {
        const char* what;
        const char* name;
        const char* type;
        bool appInfo;
        bool ok;
        int channelType;
        std::string log;
    };
    const Case cases[] = {
        {"catalog", "G1cat", "CATA", true, true, 3, ""},
        {"user context", "USERCTX", "USER", false, true, 0, ""},
        // The service's file at fault: its caller says so (below), not a write error of the handheld.
        {"no appinfo", "C2cat", "CATA", false, false, -1, ""},
        {"unknown type", "Notes", "DATA", true, false, -1, created},
        {"name taken", "Taken", "LIST", true, false, -1, created},
    };
    Put(Db("Taken", "LIST", AppInfoOf(2, "C1cat")).Add(8, Ref("OLD", "kept", "1", "1", true)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        palmkit::LogClear();
        Db db(c.name, c.type, c.appInfo ? AppInfoOf(3, "G1cat") : std::vector<BYTE>{});
        db.Add(1, Item("I1", "one", "1")).Add(1, Item("I2", "two", "2")).Add(8, Ref("R", "ref", "1", "1", true));
        // Empty: skipped. Last, as a file cannot tell an empty record from the next one.
        db.file->m_RecordSet.AddRecord(std::make_unique<CPdbRecord>(), 2);
        int type = -1;
        DWORD value = 0;
        EXPECT_EQ(m_Mgr->InstallPdbFile(Write(db, std::string(c.name) + ".pdb"), type, value), c.ok);
        EXPECT_EQ(type, c.channelType);
        if (std::string(c.what) == "no appinfo") {
            EXPECT_EQ(m_Mgr->m_InstallFault, CNorvCondMgr::InstallFault::Damaged);
        }
        if (c.log.empty())
            EXPECT_THAT(Log(), IsEmpty());
        else
            EXPECT_THAT(Log(), ElementsAre(c.log));
        auto onHandheld = Get(c.name);
        if (std::string(c.what) == "name taken") {
            EXPECT_THAT(RefsIn(**onHandheld), ElementsAre("OLD kept 1.00"));
            continue;
        }
        ASSERT_EQ(onHandheld.has_value(), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ((*onHandheld)->m_Creator, kCreatorKesa);
        EXPECT_EQ(value, CHandheldStore(m_Handheld).Find(c.name)->modDate);
        std::vector<int> categories;
        for (const auto& r : (*onHandheld)->m_RecordSet) categories.push_back(r->m_Attrib & 0x0F);
        EXPECT_THAT(categories, ElementsAre(1, 1, 8));
    }
    // A catalog the service sent that cannot be read or written whole is named as the service's.
    for (const bool truncated : {true, false}) {
        palmkit::LogClear();
        const std::string id = truncated ? "C5" : "C6";
        CChannelData* channel = Channel(id);
        const std::string path =
            Write(Db(id + "cat", "CATA", truncated ? AppInfoOf(2, id + "cat") : std::vector<BYTE>{})
                      .Add(1, Item("I1", "one", "1")),
                  id + "cat.pdb");
        if (truncated) fs::resize_file(path, 40);
        channel->SetNewCatalogPdbFilepath(path);
        m_Mgr->InstallChannelPdbs(channel);
        EXPECT_THAT(Log(), ElementsAre("22\tThe catalog the service sent for channel " + id +
                                       " is damaged: it was not installed, and the handheld keeps what it had."));
        EXPECT_FALSE(Get(id + "cat").has_value());
    }
    EXPECT_THAT(Trace(), HasSubstr("$$$$$$ ZERO LENGTH Record found. Record type 2.\n"));
    EXPECT_THAT(Trace(), HasSubstr("$$$$$$ ZERO LENGTH AppInfo block found\n"));
    int type = 0;
    DWORD value = 0;
    EXPECT_FALSE(m_Mgr->InstallPdbFile(m_Dir / "files/missing.pdb", type, value));
}

TEST_F(HandheldSyncTest, GameReferenceIsTheFirstLine)
{
    Db none("None", "LIST", AppInfoOf(3, "G1cat"));
    none.Add(5, Order(""));
    Db some("Some", "LIST", AppInfoOf(3, "G1cat"));
    some.Add(5, Order("")).Add(8, Ref("QUIZ-2001", "Quiz", "0", "0", false)).Add(8, Ref("QUIZ-2002", "Q", "0", "0", 0));
    EXPECT_EQ(m_Mgr->GetGameReferenceFromPdbFile(Write(some, "some.pdb")), "QUIZ-2001");
    EXPECT_EQ(m_Mgr->GetGameReferenceFromPdbFile(Write(none, "none.pdb")), "");
    EXPECT_EQ(m_Mgr->GetGameReferenceFromPdbFile(m_Dir / "files/missing.pdb"), "");
}

TEST_F(HandheldSyncTest, AnInstalledGameIsStartedWithItsReferenceAndTimeStamp)
{
    struct Case {
        bool catalogTaken;
        const char* answer; // "Notification" or "Message"
        std::vector<std::string> log;
    };
    const std::string taken = "22\tCatalog " + (m_Dir / "files/G1cat.pdb") + " of channel G1 could not be installed.";
    const Case cases[] = {
        {true, "Notification",
         {"22\tThe database could not be created on the handheld (unknown type, or a database of that name "
          "already exists).",
          taken}},
        {false, "Message", {"22\tUnexpected error while installing a channel or starting a game."}},
    };
    for (const Case& c : cases) {
        palmkit::LogClear();
        CHandheldStore(m_Handheld).Remove("G1cat");
        CHandheldStore(m_Handheld).Remove("Quiz score");
        if (c.catalogTaken) Put(Db("G1cat", "CATA", AppInfoOf(3, "G1cat")));
        m_Mgr = std::make_unique<CNorvCondMgr>();
        ScriptedService service([&](const Query&, int) { return Answer{{Text(c.answer, "text")}}; });
        CFerrylink& client = m_Mgr->m_Ferrylink;
        ASSERT_TRUE(client.SRVQRY_OpenSession(service.Url()));
        CChannelData* channel = Channel("G1", ChannelGame);
        channel->SetNewCatalogPdbFilepath(Write(Db("G1cat", "CATA", AppInfoOf(3, "G1cat")), "G1cat.pdb"));
        channel->SetDefListPdbFilepath(
            Write(Db("Quiz score", "LIST", AppInfoOf(3, "G1cat")).Add(8, Ref("QUIZ-2001", "Q", "0", "0", false)),
                  "G1def.pdb"));

        m_Mgr->InstallChannelPdbs(channel);
        client.SRVQRY_CloseSession();

        EXPECT_EQ(Log(), c.log);
        EXPECT_TRUE(Get("Quiz score"));
        const auto queries = service.Queries();
        ASSERT_EQ(queries.size(), 1u);
        EXPECT_EQ(queries[0].Get("function"), "StartGame");
        EXPECT_EQ(queries[0].Get("Game"), "QUIZ-2001");
        const DWORD stamp = CHandheldStore(m_Handheld).Find(c.catalogTaken ? "Quiz score" : "G1cat")->modDate;
        EXPECT_EQ(queries[0].Get("Stamp"), std::to_string(std::int32_t(stamp)));
    }
}

} // namespace
