// CFerrylink against scripted answers: bookkeeping, the IPC message, the
// declaration, channel processing and the game start.
#include <gmock/gmock.h>

#include <array>
#include <cstring>

#include "common/TestRun.h"
#include "client/Ferrylink.h"
#include "quillio/KesaError.h"
#include "quillio/PdbFile.h"
#include "ferrylink/FerrylinkFixture.h"
#include "ferrylink/ScriptedService.h"

using ::testing::ElementsAre;

namespace {

Answer Ok(std::vector<AnswerArg> args) { return {std::move(args), 200}; }

std::string DbBytes(const char* name)
{
    CPdbFile pdb(name, "KESA", "LIST", 0, 1, 0, 0);
    const auto bytes = pdb.ToBytes();
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

// ---- bookkeeping ----

TEST_F(FerrylinkTest, ChannelsAreFoundWithoutRegardToCaseAndKeepTheirType)
{
    CFerrylink link;
    CChannelData* c = link.AddCatalog("C7", ChannelKeepType, true);
    EXPECT_EQ(c->GetChannelType(), ChannelCatalog);
    EXPECT_TRUE(c->IsPalmCatalogFound());
    EXPECT_TRUE(c->IsInPCL());
    EXPECT_EQ(link.AddChannel("c7", ChannelKeepType, false), c);
    EXPECT_TRUE(c->IsInPCL()) << "in PCL is never set back";
    EXPECT_EQ(link.GetNbChannelsToProcess(), 1u);
    EXPECT_EQ(link.GetChannelData("C7"), c);

    const CKesaError e = Raised([&] { link.GetChannelData("C8"); });
    EXPECT_EQ(e.Number(), 2001);
    EXPECT_EQ(e.Argument(), KESA_FormatMessage(2001, "C8", "CChannelDatas::ChannelIndex"));
}

TEST_F(FerrylinkTest, ListsAreSerialisedUnderTheListNameAndGameDataSetsBothFlags)
{
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    CPdbFile pdb("Courses", "KESA", "LIST", 16, 22, 0, 0);
    link.AddList("C7", "Courses", &pdb);
    {
        std::ofstream(m_Src / "whatever.bin", std::ios::binary) << "abc";
    }
    link.AddList("C7", "Courses", std::string("whatever.bin"));

    CChannelData* c = link.GetChannelData("C7");
    EXPECT_EQ(c->GetChannelType(), ChannelList);
    EXPECT_TRUE(c->IsPalmListFound());
    ASSERT_EQ(c->GetNbListPdbs(), 2);
    const auto bytes = pdb.ToBytes();
    CSynchPdb* first = c->GetNthListPdb(0);
    EXPECT_EQ(first->GetFileName(), "Courses.pdb");
    EXPECT_EQ(first->GetPdbName(), "Courses");
    ASSERT_EQ(first->GetLength(), bytes.size());
    EXPECT_EQ(0, std::memcmp(first->GetData(), bytes.data(), bytes.size()));
    CSynchPdb* second = c->GetNthListPdb(1);
    EXPECT_EQ(second->GetFileName(), "Courses.pdb") << "the name sent ignores the file's name";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(second->GetData()), second->GetLength()), "abc");

    const CKesaError missing = Raised([&] { link.AddList("C7", "X", std::string("absent.pdb")); });
    EXPECT_EQ(missing.Number(), 2007);
    EXPECT_EQ(missing.Argument(), KESA_FormatMessage(2007, m_Src / "absent.pdb", "CFerrylink::AddList"));
    EXPECT_EQ(c->GetNbListPdbs(), 2);
    // A directory is no file to send, though it opens for reading here.
    std::filesystem::create_directory(m_Src / "folder.pdb");
    const CKesaError folder = Raised([&] { link.AddList("C7", "X", std::string("folder.pdb")); });
    EXPECT_EQ(folder.Number(), 2007);
    EXPECT_EQ(folder.Argument(), KESA_FormatMessage(2007, m_Src / "folder.pdb", "CFerrylink::AddList"));
    EXPECT_EQ(c->GetNbListPdbs(), 2);

