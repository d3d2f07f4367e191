// The real hotsync program's desktop commands against temporary homes and
// settings stores: users renamed and removed with what follows them, the
// shipped defaults applied on first use, a run that lacks a setting, and the
// systemd units of a schedule (a scripted systemctl stands in for the user
// manager; systemd-analyze checks the units where it is installed).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "hotsync/SyncSchedule.h"
#include "hotsync/UsersFile.h"
#include "palmkit/HandheldInfo.h"
#include "settings/RegKey.h"
#include "winreg/WinReg.h"

namespace fs = std::filesystem;

namespace {

const std::string kHotSync = NORV_BINARY_DIR "/bin/hotsync";
constexpr const char* kProduct = "Software\\Norvelia\\Tidepost";

std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class DesktopCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        winreg::SetStorePath(m_Root / "registry.db");
        fs::create_directories(m_Root / "bin");
        // The user manager's stand-in: notes each call; "no manager" fails as systemctl does without one.
        std::ofstream(m_Root / "bin/systemctl") << "#!/bin/sh\n"
                                                   "echo \"$*\" >> \"$FAKE_SYSTEMCTL_LOG\"\n"
                                                   "if [ -n \"$FAKE_NO_MANAGER\" ]; then\n"
                                                   "  echo 'Failed to connect to bus: No medium found' >&2; exit 1\n"
                                                   "fi\n";
        fs::permissions(m_Root / "bin/systemctl", fs::perms(0755));
        // The texts are read in English.
        Set(kProduct, "MsgDll", "LexmoUs.dll");
        ::setenv("XDG_CONFIG_HOME", (m_Root / "config").c_str(), 1);
    }
    void TearDown() override
    {
        winreg::SetStorePath("");
        ::unsetenv("XDG_CONFIG_HOME");
    }

    // hotsync with this test's store, home, unit folder and systemctl.
    RunResult Run(const std::string& args, const std::string& env = "")
    {
        return RunCommand("env NORVELIA_REGISTRY=" + Quote(m_Root / "registry.db") + " HOTSYNC_HOME=" +
                          Quote(Home()) + " XDG_CONFIG_HOME=" + Quote(m_Root / "config") + " FAKE_SYSTEMCTL_LOG=" +
                          Quote(m_Root / "systemctl.log") + " PATH=" + Quote(m_Root / "bin") + ":/usr/bin:/bin " +
                          env + " " + kHotSync + " " + args);
    }
    std::string Home() const { return m_Root / "home"; }
    std::string Units() const { return m_Root / "config/systemd/user"; }
    std::string Handheld(const std::string& name = "palm")
    {
        const std::string dir = m_Root / name;
        fs::create_directories(dir);
        EXPECT_TRUE(CHandheldInfo().Save(dir));
        return dir;
    }

    static void Set(const std::string& key, const std::string& name, const std::string& value)
    {
        HKEY raw = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &raw, nullptr), ERROR_SUCCESS);
        RegKey k(raw);
        ASSERT_EQ(RegSetValueExA(k.get(), name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 DWORD(value.size() + 1)),
                  ERROR_SUCCESS);
    }
    static std::string Get(const std::string& key, const std::string& name)
    {
        RegKey k = OpenRegKey(HKEY_LOCAL_MACHINE, key, KEY_READ);
        if (!k) return "(no key)";
        char buf[512] = {};
        DWORD size = sizeof buf - 1;
        if (RegQueryValueExA(k.get(), name.c_str(), nullptr, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
            return "(none)";
        return buf;
    }

    TempDir m_Root{"norv-desktop"};
};

} // namespace

