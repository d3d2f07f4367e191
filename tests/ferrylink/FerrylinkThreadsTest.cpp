// Channel processing on one thread and game starts on another share one
// CFerrylink: their queries must never overlap.
#include <atomic>
#include <thread>

#include "client/Ferrylink.h"
#include "quillio/KesaError.h"
#include "quillio/PdbFile.h"
#include "ferrylink/FerrylinkFixture.h"
#include "ferrylink/ScriptedService.h"

TEST_F(FerrylinkTest, ChannelQueriesAndGameStartsAreSerialised)
{
    ScriptedService service([](const Query& q, int) -> Answer {
        // Gives an overlapping query time to arrive.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (q.Get("function") == "StartGame") return {{Text("Notification", "ok")}, 200};
        if (q.Get("function") == "ProcessList") return {{Text("ProcessDate", "2001-01-01T00:00:00")}, 200};
        return {{File("CatalogBinData", q.Get("CID") + "cat.pdb", "CAT")}, 200};
    });
    CFerrylink link;
    link.Initialize(nullptr, m_Src.Path(), m_Dst.Path());
    link.SetUID("u1");
    constexpr int kChannels = 12;
    for (int i = 0; i < kChannels; ++i) {
        const std::string id = "C" + std::to_string(i);
        CPdbFile pdb("L", "KESA", "LIST", 0, 1, 0, 0);
        link.AddList(id, "L", &pdb);
        link.GetChannelData(id)->SetInCDL(true);
    }
    ASSERT_TRUE(link.SRVQRY_OpenSession(service.Url()));

    std::atomic<int> processed{0};
    std::thread worker([&] {
        for (int i = 0; i < kChannels; ++i) {
            link.SRVQRY_ProcessChannel(i);
            processed.store(i + 1);
        }
    });
    int started = 0;
    std::string failure;
    // The HotSync thread reads only channels already processed.
    while (processed.load() < kChannels || started < kChannels) {
        try {
            link.SRVQRY_StartGame("QUIZ", std::to_string(started));
        } catch (const CKesaError& e) {
            failure = e.Argument();
            break;
        }
        ++started;
        const int done = processed.load();
        if (done > 0) {
            EXPECT_TRUE(link.ChannelSucceeded(done - 1));
        }
    }
    worker.join();
    link.SRVQRY_CloseSession();

    EXPECT_EQ(failure, "");
    EXPECT_EQ(service.MaxInFlight(), 1);
    EXPECT_EQ(link.WaitAllChannelsProcessed(), unsigned(kChannels));
    EXPECT_EQ(int(service.Queries().size()), 2 * kChannels + started);
}