    link.AddGameScore("G1", "QUIZ", "42");
    link.AddGameScoreTimestamp("g1", "3000");
    CChannelData* g = link.GetChannelData("G1");
    EXPECT_EQ(g->GetChannelType(), ChannelGame);
    EXPECT_TRUE(g->IsPalmListFound() && g->IsPalmCatalogFound() && g->IsInPCL());
    EXPECT_EQ(g->GetGamePoints(), "42");
    EXPECT_EQ(g->GetGameTimeStamp(), "3000");
}

TEST_F(FerrylinkTest, ListFromAFileSetsTheFoundFlagOnlyWhenRead)
{
    std::ofstream(m_Src / "whole.pdb", std::ios::binary) << "abc";
    // A kernel attribute file claims a page and reads much less: a file shorter than its length.
    std::string shortFile;
    for (const char* candidate : {"/sys/kernel/profiling", "/sys/kernel/mm/transparent_hugepage/enabled",
                                  "/sys/power/state", "/sys/kernel/uevent_seqnum"}) {
        std::error_code ec;
        const auto claimed = std::filesystem::file_size(candidate, ec);
        const std::string bytes = ReadAll(candidate);
        if (!ec && !bytes.empty() && claimed > bytes.size()) {
            shortFile = candidate;
            break;
        }
    }
    if (!shortFile.empty()) std::filesystem::create_symlink(shortFile, m_Src / "short.pdb");

    struct Case {
        std::string file;
        int raised; // -1: none
        bool found;
    };
    const Case cases[] = {
        {"whole.pdb", -1, true},
        {"absent.pdb", 2007, false},
        {"short.pdb", 2008, false},
    };
    for (const Case& c : cases) {
        if (c.file == "short.pdb" && shortFile.empty()) continue; // no such file on this machine
        CFerrylink link;
        link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
        const CKesaError e = Raised([&] { link.AddList("L1", "Courses", c.file); });
        EXPECT_EQ(e.Number(), c.raised) << c.file;
        if (c.raised != -1) {
            EXPECT_EQ(e.Argument(), KESA_FormatMessage(c.raised, m_Src / c.file, "CFerrylink::AddList")) << c.file;
        }
        CChannelData* channel = link.GetChannelData("L1");
        EXPECT_EQ(channel->IsPalmListFound(), c.found) << c.file;
        EXPECT_EQ(channel->GetNbListPdbs(), c.found ? 1 : 0) << c.file;
        EXPECT_EQ(channel->GetChannelType(), ChannelList) << c.file;
    }
}

