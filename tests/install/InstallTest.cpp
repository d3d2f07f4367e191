// `cmake --install` into a temporary prefix, then the installed programs run
// from there with nothing of the source or build tree: their libraries, the
// conduit and the catalogs come from the prefix.
#include <gmock/gmock.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "common/TestFiles.h"
#include "common/TestRun.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// Runs a command with the environment of a fresh machine: no catalog folder,
// a private store and HotSync home.
RunResult Installed(const std::string& prefix, const std::string& home, const std::string& command)
{
    return RunCommand("env -u NORVELIA_MSGDIR -u LD_LIBRARY_PATH NORVELIA_REGISTRY='" + home +
                      "/registry.db' HOTSYNC_HOME='" + home + "/hotsync' XDG_STATE_HOME='" + home + "/state' '" +
                      prefix + "/bin/'" + command);
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_Root = std::make_unique<TempDir>("norv-install");
        s_Prefix = s_Root->Path() + "/usr";
        s_Install = RunCommand("cmake --install '" NORV_BINARY_DIR "' --prefix '" + s_Prefix + "'");
    }
    static void TearDownTestSuite() { s_Root.reset(); }
    void SetUp() override { ASSERT_EQ(s_Install.code, 0) << s_Install.output; }

    static std::unique_ptr<TempDir> s_Root;
    static std::string s_Prefix;
    static RunResult s_Install;
    TempDir m_Home;
};

std::unique_ptr<TempDir> InstallTest::s_Root;
std::string InstallTest::s_Prefix;
RunResult InstallTest::s_Install;

} // namespace

TEST_F(InstallTest, TreeHasProgramsLibrariesDataPagesAndCompletions)
{
    std::vector<std::string> files = {
        "share/norvelia/Lexmo.msg", "share/norvelia/LexmoUs.msg", "share/norvelia/defaults.reg",
        "share/norvelia/samples/users/anne/channels", "share/bash-completion/completions/hotsync",
        "share/bash-completion/completions/handheld", "share/bash-completion/completions/norvreg",
        "share/doc/norvelia/README.md", "share/man/man5/norvelia-settings.5.gz", "share/man/man5/hotsync-log.5.gz",
        "share/applications/hotsync-gui.desktop", "share/icons/hicolor/scalable/apps/hotsync-gui.svg",
        "share/applications/nvpassword.desktop", "share/icons/hicolor/scalable/apps/nvpassword.svg",
        NORV_PRIVATE_LIBDIR "/libNorvQtHost.so"};
    for (const std::string& program : Words(NORV_PROGRAM_LIST)) {
        files.push_back("bin/" + program);
        if (NORV_HAVE_MANPAGES) files.push_back("share/man/man1/" + program + ".1.gz");
    }
    for (const std::string& library : Words(NORV_LIBRARY_LIST))
        files.push_back(NORV_PRIVATE_LIBDIR "/lib" + library + ".so");
    for (const std::string& file : files) EXPECT_TRUE(fs::is_regular_file(s_Prefix + "/" + file)) << file;
    // The private libraries stay out of lib/ itself, which the system searches.
    for (const auto& entry : fs::directory_iterator(s_Prefix + "/lib"))
        EXPECT_EQ(entry.path().string(), s_Prefix + "/" NORV_PRIVATE_LIBDIR);
    // Nothing of the tests or benchmarks.
    for (const auto& entry : fs::recursive_directory_iterator(s_Prefix)) {
        const std::string name = entry.path().filename().string();
        EXPECT_THAT(name, ::testing::Not(::testing::AnyOf(HasSubstr("_test"), HasSubstr("_bench"), HasSubstr("TestConduit"))))
            << entry.path();
    }
    if (NORV_HAVE_MANPAGES) {
        const std::string page = RunCommand("gzip -dc '" + s_Prefix + "/share/man/man1/hotsync.1.gz'").output;
        EXPECT_THAT(page, HasSubstr(".TH HOTSYNC \"1\""));
        EXPECT_THAT(page, HasSubstr("\\fB\\-\\-no\\-backup\\fR"));
    }
}

