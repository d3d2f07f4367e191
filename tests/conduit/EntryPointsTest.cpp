// The conduit library's entry points, looked up with dlopen as the HotSync
// Manager does: every result code of their argument checks and mappings.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/TestFiles.h"
#include "conduit/RecordingUiHost.h"
#include "hotsync/ConduitLibrary.h"
#include "palmkit/Condapi.h"
#include "palmkit/Handheld.h"
#include "palmkit/HandheldStore.h"
#include "palmkit/HsLog.h"
#include "palmkit/SyncMgr.h"

namespace {

class EntryPointsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_Lib.Load(NORV_BINARY_DIR "/lib/libNorv30.so", &error)) << error;
        m_Name = m_Lib.Get<GetConduitNameFn>(kGetConduitNameName);
        m_Info = m_Lib.Get<GetConduitInfoFn>(kGetConduitInfoName);
        m_Cfg = m_Lib.Get<CfgConduitFn>(kCfgConduitName);
        m_Configure = m_Lib.Get<ConfigureConduitFn>(kConfigureConduitName);
        m_Open = m_Lib.Get<OpenConduitFn>(kOpenConduitName);
        ASSERT_TRUE(m_Name && m_Info && m_Cfg && m_Configure && m_Open);
        platform::SetUiHost(&m_Host);
    }
    void TearDown() override { platform::SetUiHost(nullptr); }

    static CfgConduitInfo Block(DWORD syncType)
    {
        CfgConduitInfo block{};
        block.m_dwVersion = kCfgConduitVersion;
        block.m_dwSize = sizeof block;
        block.m_dwUserId = 42;
        std::strcpy(block.m_szUser, "Anne");
        block.m_syncTemporary = syncType;
        block.m_syncNew = 99;
        block.m_syncPref = 99;
        return block;
    }

    CConduitLibrary m_Lib;
    GetConduitNameFn m_Name = nullptr;
    GetConduitInfoFn m_Info = nullptr;
    CfgConduitFn m_Cfg = nullptr;
    ConfigureConduitFn m_Configure = nullptr;
    OpenConduitFn m_Open = nullptr;
    RecordingUiHost m_Host;
};

extern "C" long Progress(const char*)
{
    return 0;
}

TEST_F(EntryPointsTest, NameVersionAndSubscriptions)
{
    struct Case {
        WORD length;
        std::string expected; // the whole buffer
    };
    const Case cases[] = {
        {1, std::string(1, '\0')},
        {5, std::string("Norv\0", 5)},
        {9, std::string("Norvelia\0", 9)},
        {12, std::string("Norvelia\0\0\0\0", 12)},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(c.length, '\x55');
        EXPECT_EQ(m_Name(buffer.data(), c.length), 0);
        EXPECT_EQ(std::string(buffer.data(), buffer.size()), c.expected) << c.length;

        std::vector<char> out(c.length, '\x55');
        ConduitRequestInfo request{};
        request.m_dwVersion = 1;
        request.m_dwSize = 80;
        DWORD length = c.length;
        EXPECT_EQ(m_Info(eConduitName, &request, out.data(), &length), 0);
        EXPECT_EQ(std::string(out.data(), out.size()), c.expected) << c.length;
    }
    // No buffer: refused with the code GetConduitInfo gives, nothing written.
    EXPECT_EQ(m_Name(nullptr, 9), 4209);
    EXPECT_EQ(m_Lib.Get<GetConduitVersionFn>(kGetConduitVersionName)(), 257u);
    auto subscription = m_Lib.Get<SubscriptionSupportedFn>(kSubscriptionSupportedName);
    ASSERT_NE(subscription, nullptr);
    EXPECT_EQ(subscription(), 0);
}

TEST_F(EntryPointsTest, ConduitInfoCodes)
{
    ConduitRequestInfo good{};
    good.m_dwVersion = 1;
    good.m_dwSize = 80;
    ConduitRequestInfo oldVersion = good;
    oldVersion.m_dwVersion = 2;
    ConduitRequestInfo badSize = good;
    badSize.m_dwSize = 76;
    struct Case {
        int kind;
        void* in;
        bool out;
        bool lengthGiven;
        DWORD length;
        long result;
        DWORD written; // the value in the output when the result is 0
    };
    const Case cases[] = {
        {0, &good, false, false, 4, 4209, 0},
        {0, &good, true, false, 4, 4215, 0},
        {0, nullptr, true, true, 4, 4212, 0},
        {0, &oldVersion, true, true, 4, 4213, 0},
        {0, &badSize, true, true, 4, 4213, 0},
        {1, nullptr, true, true, 4, 0, 1280},
        {2, nullptr, true, true, 4, 0, 0},
        {1, nullptr, true, true, 8, 4211, 0},
        {2, nullptr, true, true, 2, 4211, 0},
        {3, nullptr, true, true, 4, 4208, 0},
        {-1, &good, true, true, 4, 4208, 0},
    };
    for (const Case& c : cases) {
        BYTE out[8];
        std::memset(out, 0xAA, sizeof out);
        DWORD length = c.length;
        const long r = m_Info(c.kind, c.in, c.out ? out : nullptr, c.lengthGiven ? &length : nullptr);
        EXPECT_EQ(r, c.result) << "kind " << c.kind << " length " << c.length;
        if (r == 0 && c.kind != 0) {
            DWORD value = 0;
            std::memcpy(&value, out, 4);
            EXPECT_EQ(value, c.written);
        }
        if (r != 0) {
            EXPECT_EQ(out[0], 0xAA) << "written on failure, kind " << c.kind;
        }
    }
}