TEST_F(FerrylinkTest, IpcMessageIs260BytesToTheWindowOfTheLastSetIpc)
{
    std::vector<std::string> received;
    HWND window = platform::RegisterWindow([&](WPARAM w, const COPYDATASTRUCT& data) -> LRESULT {
        EXPECT_EQ(w, 0u);
        EXPECT_EQ(data.dwData, 0u);
        received.emplace_back(static_cast<const char*>(data.lpData), data.cbData);
        return 1;
    });
    {
        CFerrylink link;
        link.SendIPCMsg(1, "before");
        link.SetIPC(window);
        link.SendIPCMsg(0x01020304, "Chaine C7");
        link.SendIPCMsg(2, std::string(300, 'x'));
    }
    CFerrylink second; // forgets the window
    second.SendIPCMsg(1, "after");
    platform::UnregisterWindow(window);

    ASSERT_EQ(received.size(), 2u);
    for (const std::string& p : received) ASSERT_EQ(p.size(), 260u);
    EXPECT_EQ(received[0].substr(0, 4), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(received[0].substr(4, 10), std::string("Chaine C7\0", 10));
    EXPECT_EQ(received[1].substr(0, 4), std::string("\x02\0\0\0", 4));
    EXPECT_EQ(received[1].substr(4, 255), std::string(255, 'x'));
    EXPECT_EQ(received[1][259], '\0');
}

// ---- declaration ----

TEST_F(FerrylinkTest, DeclarationSendsItsArgumentsInOrderWithTheTraceFile)
{
    ScriptedService service([](const Query&, int) { return Ok({Text("CDL", "")}); });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    link.ServerTraceEnable(true, "/ignored");
    link.SetUID("u1");
    link.SetPWD("pw");
    link.SetKesaVers("2.3");
    link.AddCatalog("C1", ChannelCatalog, true); // catalog only: not declared
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_DeclareCatalogs();

    link.AddChannel("C7", ChannelList, true)->SetPalmListFound(true);
    link.AddCatalog("C7", ChannelKeepType, true);
    link.AddGameScore("G1", "Q", "1");
    link.AddGameScoreTimestamp("G1", "9");
    link.SRVQRY_DeclareCatalogs();
    EXPECT_EQ(link.GetNbChannelsToProcess(), 3u);
    for (unsigned i = 0; i < link.GetNbChannelsToProcess(); ++i)
        EXPECT_FALSE(link.GetChannelData(int(i))->IsInCDL()) << "an empty CDL declares nothing";
    link.SRVQRY_CloseSession();

    const auto q = service.Queries();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].body, BuildAnswer({Text("function", "DeclareChannels"), Text("UID", "u1"), Text("PWD", "pw"),
                                      Text("CIDList", ""), Text("NorvVers", "2.3"),
                                      Text("tracefile", "u1\\DeclareChannels.log")}));
    EXPECT_EQ(q[1].Get("CIDList"), "C7;G1");
}

TEST_F(FerrylinkTest, CdlPiecesMarkExistingChannelsWhateverTheirCase)
{
    ScriptedService service([](const Query&, int) { return Ok({Text("CDL", ";c7;;B;")}); });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    link.AddCatalog("C7", ChannelList, true)->SetPalmListFound(true);
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_DeclareCatalogs();

    ASSERT_EQ(link.GetNbChannelsToProcess(), 2u);
    EXPECT_EQ(link.GetChannelData(0)->GetChannelId(), "C7");
    EXPECT_TRUE(link.GetChannelData(0)->IsInCDL());
    CChannelData* b = link.GetChannelData(1);
    EXPECT_EQ(b->GetChannelId(), "B");
    EXPECT_TRUE(b->IsInCDL());
    EXPECT_FALSE(b->IsInPCL());
    EXPECT_EQ(b->GetChannelType(), ChannelCatalog);
    EXPECT_FALSE(link.HasNorveliaToInstall());
    EXPECT_FALSE(link.HasUserPdbToInstall());
}

TEST_F(FerrylinkTest, DeclarationStoresApplicationAndUserContextUnderFixedNames)
{
    int round = 0;
    ScriptedService service([&](const Query&, int) {
        if (round == 0)
            return Ok({Text("CDL", "A"), Text("ReceiveVersion", "2.4"), File("NorveliaPrc", "x.prc", "PRC"),
                       File("UserPdb", "other.pdb", "USR")});
        if (round == 1) return Ok({Text("CDL", "A"), Text("ReceiveVersion", "")});
        return Ok({Text("CDL", "A"), Text("ReceiveVersion", ""), File("NorveliaPrc", "y.prc", "NEW")});
    });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_DeclareCatalogs();
    EXPECT_EQ(link.GetNewKesaVers(), "2.4");
    EXPECT_EQ(link.GetNorveliaFilepath(), m_Dst / "norvelia.prc");
    EXPECT_EQ(ReadAll(m_Dst / "norvelia.prc"), "PRC");
    EXPECT_EQ(link.GetUserPdbFilepath(), m_Dst / "USERCTX.pdb");
    EXPECT_EQ(ReadAll(m_Dst / "USERCTX.pdb"), "USR");
    EXPECT_FALSE(Exists(m_Dst / "x.prc"));

    // An empty version: no application looked for, the version becomes empty.
    round = 1;
    link.SRVQRY_DeclareCatalogs();
    EXPECT_EQ(link.GetNewKesaVers(), "");
    EXPECT_FALSE(link.HasNorveliaToInstall());
    EXPECT_TRUE(link.HasUserPdbToInstall()) << "the user context path stays";

    // An empty version ignores an application file that the answer carries all the same.
    round = 2;
    link.SRVQRY_DeclareCatalogs();
    EXPECT_EQ(link.GetNewKesaVers(), "");
    EXPECT_FALSE(link.HasNorveliaToInstall());
    EXPECT_EQ(ReadAll(m_Dst / "norvelia.prc"), "PRC");
}