TEST_F(DesktopCommandsTest, UsersAreRenamedAndRemovedWithTheirSettingsAndSchedule)
{
    ASSERT_EQ(Run("user add Anne").code, 0);
    const std::string users = std::string(kProduct) + "\\Users\\";
    Set(users + "Anne", "CurrentServer", "Norvelia");
    Set(users + "Anne\\Norvelia", "UID", "anne");
    ASSERT_EQ(Run("schedule --user Anne --handheld " + Handheld() + " --daily 07:30").code, 0);

    RunResult r = Run("user rename Anne 'Anne Marie'");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output.substr(0, r.output.find('\n')), "Renamed the HotSync user \"Anne\" to \"Anne Marie\".");
    std::vector<CUsersFile::User> read;
    ASSERT_TRUE(CUsersFile::Read(Home() + "/users.dat", read));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].name, "Anne Marie");
    EXPECT_EQ(read[0].dir, "Anne");
    EXPECT_EQ(Get(users + "Anne Marie\\Norvelia", "UID"), "anne");
    EXPECT_EQ(Get(users + "Anne", "CurrentServer"), "(no key)");
    EXPECT_FALSE(fs::exists(Units() + "/norvelia-hotsync-Anne.timer"));
    const auto schedule = CSyncSchedule::Read("Anne Marie");
    ASSERT_TRUE(schedule.has_value());
    EXPECT_EQ(schedule->user, "Anne Marie");
    EXPECT_EQ(schedule->when, (CSyncSchedule::When{CSyncSchedule::When::Kind::Daily, 7 * 60 + 30}));
    EXPECT_EQ(Run("user rename 'Anne Marie' Anne").code, 0);
    EXPECT_EQ(Run("user rename Anne Anne").code, 0);

    // Removed, the folder kept: a user added again finds its log and settings.
    ASSERT_EQ(Run("user add Bob").code, 0);
    r = Run("user remove anne");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(fs::is_directory(Home() + "/Anne"));
    EXPECT_EQ(Get(users + "Anne\\Norvelia", "UID"), "anne");
    EXPECT_FALSE(fs::exists(Units() + "/norvelia-hotsync-Anne.timer"));
    // Removed with its folder: its login and password go too.
    Set(users + "Bob\\Norvelia", "PWD", "0A0B");
    r = Run("user remove Bob --delete-folder");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output, "Removed the HotSync user \"Bob\", its folder " + Home() + "/Bob and its login settings.\n");
    EXPECT_FALSE(fs::exists(Home() + "/Bob"));
    EXPECT_EQ(Get(users + "Bob\\Norvelia", "PWD"), "(no key)");

    r = Run("user remove Carol");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("Cannot remove the HotSync user \"Carol\": no HotSync user named \"Carol\""),
              std::string::npos)
        << r.output;
    EXPECT_EQ(Run("user remove").code, 2);
}

TEST_F(DesktopCommandsTest, AFolderTwoUsersShareIsNotDeleted)
{
    fs::create_directories(Home() + "/shared");
    ASSERT_TRUE(CUsersFile::Write(Home() + "/users.dat", {{"Anne", "shared", 1}, {"Bob", "shared", 2}}));
    const RunResult r = Run("user remove Anne --delete-folder");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output, "Removed the HotSync user \"Anne\". Its folder " + Home() +
                            "/shared is kept: it is the folder of \"Bob\" too.\n");
    EXPECT_TRUE(fs::is_directory(Home() + "/shared"));
}

// The first program that finds the settings of a new installation missing
// adds them, and only what is absent: never MsgDll, never a value set before.
TEST_F(DesktopCommandsTest, ShippedDefaultsAreAddedOnceAndOverwriteNothing)
{
    Set(kProduct, "Mode", "1");
    RunResult r = Run("user add Anne");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("hotsync: The settings of a new installation were missing: imported " NORV_SOURCE_DIR
                            "/share/norvelia/defaults.reg (server Norvelia http://127.0.0.1:8470/Tidepost/xxx/yyy)"),
              std::string::npos)
        << r.output;
    const std::string servers = std::string(kProduct) + "\\Servers";
    EXPECT_EQ(Get(servers, "Norvelia"), "http://127.0.0.1:8470/Tidepost/xxx/yyy");
    EXPECT_EQ(Get(kProduct, "Mode"), "1");
    EXPECT_EQ(Get(kProduct, "MsgDll"), "LexmoUs.dll");
    EXPECT_NE(Get("Software\\Norvelia\\Tidepost\\Users", "x"), "(no key)");

    Set(servers, "Norvelia", "http://mine.example/T/x/y");
    r = Run("user add Bob");
    EXPECT_EQ(r.output.find("defaults.reg"), std::string::npos) << r.output;
    EXPECT_EQ(Get(servers, "Norvelia"), "http://mine.example/T/x/y");

    // A store that never had a language keeps none.
    winreg::SetStorePath(m_Root / "fresh.db");
    r = Run("user add Carol", "NORVELIA_REGISTRY=" + Quote(m_Root / "fresh.db"));
    EXPECT_NE(r.output.find("defaults.reg"), std::string::npos) << r.output;
    EXPECT_EQ(Get(kProduct, "MsgDll"), "(none)");
    EXPECT_EQ(Get(servers, "Norvelia"), "http://127.0.0.1:8470/Tidepost/xxx/yyy");
}