// A menu entry for each window, with its icon, that the desktop reads without a warning.
TEST_F(InstallTest, MenuEntriesValidateAndHaveTheirIcons)
{
    const std::string share = s_Prefix + "/share";
    for (const char* entry : {"hotsync-gui", "nvpassword", "nvconnexion"}) {
        const std::string file = share + "/applications/" + entry + ".desktop";
        const std::string text = ReadAll(file);
        ASSERT_FALSE(text.empty()) << file;
        const std::smatch icon = [&] {
            std::smatch m;
            std::regex_search(text, m, std::regex("\nIcon=([^\n]+)\n"));
            return m;
        }();
        ASSERT_FALSE(icon.empty()) << file;
        for (const char* size : {"scalable/apps/", "128x128/apps/"})
            EXPECT_TRUE(fs::exists(share + "/icons/hicolor/" + size + icon[1].str() +
                                   (std::string(size) == "scalable/apps/" ? ".svg" : ".png")))
                << entry << " " << size;
        const std::smatch exec = [&] {
            std::smatch m;
            std::regex_search(text, m, std::regex("\nExec=([^ \n]+)"));
            return m;
        }();
        ASSERT_FALSE(exec.empty()) << file;
        EXPECT_TRUE(fs::exists(s_Prefix + "/bin/" + exec[1].str())) << file;
        if (RunCommand("command -v desktop-file-validate").code == 0) {
            // Hints (advice on categories) are not warnings.
            const RunResult valid = RunCommand("desktop-file-validate '" + file + "'");
            EXPECT_EQ(valid.code, 0) << valid.output;
            EXPECT_THAT(valid.output, ::testing::Not(::testing::ContainsRegex("(error|warning): "))) << file;
        }
    }
}

TEST_F(InstallTest, ProgramsLoadOnlyTheInstalledLibraries)
{
    std::vector<std::string> files;
    for (const std::string& program : Words(NORV_PROGRAM_LIST)) files.push_back(s_Prefix + "/bin/" + program);
    for (const std::string& library : Words(NORV_LIBRARY_LIST))
        files.push_back(s_Prefix + "/" NORV_PRIVATE_LIBDIR "/lib" + library + ".so");
    for (const std::string& file : files) {
        const RunResult ldd = RunCommand("env -u LD_LIBRARY_PATH ldd '" + file + "'");
        ASSERT_EQ(ldd.code, 0) << ldd.output;
        EXPECT_THAT(ldd.output, ::testing::Not(HasSubstr("not found"))) << file;
        std::istringstream lines(ldd.output);
        for (std::string line; std::getline(lines, line);) {
            for (const std::string& own : Words(NORV_LIBRARY_LIST))
                if (line.find("lib" + own + ".so") != std::string::npos) {
                    EXPECT_THAT(line, HasSubstr("=> " + s_Prefix + "/")) << file;
                    EXPECT_THAT(line, HasSubstr("/" NORV_PRIVATE_LIBDIR "/lib" + own + ".so")) << file;
                }
        }
    }
}