TEST_F(FerrylinkTest, DeclarationFailuresRaiseTheirNumbers)
{
    int mode = 0;
    ScriptedService service([&](const Query&, int) -> Answer {
        if (mode == 0) return Ok({Text("Message", "Compte suspendu")});
        if (mode == 1) return Ok({Text("Other", "x")});
        if (mode == 2) return {{}, 500};
        return Ok({Text("CDL", "A"), Text("ReceiveVersion", "9"), File("NorveliaPrc", "n.prc", "P")});
    });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst / "missing-dir");
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));

    CKesaError e = Raised([&] { link.SRVQRY_DeclareCatalogs(); });
    EXPECT_EQ(e.Number(), 2010);
    EXPECT_EQ(e.Argument(), KESA_FormatMessage(2010, "Compte suspendu"));
    mode = 1;
    e = Raised([&] { link.SRVQRY_DeclareCatalogs(); });
    EXPECT_EQ(e.Number(), 2003);
    EXPECT_EQ(e.Argument(), KESA_FormatMessage(2003, "SRVQRY_DeclareCatalogs -> CDL"));
    mode = 2;
    e = Raised([&] { link.SRVQRY_DeclareCatalogs(); });
    EXPECT_EQ(e.Number(), 2012);
    EXPECT_EQ(e.Argument(),
              KESA_FormatMessage(2012, KESA_FormatMessage(2011, "CKesaSession::ProcessRequest", "500")));
    mode = 3;
    e = Raised([&] { link.SRVQRY_DeclareCatalogs(); });
    EXPECT_EQ(e.Number(), 2007);
    EXPECT_EQ(e.Argument(), KESA_FormatMessage(2007, m_Dst / "missing-dir/norvelia.prc", ""));
    EXPECT_FALSE(link.HasNorveliaToInstall());
}

// ---- channel processing ----

TEST_F(FerrylinkTest, ThreeListsWithTheSecondFailingAndAnEmptyProcessDate)
{
    ScriptedService service([](const Query& q, int index) -> Answer {
        if (q.Get("function") != "ProcessList") return {{}, 500};
        if (index == 1) return {{}, 500};
        if (index == 2) return Ok({Text("ProcessDate", "2001-05-03T10:20:30")});
        return Ok({Text("ProcessDate", "2001-05-03T10:20:3" + std::to_string(index))});
    });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    link.ServerTraceEnable(true, "");
    link.SetUID("u1");
    link.SetPWD("pw");
    for (const char* name : {"L0", "L1", "L2"}) {
        CPdbFile pdb(name, "KESA", "LIST", 0, 1, 0, 0);
        link.AddList("C7", name, &pdb);
    }
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_ProcessChannel(0);

    CChannelData* c = link.GetChannelData(0);
    EXPECT_EQ(c->GetNthListPdb(0)->GetProcessDate(), "2001-05-03T10:20:30");
    EXPECT_FALSE(c->GetNthListPdb(0)->HasError());
    EXPECT_TRUE(c->GetNthListPdb(1)->HasError());
    EXPECT_EQ(c->GetNthListPdb(1)->GetErrorMessage(),
              KESA_FormatMessage(2013, "L1.pdb", "C7", KESA_FormatMessage(2011, "CKesaSession::ProcessRequest", "500")));
    EXPECT_EQ(c->GetNthListPdb(2)->GetProcessDate(), "2001-05-03T10:20:30");
    EXPECT_FALSE(c->IsSuccessful());
    EXPECT_EQ(link.WaitAllChannelsProcessed(), 0u);

    const auto q = service.Queries();
    ASSERT_EQ(q.size(), 3u) << "no catalog query: the channel is not in the CDL";
    EXPECT_THAT(q[1].Names(), ElementsAre("function", "UID", "PWD", "CID", "IODBinData", "tracefile"));
    EXPECT_EQ(q[1].Get("IODBinData"), "L1.pdb");
    EXPECT_EQ(q[1].args[4].bytes, DbBytes("L1"));
    EXPECT_EQ(q[1].Get("tracefile"), "u1\\ProcessList_C7_1.log");
}

