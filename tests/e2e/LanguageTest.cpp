// A whole synchronization in each language, chosen by the locale alone: the
// terminal's lines, the HotSync log, the HotSync window and the action dialog
// hold no line in the other language.
#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <stdlib.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/LanguageWords.h"
#include "common/ServiceProcess.h"
#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "hotsync/HotSyncWindow.h"
#include "platform/ui/HotSyncActionDlg.h"
#include "seam/QtUiHost.h"

namespace {

constexpr const char* kProduct = "HKLM\\Software\\Norvelia\\Tidepost";

using e2e::Set;
using e2e::Tool;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// The text of each HotSync log entry (date, then code and label, then text);
// the run's mark keeps the file's own keyword, read by tools.
std::vector<std::string> LogTexts(const std::string& log)
{
    std::vector<std::string> texts;
    for (const std::string& line : Lines(log)) {
        const std::size_t tab = line.find('\t', line.find('\t') + 1);
        std::string text = tab == std::string::npos ? line : line.substr(tab + 1);
        if (text.rfind("=== HotSync run: ", 0) == 0) text.erase(0, 17);
        texts.push_back(text);
    }
    return texts;
}

// Every text a person reads in `w`: its title, labels, buttons, group
// titles, menu entries and list lines.
std::vector<std::string> WidgetTexts(QWidget& w)
{
    std::vector<std::string> texts{w.windowTitle().toStdString()};
    for (auto* l : w.findChildren<QLabel*>())
        for (const QString& line : l->text().split(QLatin1Char('\n'))) texts.push_back(line.toStdString());
    for (auto* b : w.findChildren<QAbstractButton*>()) texts.push_back(b->text().toStdString());
    for (auto* g : w.findChildren<QGroupBox*>()) texts.push_back(g->title().toStdString());
    for (auto* a : w.findChildren<QAction*>()) texts.push_back(a->text().toStdString());
    for (auto* list : w.findChildren<QListWidget*>())
        for (int i = 0; i < list->count(); ++i) texts.push_back(list->item(i)->text().toStdString());
    return texts;
}

} // namespace

class LanguageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_Root = std::make_unique<TempDir>("norv-language");
        ::setenv("NORVELIA_REGISTRY", (*m_Root / "registry.db").c_str(), 1);
        ::setenv("HOTSYNC_HOME", Home().c_str(), 1);
        for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "LC_ALL",
                                 "LC_MESSAGES", "LANGUAGE"})
            ::unsetenv(name);
        QCOMPARE(Tool("norvreg", "import " NORV_SOURCE_DIR "/share/norvelia/defaults.reg").code, 0);
        QCOMPARE(Tool("hotsync", "user add Anne").code, 0);
        QVERIFY(Set(std::string(kProduct) + "\\Users\\Anne", "CurrentServer", "Norvelia"));
        QVERIFY(Set(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "UID", "anne"));
        QVERIFY(Set(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "PWD", "s3cret-pwd"));
        // No language chosen: the locale decides.
        QVERIFY(Set(kProduct, "MsgDll", ""));
        // The service stuck on channel C2 past the stall bound, shortened to a second.
        ::setenv("NORVELIA_STALL_SECONDS", "1", 1);
        m_Service = std::make_unique<ServiceProcess>(std::vector<std::string>{"--stall", "C2:4000"},
                                                     *m_Root / "state.db");
        QVERIFY(m_Service->Running());
        QVERIFY(Set(std::string(kProduct) + "\\Servers", "Norvelia", m_Service->Url() + "/xxx/yyy"));
        QCOMPARE(Tool("catalogc", NORV_SOURCE_DIR "/service/samples/catalogc/list.json -o " + List()).code, 0);
    }
    void cleanupTestCase()
    {
        m_Service.reset();
        ::unsetenv("NORVELIA_STALL_SECONDS");
        ::setenv("LANG", "C.UTF-8", 1);
        m_Root.reset();
    }

    void WholeRunSpeaksOneLanguage_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<bool>("french");
        QTest::newRow("French") << QStringLiteral("fr_FR.UTF-8") << true;
        QTest::newRow("English") << QStringLiteral("en_US.UTF-8") << false;
    }

    // A failed channel and a placed order, on the terminal, in the log and in
    // the window; then the action dialog.
    void WholeRunSpeaksOneLanguage()
    {
        QFETCH(QString, lang);
        QFETCH(bool, french);
        ::setenv("LANG", lang.toUtf8().constData(), 1);
        const std::vector<std::string>& foreign = french ? kEnglishWords : kFrenchWords;
        // The first line of `lines` in the other language, named with where it is.
        auto otherLanguage = [&](const char* where, const std::vector<std::string>& lines) -> std::string {
            if (lines.empty()) return std::string(where) + ": nothing";
            const std::string found = ForeignLine(lines, foreign);
            return found.empty() ? found : std::string(where) + ": " + found;
        };
#define EXPECT_ONE_LANGUAGE(where, lines)                                                                              \
    do {                                                                                                               \
        const std::string found = otherLanguage(where, lines);                                                        \
        QVERIFY2(found.empty(), found.c_str());                                                                        \
    } while (false)

        FreshHandheld("terminal");
        const std::string logBefore = ReadAll(Home() + "/Anne/HotSync.log");
        const RunResult run = Tool("hotsync", "sync --user Anne --yes --handheld " + Handheld("terminal"));
        QVERIFY2(run.code == 4, run.output.c_str()); // with problems: the stuck channel
        // The run says which channel failed and which order it placed.
        QVERIFY2(run.output.find("C2") != std::string::npos, run.output.c_str());
        QVERIFY2(run.output.find("ListeC7") != std::string::npos, run.output.c_str());
        EXPECT_ONE_LANGUAGE("terminal", Lines(run.output));
        EXPECT_ONE_LANGUAGE("HotSync.log", LogTexts(ReadAll(Home() + "/Anne/HotSync.log").substr(logBefore.size())));

        FreshHandheld("window");
        QVERIFY(CHotSyncWindow::LoadLanguage());
        platform::QtUiHost host;
        CHotSyncWindow w(Home());
        QVERIFY(w.SelectUser(QStringLiteral("Anne")));
        w.SetHandheld(QString::fromStdString(Handheld("window")));
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("sync")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.IsRunning(), 120000);
        QCOMPARE(w.LastOutcome().code, 4);
        const std::vector<std::string> window = WidgetTexts(w);
        std::string all;
        for (const std::string& t : window) all += t + "\n";
        QVERIFY2(all.find("ListeC7") != std::string::npos, all.c_str());
        EXPECT_ONE_LANGUAGE("window", window);

        CHotSyncActionDlg dialog;
        EXPECT_ONE_LANGUAGE("action dialog", WidgetTexts(dialog));
#undef EXPECT_ONE_LANGUAGE
    }

private:
    std::string Home() const { return *m_Root / "home"; }
    std::string List() const { return *m_Root / "list.pdb"; }
    std::string Handheld(const std::string& name) const { return *m_Root / name; }
    // An empty handheld holding a list whose order waits.
    void FreshHandheld(const std::string& name)
    {
        RunCommand("rm -rf '" + Handheld(name) + "'");
        QCOMPARE(Tool("handheld", "init " + Handheld(name)).code, 0);
        QCOMPARE(Tool("handheld", "import " + Handheld(name) + " " + List()).code, 0);
    }

    std::unique_ptr<TempDir> m_Root;
    std::unique_ptr<ServiceProcess> m_Service;
};

QTEST_MAIN(LanguageTest)
#include "LanguageTest.moc"