TEST_F(InstallTest, InstalledReadmesNameTheInstalledPaths)
{
    for (const char* name : {"README.md", "README.service.md"}) {
        const std::string text = ReadAll(s_Prefix + "/share/doc/norvelia/" + name);
        ASSERT_FALSE(text.empty()) << name;
        // Every path it names under the prefix is there.
        int named = 0;
        const std::regex path(std::regex_replace(s_Prefix, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                              R"(/[A-Za-z0-9_./-]*[A-Za-z0-9_/])");
        for (std::sregex_iterator it(text.begin(), text.end(), path), end; it != end; ++it, ++named)
            EXPECT_TRUE(fs::exists(it->str())) << name << ": " << it->str();
        EXPECT_GT(named, 0) << name;
        // Nothing of the source or build trees is left once the prefix is taken out.
        const std::string rest = std::regex_replace(text, std::regex(s_Prefix), "PREFIX");
        for (const char* tree : {"build/", "service/samples", " share/norvelia", "`share/norvelia", "<!--"})
            EXPECT_THAT(rest, ::testing::Not(HasSubstr(tree))) << name;
    }
    EXPECT_THAT(ReadAll(s_Prefix + "/share/doc/norvelia/README.md"),
                HasSubstr("norvreg import " + s_Prefix + "/share/norvelia/defaults.reg\n"));
}

TEST_F(InstallTest, InstalledCatalogsAreFoundBeforeTheSourceTree)
{
    // The probe, run from the installed bin/, with the installed message library.
    const std::string probe = s_Prefix + "/bin/catalog-probe";
    fs::copy_file(NORV_CATALOG_PROBE, probe, fs::copy_options::overwrite_existing);
    const RunResult found = Installed(s_Prefix, m_Home.Path(), "catalog-probe");
    fs::remove(probe);
    EXPECT_EQ(found.code, 0);
    EXPECT_EQ(found.output, s_Prefix + "/share/norvelia/Lexmo.msg\n" + s_Prefix + "/share/norvelia/LexmoUs.msg\n");
}

TEST_F(InstallTest, InstalledProgramsRunAFreshMachine)
{
    const std::string& home = m_Home.Path();
    RunResult version = Installed(s_Prefix, home, "hotsync --version");
    if (version.code != 0) version = Installed(s_Prefix, home, "hotsync --help");
    EXPECT_EQ(version.code, 0) << version.output;
    EXPECT_THAT(version.output, HasSubstr("hotsync"));

    const RunResult imported = Installed(s_Prefix, home, "norvreg import '" + s_Prefix + "/share/norvelia/defaults.reg'");
    EXPECT_EQ(imported.code, 0) << imported.output;
    const RunResult servers = Installed(s_Prefix, home, "norvreg list 'HKLM\\Software\\Norvelia\\Tidepost\\Servers'");
    EXPECT_EQ(servers.code, 0) << servers.output;
    EXPECT_THAT(servers.output, HasSubstr("127.0.0.1"));

    EXPECT_EQ(Installed(s_Prefix, home, "handheld init '" + home + "/palm' --user Anne").code, 0);
    const RunResult list = Installed(s_Prefix, home, "handheld list '" + home + "/palm'");
    EXPECT_EQ(list.code, 0) << list.output;

    // The default conduit is the installed one.
    const RunResult info = Installed(s_Prefix, home, "hotsync info");
    EXPECT_EQ(info.code, 0) << info.output;
    EXPECT_THAT(info.output, HasSubstr(s_Prefix + "/bin/../" NORV_PRIVATE_LIBDIR "/libNorv30.so"));
    EXPECT_THAT(info.output, HasSubstr("Norvelia"));

    // The service compiles the installed samples with the installed catalogc.
    const RunResult service = Installed(s_Prefix, home,
                                        "norvelia-service --version && timeout --preserve-status -s INT 5 '" + s_Prefix +
                                            "/bin/norvelia-service' --listen 127.0.0.1:0 --content '" + s_Prefix +
                                            "/share/norvelia/samples'; echo \"exit $?\"");
    EXPECT_THAT(service.output, StartsWith("norvelia-service "));
    EXPECT_THAT(service.output, HasSubstr("norvelia-service: http://127.0.0.1:"));
    EXPECT_THAT(service.output, HasSubstr("exit 130"));
}

TEST(Package, DebianPackageDeclaresItsDependenciesAndRunsFromItsRoot)
{
    const TempDir dir("norv-package");
    const RunResult made = RunCommand("cd '" NORV_BINARY_DIR "' && cpack -G DEB -B '" + dir.Path() + "'");
    ASSERT_EQ(made.code, 0) << made.output;
    std::string deb;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        if (entry.path().extension() == ".deb") deb = entry.path().string();
    ASSERT_FALSE(deb.empty()) << made.output;

    const RunResult depends = RunCommand("dpkg-deb -f '" + deb + "' Package Version Depends");
    EXPECT_THAT(depends.output, HasSubstr("Package: norvelia\n"));
    // qt6-qpa-plugins: Qt's GUI library only recommends the platform plugins.
    for (const char* library : {"libcurl4", "libsqlite3-0", "libqt6widgets6", "libcpp-httplib", "libstdc++6", "qt6-qpa-plugins"})
        EXPECT_THAT(depends.output, HasSubstr(library));

    const std::string root = dir / "root";
    ASSERT_EQ(RunCommand("dpkg -x '" + deb + "' '" + root + "'").code, 0);
    const std::string prefix = root + "/usr";
    const TempDir home;
    const RunResult imported = Installed(prefix, home.Path(), "norvreg import '" + prefix + "/share/norvelia/defaults.reg'");
    EXPECT_EQ(imported.code, 0) << imported.output;
    fs::copy_file(NORV_CATALOG_PROBE, prefix + "/bin/catalog-probe");
    EXPECT_EQ(Installed(prefix, home.Path(), "catalog-probe").output,
              prefix + "/share/norvelia/Lexmo.msg\n" + prefix + "/share/norvelia/LexmoUs.msg\n");
    EXPECT_EQ(Installed(prefix, home.Path(), "handheld init '" + home.Path() + "/palm'").code, 0);
    EXPECT_EQ(Installed(prefix, home.Path(), "handheld list '" + home.Path() + "/palm'").code, 0);
    EXPECT_THAT(Installed(prefix, home.Path(), "hotsync info").output,
                HasSubstr(prefix + "/bin/../" NORV_PRIVATE_LIBDIR "/libNorv30.so"));

    // lintian, when installed (scripts/bootstrap installs it), finds no error.
    if (RunCommand("command -v lintian").code == 0) {
        const RunResult lintian = RunCommand("lintian --fail-on error '" + deb + "'");
        EXPECT_EQ(lintian.code, 0) << lintian.output;
        EXPECT_THAT(lintian.output, ::testing::Not(::testing::ContainsRegex("(^|\n)E: "))) << lintian.output;
    }
}