TEST_F(FerrylinkTest, EmptyProcessDateIsAFailureWithTheMessageOrTheFallback)
{
    ScriptedService service([](const Query&, int index) {
        if (index == 0) return Ok({Text("ProcessDate", "")});
        return Ok({Text("ProcessDate", ""), Text("Message", "Liste vide")});
    });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    for (const char* name : {"L0", "L1"}) {
        CPdbFile pdb(name, "KESA", "LIST", 0, 1, 0, 0);
        link.AddList("C7", name, &pdb);
    }
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_ProcessChannel(0);
    CChannelData* c = link.GetChannelData(0);
    EXPECT_EQ(c->GetNthListPdb(0)->GetErrorMessage(),
              KESA_FormatMessage(2013, "L0.pdb", "C7", KESA_FormatMessage(2003, "SRVQRY_ProcessChannel/ProcessList")));
    EXPECT_EQ(c->GetNthListPdb(1)->GetErrorMessage(), KESA_FormatMessage(2013, "L1.pdb", "C7", "Liste vide"));
    EXPECT_EQ(c->GetNthListPdb(1)->GetProcessDate(), "");
}

TEST_F(FerrylinkTest, CatalogQueryAsksForTheDefaultListUnlessAListChannelIsOnTheHandheld)
{
    ScriptedService service([](const Query& q, int) {
        if (q.Get("function") == "ProcessList") return Ok({Text("ProcessDate", "2001-01-01T00:00:00")});
        return Ok({Text("Message", "rien")});
    });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    link.ServerTraceEnable(true, "");
    link.SetUID("u1");
    link.SetPWD("secret");
    CPdbFile pdb("L", "KESA", "LIST", 0, 1, 0, 0);
    link.AddList("LISTIN", "L", &pdb);                                  // list, in PCL
    link.AddCatalog("CATIN", ChannelCatalog, true);                      // catalog, in PCL
    link.AddChannel("LISTOUT", ChannelList, false);                      // list, not in PCL
    link.AddChannel("NOTCDL", ChannelCatalog, true);                     // stays out of the CDL
    for (const char* id : {"LISTIN", "CATIN", "LISTOUT"}) link.GetChannelData(id)->SetInCDL(true);
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    for (int i = 0; i < 4; ++i) link.SRVQRY_ProcessChannel(i);

    const auto q = service.Queries();
    ASSERT_EQ(q.size(), 4u);
    EXPECT_EQ(q[0].Get("function"), "ProcessList");
    EXPECT_EQ(q[1].body, BuildAnswer({Text("function", "GetUpToDateCatalog"), Text("UID", "u1"),
                                      Text("CID", "LISTIN"), Text("DefListRequested", "no"),
                                      Text("tracefile", "u1\\GetUpToDateCatalog_LISTIN.log")}));
    EXPECT_EQ(q[2].Get("CID"), "CATIN");
    EXPECT_EQ(q[2].Get("DefListRequested"), "yes");
    EXPECT_EQ(q[3].Get("CID"), "LISTOUT");
    EXPECT_EQ(q[3].Get("DefListRequested"), "yes");
    EXPECT_EQ(link.GetChannelData("CATIN")->GetCatalogErrorMessage(), KESA_FormatMessage(2014, "CATIN", "rien", "000"));
    EXPECT_TRUE(link.GetChannelData("NOTCDL")->IsSuccessful());
}