// Our conduit cannot start without its server: the run says which setting
// lacks and how to set it, before anything else happens.
TEST_F(DesktopCommandsTest, ARunThatLacksASettingNamesItAndHowToSetIt)
{
    ASSERT_EQ(Run("user add Anne").code, 0);
    const std::string handheld = Handheld();
    const std::string user = std::string(kProduct) + "\\Users\\Anne";
    const std::string servers = std::string(kProduct) + "\\Servers";
    struct Case {
        const char* name;
        std::function<void()> set;
        int code;
        std::string said;
    } cases[] = {
        {"no current server", [] {}, 2,
         "hotsync: Anne has no Norvelia server yet: choose one and the login in hotsync-gui (Settings, Set up), on "
         "NvPassword's \"Servers\" page, or with: norvreg set 'HKLM\\Software\\Norvelia\\Tidepost\\Users\\Anne' "
         "CurrentServer Norvelia\n"},
        {"server without address", [&] { Set(user, "CurrentServer", "Elsewhere"); }, 2,
         "hotsync: The server \"Elsewhere\" of Anne has no address in the settings: give it one on NvPassword's "
         "\"Servers\" page, or with: norvreg set 'HKLM\\Software\\Norvelia\\Tidepost\\Servers' Elsewhere "
         "http://HOST:PORT/PATH\n"},
        {"not a web address", [&] { Set(servers, "Elsewhere", "127.0.0.1:8470/T"); }, 2,
         "hotsync: The server \"Elsewhere\" has the address \"127.0.0.1:8470/T\", which is not an http:// or https:// "
         "address: correct it on NvPassword's \"Servers\" page, or with: norvreg set "
         "'HKLM\\Software\\Norvelia\\Tidepost\\Servers' Elsewhere http://HOST:PORT/PATH\n"},
        // Nothing answers on port 1: the run goes on and fails there.
        {"no login", [&] { Set(servers, "Elsewhere", "http://127.0.0.1:1/T/x/y"); }, 1,
         "hotsync: warning: Anne has no login on the server \"Elsewhere\": the handheld's own is used if it holds one; "
         "store it in hotsync-gui (Settings, Set up), on NvPassword's \"Norvelia password\" page, or with: norvreg "
         "set 'HKLM\\Software\\Norvelia\\Tidepost\\Users\\Anne\\Elsewhere' UID LOGIN\n"},
    };
    for (const Case& c : cases) {
        c.set();
        const RunResult r = Run("sync --user Anne --handheld " + handheld + " --no --no-backup");
        EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.said), std::string::npos) << c.name << "\n" << r.output;
        if (c.code == 2) {
            EXPECT_FALSE(fs::exists(Home() + "/Anne/HotSync.log")) << c.name;
        }
    }
}

