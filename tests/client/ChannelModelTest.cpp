#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "MessagesFixture.h"
#include "client/ChannelDatas.h"
#include "quillio/KesaError.h"

namespace {

class ChannelModel : public MessagesTest {};

BYTE* Malloced(const std::string& bytes)
{
    auto* p = static_cast<BYTE*>(std::malloc(bytes.size()));
    std::memcpy(p, bytes.data(), bytes.size());
    return p;
}

TEST_F(ChannelModel, NewChannelIsACatalogWithNothingSet)
{
    CChannelData channel;
    EXPECT_EQ(channel.GetChannelType(), ChannelCatalog);
    EXPECT_FALSE(channel.IsInCDL() || channel.IsInPCL() || channel.IsPalmCatalogFound() || channel.IsPalmListFound());
    EXPECT_TRUE(channel.IsSuccessful());
    EXPECT_FALSE(channel.IsChannelToDownload());
    EXPECT_FALSE(channel.IsChannelToInstall());
    EXPECT_EQ(channel.GetErrorMessageList(), "");
    EXPECT_EQ(channel.GetNbListPdbs(), 0);
    std::string a = "a", b = "b";
    EXPECT_EQ(channel.AddAdrZoneRecord("x", "y"), -1);
    EXPECT_EQ(channel.GetNbAdrZoneRecords(), 0);
    EXPECT_FALSE(channel.GetNthAdrZoneRecordInfo(a, b));
    EXPECT_EQ(a, "a");
}

TEST_F(ChannelModel, GameDataMakesAGameChannel)
{
    CChannelData channel;
    channel.SetChannelType(ChannelList);
    channel.SetGameTimestamp("1234");
    EXPECT_EQ(channel.GetChannelType(), ChannelGame);
    EXPECT_EQ(channel.GetGameTimeStamp(), "1234");
    CChannelData other;
    other.SetGameInfo("Tetra", "99");
    EXPECT_EQ(other.GetChannelType(), ChannelGame);
    EXPECT_EQ(other.GetGameName(), "Tetra");
    EXPECT_EQ(other.GetGamePoints(), "99");
}

TEST_F(ChannelModel, ListDatabasesOwnTheirBytes)
{
    CChannelData channel;
    std::string bytes = "PDBDATA";
    // Copied: the caller's bytes stay the caller's.
    CSynchPdb* copied = channel.AddListOrIODData("Liste", "Liste.pdb", reinterpret_cast<BYTE*>(bytes.data()), 7, true);
    EXPECT_NE(copied->GetData(), reinterpret_cast<BYTE*>(bytes.data()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(copied->GetData()), copied->GetLength()), bytes);
    // Taken over: released by the channel (the sanitizer build checks there is no leak).
    CSynchPdb* taken = channel.AddListOrIODData("Liste", "Other.pdb", Malloced("XY"), 2, false);
    EXPECT_EQ(channel.GetNbListPdbs(), 2);
    EXPECT_EQ(channel.GetNthListPdb(1), taken);
    EXPECT_EQ(taken->GetFileName(), "Other.pdb");
    // Duplicates allowed; the first is found; names compare with case.
    EXPECT_EQ(channel.FindListOrIODByName("Liste"), copied);
    EXPECT_EQ(channel.FindListOrIODByName("liste"), nullptr);
    EXPECT_TRUE(channel.IsChannelToDownload());
}

TEST_F(ChannelModel, GetNthListPdbOutOfRangeRaises2005WithText2003)
{
    CChannelData channel;
    channel.AddListOrIODData("L", "L.pdb", Malloced("x"), 1, false);
    for (int n : {-1, 1}) {
        try {
            channel.GetNthListPdb(n);
            ADD_FAILURE() << n;
        } catch (const CKesaError& e) {
            EXPECT_EQ(e.Number(), 2005);
            EXPECT_EQ(e.Argument(), "La réponse du serveur Norvelia est incomplète ou illisible (CChannelData::GetNthListPdb(" +
                                        std::to_string(n) + ")).");
        }
    }
}

TEST_F(ChannelModel, SuccessAndErrorList)
{
    CChannelData channel;
    CSynchPdb* a = channel.AddListOrIODData("A", "A.pdb", Malloced("a"), 1, false);
    channel.AddListOrIODData("B", "B.pdb", Malloced("b"), 1, false);
    CSynchPdb* c = channel.AddListOrIODData("C", "C.pdb", Malloced("c"), 1, false);
    channel.SetGameError("game");
    EXPECT_TRUE(channel.IsSuccessful()); // the game error does not count
    a->SetError("list A");
    EXPECT_TRUE(a->HasError());
    EXPECT_FALSE(channel.IsSuccessful());
    c->SetError("list C");
    channel.SetCatalogError("catalog");
    EXPECT_EQ(channel.GetErrorMessageList(), "list A\nlist C\ncatalog\ngame\n");

    CChannelData one;
    one.AddListOrIODData("A", "A.pdb", Malloced("a"), 1, false)->SetError("only");
    EXPECT_FALSE(one.IsSuccessful());
    EXPECT_EQ(one.GetErrorMessageList(), "only\n");
}

TEST_F(ChannelModel, DownloadAndInstall)
{
    CChannelData channel;
    channel.SetInCDL(true);
    EXPECT_TRUE(channel.IsChannelToDownload());
    EXPECT_FALSE(channel.IsChannelToInstall());
    channel.SetNewCatalogPdbFilepath("/d/Cat.pdb");
    EXPECT_TRUE(channel.IsChannelToInstall());
    EXPECT_TRUE(channel.HasNewCatalog());
    EXPECT_FALSE(channel.HasDefList());
    channel.SetRefListPdbFilepath("/d/Ref.pdb");
    EXPECT_TRUE(channel.HasRefList());
}

TEST_F(ChannelModel, ChannelIndexIgnoresCase)
{
    CChannelDatas channels;
    auto first = std::make_unique<CChannelData>();
    first->SetChannelId("Cat7");
    channels.Add(std::move(first));
    auto second = std::make_unique<CChannelData>();
    second->SetChannelId("game-B");
    channels.Add(std::move(second));
    EXPECT_EQ(channels.GetCount(), 2);
    EXPECT_EQ(channels.ChannelIndex("cAT7"), 0);
    EXPECT_EQ(channels.ChannelIndex("GAME-b"), 1);
    EXPECT_EQ(channels.GetAt(1)->GetChannelId(), "game-B");
    try {
        channels.ChannelIndex("Cat");
        FAIL() << "no error";
    } catch (const CKesaError& e) {
        EXPECT_EQ(e.Number(), 2001);
        EXPECT_EQ(e.Argument(), "La chaîne Cat est inconnue (CChannelDatas::ChannelIndex).");
    }
}

} // namespace