TEST_F(FerrylinkTest, GameChannelSendsItsScoreThenAsksForItsCatalog)
{
    ScriptedService service([](const Query& q, int) {
        if (q.Get("function") == "ProcessGame") return Ok({Text("Message", "Jeu clos")});
        return Ok({File("CatalogBinData", "G1cat.pdb", "CAT"), File("RefListBinData", "G1ref.pdb", "REF")});
    });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    link.ServerTraceEnable(true, "");
    link.SetUID("u1");
    link.SetPWD("secret");
    link.AddGameScore("G1", "QUIZ", "17");
    link.AddGameScoreTimestamp("G1", "3600");
    link.GetChannelData("G1")->SetInCDL(true);
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_ProcessChannel(0);

    const auto q = service.Queries();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].body, BuildAnswer({Text("function", "ProcessGame"), Text("UID", "u1"), Text("Game", "QUIZ"),
                                      Text("Points", "17"), Text("Stamp", "3600"),
                                      Text("tracefile", "u1\\ProcessGame_G1.log")}));
    EXPECT_EQ(q[1].Get("DefListRequested"), "yes");

    CChannelData* g = link.GetChannelData(0);
    EXPECT_EQ(g->GetErrorMessageList(), KESA_FormatMessage(2050, "G1", "Jeu clos") + "\n");
    EXPECT_TRUE(g->IsSuccessful()) << "the game error does not count";
    EXPECT_EQ(g->GetNewCatalogPdbFilepath(), m_Dst / "G1cat.pdb");
    EXPECT_EQ(g->GetRefListPdbFilepath(), m_Dst / "G1ref.pdb");
    EXPECT_FALSE(g->HasDefList());
    EXPECT_EQ(ReadAll(m_Dst / "G1cat.pdb"), "CAT");
    EXPECT_EQ(ReadAll(m_Dst / "G1ref.pdb"), "REF");
    EXPECT_EQ(link.GetNbChannelsToInstall(), 1);
}

TEST_F(FerrylinkTest, ReceivedFileNamesThatLeaveTheDestinationAreRefused)
{
    std::string catalogName, defName;
    ScriptedService service([&](const Query&, int) {
        std::vector<AnswerArg> args = {File("CatalogBinData", catalogName, "CAT")};
        if (!defName.empty()) args.push_back(File("DefListBinData", defName, "DEF"));
        return Ok(args);
    });
    CFerrylink link;
    const std::string dst = m_Dst / "dst";
    std::filesystem::create_directory(dst);
    link.Initialize(nullptr, m_Src.Path(), dst);
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));

    const std::vector<std::string> bad = {"../evil.pdb", "sub/x.pdb", "a\\b.pdb", "..", std::string("x\0y", 3)};
    int index = 0;
    for (const std::string& name : bad) {
        catalogName = name;
        CChannelData* c = link.AddChannel("C" + std::to_string(index), ChannelCatalog, false);
        c->SetInCDL(true);
        link.SRVQRY_ProcessChannel(index++);
        EXPECT_EQ(c->GetCatalogErrorMessage(), KESA_FormatMessage(2015, dst + "/" + name, c->GetChannelId(), ""))
            << name;
        EXPECT_FALSE(c->HasNewCatalog()) << name;
    }
    EXPECT_FALSE(Exists(m_Dst / "evil.pdb"));
    EXPECT_TRUE(std::filesystem::is_empty(dst));

    // The catalog is stored, the default list refused.
    catalogName = "D1cat.pdb";
    defName = "../D1def.pdb";
    CChannelData* d = link.AddChannel("D1", ChannelCatalog, false);
    d->SetInCDL(true);
    link.SRVQRY_ProcessChannel(index);
    EXPECT_EQ(ReadAll(dst + "/D1cat.pdb"), "CAT");
    EXPECT_EQ(d->GetCatalogErrorMessage(), KESA_FormatMessage(2016, dst + "/../D1def.pdb", "D1", ""));
    EXPECT_FALSE(d->HasDefList());
    EXPECT_FALSE(Exists(m_Dst / "D1def.pdb"));
}