TEST_F(DesktopCommandsTest, ScheduleWritesUnitsThatGiveBackTheRunAsItWasAsked)
{
    // Names that a unit file would misread unquoted.
    const std::string name = "Anne \"%h\" $HOME\\";
    ASSERT_EQ(Run("user add " + Quote(name)).code, 0);
    const std::string handheld = Handheld("palm 100% $USER");
    const std::string unit = CSyncSchedule::UnitName(name);
    EXPECT_EQ(unit, "norvelia-hotsync-Anne\\x20\\x22\\x25h\\x22\\x20\\x24HOME\\x5c");

    RunResult r = Run("schedule --user " + Quote(name) + " --handheld " + Quote(handheld) + " --every 2h");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output, name + "'s handheld " + handheld + " is synchronized every 2 hours (timer " + unit +
                            ".timer).\nEach run's output and verdict go to the journal: journalctl --user -u '" +
                            unit + ".service'\n");
    EXPECT_EQ(ReadAll(m_Root / "systemctl.log"), "--user daemon-reload\n--user restart " + unit + ".timer\n");
    const std::string timer = Units() + "/" + unit + ".timer";
    EXPECT_EQ(fs::read_symlink(Units() + "/timers.target.wants/" + unit + ".timer"), timer);
    const std::string timerText = ReadAll(timer);
    EXPECT_NE(timerText.find("\nOnActiveSec=120min\nOnUnitActiveSec=120min\nUnit=" + unit + ".service\n"),
              std::string::npos)
        << timerText;

    // What the service runs, read back as systemd reads its line.
    const std::string service = ReadAll(Units() + "/" + unit + ".service");
    const std::size_t at = service.find("\nExecStart=");
    ASSERT_NE(at, std::string::npos) << service;
    const std::string line = service.substr(at + 11, service.find('\n', at + 1) - at - 11);
    const std::vector<std::string> expected = {NORV_BINARY_DIR "/bin/hotsync", "--home=" + Home(), "sync",
                                               "--user=" + name, "--handheld=" + handheld, "--no", "--notify"};
    EXPECT_EQ(CSyncSchedule::SplitExecLine(line), expected) << line;
    EXPECT_NE(service.find("\nEnvironment=\"NORVELIA_REGISTRY=" + (m_Root / "registry.db") + "\"\n"),
              std::string::npos)
        << service;
    EXPECT_NE(service.find("Description=HotSync of Anne \"%%h\" $HOME\\'s handheld\n"), std::string::npos) << service;

    // systemd reads both units without a complaint.
    if (RunCommand("command -v systemd-analyze").code == 0) {
        fs::create_directories(m_Root / "runtime");
        fs::permissions(m_Root / "runtime", fs::perms::owner_all);
        const RunResult verify = RunCommand("XDG_RUNTIME_DIR=" + Quote(m_Root / "runtime") +
                                            " systemd-analyze --user --man=no verify " + Quote(timer) + " " +
                                            Quote(Units() + "/" + unit + ".service"));
        EXPECT_EQ(verify.code, 0) << verify.output;
        EXPECT_EQ(verify.output, "");
    }

    EXPECT_EQ(Run("schedule --user " + Quote(name)).output,
              name + "'s handheld " + handheld + " is synchronized every 2 hours (timer " + unit + ".timer).\n");
    // Without a user manager the timer waits for the next login, and the person is told how to start it.
    r = Run("schedule --user " + Quote(name) + " --handheld " + Quote(handheld) + " --daily 07:05",
            "FAKE_NO_MANAGER=1");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("The timer starts with your next login: no systemd user manager answers now (Failed to connect "
                            "to bus: No medium found). To start it now from a session that has one: systemctl --user "
                            "daemon-reload && systemctl --user restart '" + unit + ".timer'\n"),
              std::string::npos)
        << r.output;
    EXPECT_NE(ReadAll(timer).find("\nOnCalendar=*-*-* 07:05:00\nPersistent=true\n"), std::string::npos);
    // Without systemd at all, nothing would ever start them.
    r = RunCommand("env NORVELIA_REGISTRY=" + Quote(m_Root / "registry.db") + " HOTSYNC_HOME=" + Quote(Home()) +
                   " XDG_CONFIG_HOME=" + Quote(m_Root / "config") + " PATH=" + Quote(m_Root / "none") + " " +
                   kHotSync + " schedule --user " + Quote(name) + " --handheld " + Quote(handheld) + " --every 30min");
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_NE(r.output.find("but systemctl was not found"), std::string::npos) << r.output;

    fs::remove(m_Root / "systemctl.log");
    r = Run("schedule --user " + Quote(name) + " --off");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output, name + "'s handheld is no longer synchronized on a schedule (timer " + unit +
                            ".timer removed).\n");
    EXPECT_EQ(ReadAll(m_Root / "systemctl.log"), "--user stop " + unit + ".timer\n--user daemon-reload\n");
    EXPECT_TRUE(fs::is_empty(Units() + "/timers.target.wants"));
    EXPECT_FALSE(fs::exists(timer));
    EXPECT_EQ(Run("schedule --user " + Quote(name) + " --off").output, name + " has no scheduled synchronization.\n");

    const struct {
        std::string args;
        std::string said;
    } refused[] = {
        {"--every 10min", "an interval of 10min is out of range: from 15min to 168h"},
        {"--every 2d", "\"2d\" is not an interval such as 30min or 2h"},
        {"--daily 24:00", "\"24:00\" is not a time of day such as 07:30 (HH:MM, 24-hour clock)"},
        {"--daily 7:30", "\"7:30\" is not a time of day"},
        {"--every 1h --daily 07:00", "--every excludes --daily"},
    };
    for (const auto& c : refused) {
        r = Run("schedule --user " + Quote(name) + " --handheld " + Quote(handheld) + " " + c.args);
        EXPECT_EQ(r.code, 2) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.said), std::string::npos) << c.args << "\n" << r.output;
    }
    r = Run("schedule --user " + Quote(name) + " --handheld " + Quote(m_Root / "nowhere") + " --every 1h");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.output.find("no handheld at " + (m_Root / "nowhere")), std::string::npos) << r.output;
}