TEST_F(EntryPointsTest, CfgConduitArgumentCodes)
{
    CfgConduitInfo block = Block(0);
    CfgConduitInfo oldVersion = Block(0);
    oldVersion.m_dwVersion = 2;
    DWORD size = sizeof block;
    DWORD small = 351;
    struct Case {
        int kind;
        void* block;
        DWORD* size;
        long result;
    };
    const Case cases[] = {
        {0, nullptr, nullptr, 4212}, {0, nullptr, &size, 4212}, {0, &block, nullptr, 4216},
        {0, &block, &small, 4218},   {1, &block, &size, 4217},  {0, &oldVersion, &size, 4219},
    };
    for (const Case& c : cases) EXPECT_EQ(m_Cfg(c.kind, c.block, c.size), c.result);
    EXPECT_TRUE(m_Host.askedName.empty()) << "no dialog on an argument error";
}

TEST_F(EntryPointsTest, CfgConduitMapsTheAction)
{
    struct Case {
        DWORD current;
        bool confirm;
        int chosen;
        bool makeDefault;
        int askedAction;
        long result;
        DWORD syncNew, syncPref;
    };
    const Case cases[] = {
        {0, true, 3, true, 0, 0, eDoNothing, ePermanentPreference},
        {6, true, 1, false, 3, 0, eFast, eTemporaryPreference},
        {3, true, 2, true, 0, 0, eFast, ePermanentPreference},
        {5, true, 0, false, 3, 0, eFast, eTemporaryPreference},
        {6, false, 0, false, 3, -1, 99, 99},
    };
    for (const Case& c : cases) {
        m_Host.confirmAction = c.confirm;
        m_Host.chosenAction = c.chosen;
        m_Host.makeDefault = c.makeDefault;
        CfgConduitInfo block = Block(c.current);
        DWORD size = sizeof block;
        EXPECT_EQ(m_Cfg(eCfgStandard, &block, &size), c.result);
        EXPECT_EQ(m_Host.askedName, "Norvelia");
        EXPECT_EQ(m_Host.askedAction, c.askedAction) << c.current;
        EXPECT_EQ(block.m_syncNew, c.syncNew) << c.current;
        EXPECT_EQ(block.m_syncPref, c.syncPref) << c.current;
    }
    EXPECT_TRUE(m_Host.messages.empty());
}

TEST_F(EntryPointsTest, ConfigureConduitMapsTheAction)
{
    struct Case {
        int current;
        bool confirm;
        int chosen;
        bool makeDefault;
        int askedAction;
        long result;
        int syncType, syncPref;
    };
    const Case cases[] = {
        {6, true, 3, false, 3, 0, eDoNothing, eTemporaryPreference},
        {6, true, 0, true, 3, 0, eFast, ePermanentPreference},
        {6, true, 1, false, 3, 0, eFast, eTemporaryPreference},
        {2, true, 2, false, 0, 0, eFast, eTemporaryPreference},
        {1, false, 3, false, 0, -1, 1, eNoPreference},
    };
    for (const Case& c : cases) {
        m_Host.messages.clear();
        m_Host.confirmAction = c.confirm;
        m_Host.chosenAction = c.chosen;
        m_Host.makeDefault = c.makeDefault;
        CSyncPreference prefs{};
        prefs.m_SyncType = c.current;
        prefs.m_SyncPref = 7;
        EXPECT_EQ(m_Configure(&prefs), c.result);
        EXPECT_EQ(m_Host.askedAction, c.askedAction);
        EXPECT_EQ(prefs.m_SyncType, c.syncType);
        EXPECT_EQ(prefs.m_SyncPref, c.syncPref);
        ASSERT_EQ(m_Host.messages.size(), 1u);
        EXPECT_EQ(m_Host.messages[0], "|ConfigureConduit appelé");
    }
}

TEST_F(EntryPointsTest, OpenConduitBySyncType)
{
    CSyncProperties props{};
    props.m_SyncType = eDoNothing;
    std::strcpy(props.m_UserName, "Anne");
    // Neither a callback nor a handheld: nothing is read.
    EXPECT_EQ(m_Open(nullptr, &props), -1);
    EXPECT_EQ(m_Open(Progress, nullptr), -1);
    // No handheld attached: the system information's error comes back unchanged.
    EXPECT_EQ(m_Open(Progress, &props), SYNCERR_COMM_NOT_INIT);

    TempDir dir;
    CHandheldStore store(dir / "handheld");
    ASSERT_TRUE(store.Create());
    ASSERT_EQ(palmkit::Attach(store.Dir(), dir / "user", "Anne"), palmkit::AttachResult::Ok);
    const std::pair<int, long> cases[] = {
        {eInstall, -1}, {eProfileInstall, -1}, {eBackup, -1}, {eDoNothing, 0}, {8, 4114}, {-1, 4114},
    };
    for (const auto& [type, result] : cases) {
        palmkit::LogClear();
        props.m_SyncType = type;
        EXPECT_EQ(m_Open(Progress, &props), result) << type;
        const auto log = palmkit::LogEntries();
        if (type == eDoNothing) {
            ASSERT_EQ(log.size(), 1u);
            EXPECT_EQ(log[0].text, "Norvelia - sync configured to Do Nothing");
            EXPECT_EQ(log[0].activity, slText);
        } else {
            EXPECT_TRUE(log.empty()) << type;
        }
    }
    palmkit::Detach();
}

} // namespace