TEST_F(FerrylinkTest, CatalogExchangeFailureCarriesTheErrorNumber)
{
    ScriptedService service([](const Query&, int) -> Answer { return {{}, 403}; });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst / "nowhere");
    link.AddChannel("C1", ChannelCatalog, false)->SetInCDL(true);
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_ProcessChannel(0);
    const std::string cause = KESA_FormatMessage(2045, "CKesaSession::ProcessRequest");
    EXPECT_EQ(link.GetChannelData(0)->GetCatalogErrorMessage(), KESA_FormatMessage(2014, "C1", cause, 2045));
}

TEST_F(FerrylinkTest, UnwritableCatalogKeepsItsPathWithTheError)
{
    ScriptedService service([](const Query&, int) { return Ok({File("CatalogBinData", "C1cat.pdb", "CAT")}); });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst / "nowhere");
    link.AddChannel("C1", ChannelCatalog, false)->SetInCDL(true);
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_ProcessChannel(0);
    const std::string path = m_Dst / "nowhere/C1cat.pdb";
    EXPECT_EQ(link.GetChannelData(0)->GetCatalogErrorMessage(), KESA_FormatMessage(2015, path, "C1", ""));
    EXPECT_EQ(link.GetChannelData(0)->GetNewCatalogPdbFilepath(), path);
}

TEST_F(FerrylinkTest, FailedGameExchangeSetsOnlyTheGameErrorAndTheCatalogQueryFollows)
{
    ScriptedService service([](const Query& q, int) -> Answer {
        if (q.Get("function") == "ProcessGame") return {{}, 500};
        return Ok({File("CatalogBinData", "G1cat.pdb", "CAT")});
    });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    link.AddGameScore("G1", "QUIZ", "17");
    link.AddGameScore("G2", "QUIZ", "5");
    link.GetChannelData("G1")->SetInCDL(true);
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_ProcessChannel(0);
    link.SRVQRY_ProcessChannel(1);

    const auto q = service.Queries();
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[0].Get("function"), "ProcessGame");
    EXPECT_EQ(q[1].Get("function"), "GetUpToDateCatalog") << "a failed game exchange does not end the channel";
    EXPECT_EQ(q[2].Get("function"), "ProcessGame") << "not in the CDL: no catalog query";
    EXPECT_THAT(q[0].Names(), ElementsAre("function", "UID", "Game", "Points", "Stamp"));

    CChannelData* g1 = link.GetChannelData(0);
    const std::string cause = KESA_FormatMessage(2011, "CKesaSession::ProcessRequest", "500");
    EXPECT_EQ(g1->GetErrorMessageList(), KESA_FormatMessage(2050, "G1", cause) + "\n");
    EXPECT_TRUE(g1->IsSuccessful());
    EXPECT_FALSE(g1->HasCatalogError());
    EXPECT_EQ(g1->GetNewCatalogPdbFilepath(), m_Dst / "G1cat.pdb");
    EXPECT_EQ(g1->GetGamePoints(), "17");
    CChannelData* g2 = link.GetChannelData(1);
    EXPECT_EQ(g2->GetErrorMessageList(), KESA_FormatMessage(2050, "G2", cause) + "\n");
    EXPECT_FALSE(g2->HasNewCatalog());
    EXPECT_EQ(link.WaitAllChannelsProcessed(), 2u);
}

TEST_F(FerrylinkTest, GameNotificationIsSuccessAndStoresNothing)
{
    ScriptedService service([](const Query&, int) { return Ok({Text("Notification", "")}); });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    link.AddGameScore("G1", "QUIZ", "17");
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_ProcessChannel(0);
    EXPECT_EQ(service.Queries().size(), 1u);
    EXPECT_FALSE(link.GetChannelData(0)->HasGameError()) << "an empty Notification is still present";
    EXPECT_EQ(link.GetChannelData(0)->GetErrorMessageList(), "");
}

TEST_F(FerrylinkTest, UnwritableReferenceListKeepsItsPathWithError2016)
{
    ScriptedService service([](const Query&, int) {
        return Ok({File("CatalogBinData", "C1cat.pdb", "CAT"), File("DefListBinData", "C1def.pdb", "DEF"),
                   File("RefListBinData", "C1ref.pdb", "REF")});
    });
    // A directory where the reference list should go: it cannot be written.
    std::filesystem::create_directory(m_Dst / "C1ref.pdb");
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    link.AddChannel("C1", ChannelCatalog, false)->SetInCDL(true);
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    link.SRVQRY_ProcessChannel(0);
    CChannelData* c = link.GetChannelData(0);
    const std::string path = m_Dst / "C1ref.pdb";
    EXPECT_EQ(c->GetCatalogErrorMessage(), KESA_FormatMessage(2016, path, "C1", ""));
    EXPECT_EQ(c->GetCatalogErrorMessage(), "La liste " + path + " de la chaîne C1 n'a pas pu être enregistrée.");
    EXPECT_EQ(c->GetRefListPdbFilepath(), path);
    EXPECT_EQ(c->GetDefListPdbFilepath(), m_Dst / "C1def.pdb");
    EXPECT_EQ(ReadAll(m_Dst / "C1def.pdb"), "DEF");
    EXPECT_EQ(ReadAll(m_Dst / "C1cat.pdb"), "CAT");
    EXPECT_FALSE(c->IsSuccessful());
}

// ---- game start ----

TEST_F(FerrylinkTest, StartGameRaises2050WithTheServiceMessage)
{
    int mode = 0;
    ScriptedService service([&](const Query&, int) -> Answer {
        if (mode == 0) return Ok({Text("Notification", "ok")});
        if (mode == 1) return Ok({Text("Message", "Partie refusee")});
        if (mode == 2) return Ok({});
        return {{}, 500};
    });
    CFerrylink link;
    link.ServerTraceEnable(true, "");
    link.SetUID("u1");
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));
    EXPECT_EQ(Raised([&] { link.SRVQRY_StartGame("QUIZ", "77"); }).Number(), -1);
    EXPECT_EQ(service.Queries()[0].body,
              BuildAnswer({Text("function", "StartGame"), Text("UID", "u1"), Text("Game", "QUIZ"), Text("Stamp", "77"),
                           Text("tracefile", "u1\\StartGame_QUIZ.log")}));
    mode = 1;
    CKesaError e = Raised([&] { link.SRVQRY_StartGame("QUIZ", "77"); });
    EXPECT_EQ(e.Number(), 2050);
    EXPECT_EQ(e.Argument(), KESA_FormatMessage(2050, "QUIZ", "Partie refusee"));
    mode = 2;
    e = Raised([&] { link.SRVQRY_StartGame("QUIZ", "77"); });
    EXPECT_EQ(e.Argument(), KESA_FormatMessage(2050, "QUIZ", KESA_FormatMessage(2003, "SRVQRY_ProcessChannel/ProcessGame")));
    mode = 3;
    e = Raised([&] { link.SRVQRY_StartGame("QUIZ", "77"); });
    EXPECT_EQ(e.Number(), 2050);
    EXPECT_EQ(e.Argument(),
              KESA_FormatMessage(2050, "QUIZ", KESA_FormatMessage(2011, "CKesaSession::ProcessRequest", "500")));
}

TEST_F(FerrylinkTest, MessagesReadAsTheCatalogSays)
{
    // One literal check that the inserts land where the French catalog puts them.
    EXPECT_EQ(KESA_FormatMessage(2013, "L1.pdb", "C7", "x"),
              "La liste L1.pdb de la chaîne C7 n'a pas pu être envoyée : x");
    EXPECT_EQ(KESA_FormatMessage(2014, "C1", "x", 2045),
              "Le catalogue de la chaîne C1 n'a pas pu être obtenu : x (code 2045)");
}
