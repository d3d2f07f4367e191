// The HotSync window from its button to the log, with the real conduit, the
// settings store and norvelia-service on loopback: a run that goes through,
// one whose server is gone, and a handheld of someone else declined.
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "common/ModalAnswerer.h"
#include "common/QtTsan.h"
#include "common/ServiceProcess.h"
#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "hotsync/HotSyncWindow.h"
#include "hotsync/UsersFile.h"
#include "seam/QtUiHost.h"
#include "platform/ui/HotSyncActionDlg.h"
#include "platform/ui/NorvProgressDlg.h"

namespace {

constexpr const char* kProduct = "HKLM\\Software\\Norvelia\\Tidepost";

using e2e::Set;
using e2e::Tool;

// Notes every progress dialog shown, with what it said then.
class ProgressWatcher final : public QObject {
public:
    ProgressWatcher() { qApp->installEventFilter(this); }
    ~ProgressWatcher() override { qApp->removeEventFilter(this); }
    int shown = 0;
    QString title;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Show)
            if (auto* d = dynamic_cast<CNorvProgressDlg*>(o)) {
                ++shown;
                title = d->windowTitle();
            }
        return false;
    }
};

QStringList Texts(QListWidget* list, int activity)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->data(Qt::UserRole).toInt() == activity) out << list->item(i)->text();
    return out;
}

// The colour of the first row of that activity, "#rrggbb".
QString Colour(QListWidget* list, int activity)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->data(Qt::UserRole).toInt() == activity) return list->item(i)->foreground().color().name();
    return QString();
}

} // namespace

class HotSyncGuiTest : public QObject {
    Q_OBJECT
private slots:
    // One settings store for the whole program: the conduit keeps the one it opened.
    void initTestCase()
    {
        m_Root = std::make_unique<TempDir>("norv-gui");
        ::setenv("NORVELIA_REGISTRY", (*m_Root / "registry.db").c_str(), 1);
        ::setenv("HOTSYNC_HOME", Home().c_str(), 1);
        for (const char* proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy"})
            ::unsetenv(proxy);
        QCOMPARE(Tool("norvreg", "import " NORV_SOURCE_DIR "/share/norvelia/defaults.reg").code, 0);
        QCOMPARE(Tool("hotsync", "user add Anne").code, 0);
        QVERIFY(Set(std::string(kProduct) + "\\Users\\Anne", "CurrentServer", "Norvelia"));
        QVERIFY(Set(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "UID", "anne"));
        QVERIFY(Set(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "PWD", "s3cret-pwd"));
        // The cases read the outcome in English.
        QVERIFY(Set(kProduct, "MsgDll", "LexmoUs.dll"));
        QVERIFY(CHotSyncWindow::LoadLanguage());
    }
    // Each case its own empty handheld.
    void init()
    {
        ++m_Case;
        QCOMPARE(Tool("handheld", "init " + Handheld()).code, 0);
    }
    void cleanup() { m_Service.reset(); }
    void cleanupTestCase() { m_Root.reset(); }

    void ButtonToLog()
    {
        m_Service = std::make_unique<ServiceProcess>(std::vector<std::string>{}, *m_Root / "state.db");
        QVERIFY(m_Service->Running());
        QVERIFY(Set(std::string(kProduct) + "\\Servers", "Norvelia", m_Service->Url() + "/xxx/yyy"));
        // A list whose order waits: the run places it and says so.
        const std::string list = *m_Root / "list.pdb";
        QCOMPARE(Tool("catalogc", NORV_SOURCE_DIR "/service/samples/catalogc/list.json -o " + list).code, 0);
        QCOMPARE(Tool("handheld", "import " + Handheld() + " " + list).code, 0);
        platform::QtUiHost host;
        ProgressWatcher watcher;
        CHotSyncWindow w(Home());
        QVERIFY(w.SelectUser(QStringLiteral("Anne")));
        w.SetHandheld(QString::fromStdString(Handheld()));
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("sync")), Qt::LeftButton);
        QVERIFY(w.IsRunning());
        QVERIFY(!w.findChild<QPushButton*>(QStringLiteral("sync"))->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!w.IsRunning(), 120000);

        QCOMPARE(w.LastOutcome().code, 0);
        QVERIFY(watcher.shown > 0);
        auto* log = w.findChild<QListWidget*>(QStringLiteral("log"));
        QCOMPARE(Texts(log, 20).size(), 1);
        QVERIFY(Texts(log, 21).isEmpty());
        QVERIFY(w.findChild<QPushButton*>(QStringLiteral("sync"))->isEnabled());
        // The verdict, then the fate of the order the run placed.
        const QStringList outcome = w.findChild<QLabel*>(QStringLiteral("outcome"))->text().split(QLatin1Char('\n'));
        QCOMPARE(outcome.value(0), QStringLiteral("Synchronized."));
        QVERIFY2(outcome.value(1).startsWith(QStringLiteral("The order of \"ListeC7\" (channel C7) was placed")),
                 qPrintable(outcome.join(QLatin1Char('\n'))));
        QCOMPARE(Texts(log, CRunVerdict::kSynchronized), QStringList{QStringLiteral("OK: Synchronized.")});
        // The conduit's closing entry is an end mark, not an "OK".
        QVERIFY(Texts(log, 20).value(0).startsWith(QStringLiteral("end: ")));
        // Green for the run and its order; the end mark grey, whatever the run came to.
        QCOMPARE(Colour(log, CRunVerdict::kSynchronized), QStringLiteral("#006e28"));
        QCOMPARE(Colour(log, CRunVerdict::kOrderPlaced), QStringLiteral("#006e28"));
        QCOMPARE(Colour(log, 20), QStringLiteral("#5a5a5a"));
        // The catalogs received are on the handheld, and listed.
        auto* dbs = w.findChild<QTreeWidget*>(QStringLiteral("databases"));
        QVERIFY(dbs->topLevelItemCount() > 0);
        QVERIFY(!dbs->findItems(QStringLiteral("CATA"), Qt::MatchExactly, 1).isEmpty());
        // The log is kept as the terminal's run keeps it, and the folder remembered.
        QVERIFY(ReadAll(Home() + "/Anne/HotSync.log").find("=== HotSync run: Anne") != std::string::npos);
        CHotSyncWindow again(Home());
        QVERIFY(again.SelectUser(QStringLiteral("Anne")));
        QCOMPARE(again.Handheld(), QString::fromStdString(Handheld()));
    }

    // The backup from before a run that placed an order holds it active: the
    // restore question says the next run records it without sending it.
    void RestoreQuestionTellsOfAPlacedOrder()
    {
        m_Service = std::make_unique<ServiceProcess>(std::vector<std::string>{}, *m_Root / "state.db");
        QVERIFY(m_Service->Running());
        QVERIFY(Set(std::string(kProduct) + "\\Servers", "Norvelia", m_Service->Url() + "/xxx/yyy"));
        const std::string list = *m_Root / "list.pdb";
        QCOMPARE(Tool("catalogc", NORV_SOURCE_DIR "/service/samples/catalogc/list.json -o " + list).code, 0);
        QCOMPARE(Tool("handheld", "import " + Handheld() + " " + list).code, 0);
        platform::QtUiHost host;
        CHotSyncWindow w(Home());
        QVERIFY(w.SelectUser(QStringLiteral("Anne")));
        w.SetHandheld(QString::fromStdString(Handheld()));
        QVERIFY(w.StartSync());
        QTRY_VERIFY_WITH_TIMEOUT(!w.IsRunning(), 120000);
        QCOMPARE(w.LastOutcome().code, 0);

        ModalAnswerer answerer;
        answerer.Expect([](QWidget* d) {
            auto* input = qobject_cast<QInputDialog*>(d);
            if (!input) return qobject_cast<QDialog*>(d)->reject();
            input->setTextValue(input->comboBoxItems().value(0)); // the newest: from before the run
            input->accept();
        });
        SeenBox box;
        answerer.ExpectBox(QMessageBox::No, &box);
        w.RestoreBackup();
        QVERIFY(box.shown);
        QVERIFY2(box.text.contains(QStringLiteral("Orders in this backup, and what the next synchronization does with "
                                                  "each:\nThe list \"ListeC7\" (channel C7) holds an order already "
                                                  "placed: the service accepted it on ")),
                 qPrintable(box.text));
        QCOMPARE(answerer.Unexpected(), 0);
    }

    // "Abandon" while the channels come: the run stops and is not reported as done.
    void AbandonedRunIsNotDone()
    {
        m_Service = std::make_unique<ServiceProcess>(std::vector<std::string>{"--delay", "400"}, *m_Root / "state.db");
        QVERIFY(m_Service->Running());
        QVERIFY(Set(std::string(kProduct) + "\\Servers", "Norvelia", m_Service->Url() + "/xxx/yyy"));
        platform::QtUiHost host;
        // Whether to keep each channel already received: every box is declined.
        ModalAnswerer answerer;
        CHotSyncWindow w(Home());
        QVERIFY(w.SelectUser(QStringLiteral("Anne")));
        w.SetHandheld(QString::fromStdString(Handheld()));
        QVERIFY(w.StartSync());
        // Once a channel is being received the button is pressed, and again
        // whenever the run gives it back (a cancel before the channels'
        // processing is forgotten).
        int presses = 0;
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (QWidget* top : QApplication::topLevelWidgets())
                    if (auto* d = dynamic_cast<CNorvProgressDlg*>(top); d && d->isVisible()) {
                        auto* bar = d->findChild<QProgressBar*>(QStringLiteral("ctl1006"));
                        auto* abandon = d->findChild<QPushButton*>(QStringLiteral("ctl1004"));
                        if (bar->value() > bar->minimum() && abandon->isEnabled()) {
                            abandon->click();
                            ++presses;
                        }
                    }
                return !w.IsRunning();
            },
            120000));
        QVERIFY2(presses > 0, w.LastOutcome().message.c_str());
        QTRY_VERIFY_WITH_TIMEOUT(!w.IsRunning(), 120000);
        QCOMPARE(w.LastOutcome().code, 130);
        QCOMPARE(w.LastOutcome().message, std::string("Synchronization abandoned from its progress window."));
        QCOMPARE(Texts(w.findChild<QListWidget*>(QStringLiteral("log")), CRunVerdict::kAbandoned),
                 QStringList{QStringLiteral("ABANDONED: Synchronization abandoned from its progress window.")});
        QVERIFY(w.findChild<QLabel*>(QStringLiteral("outcome"))->text().contains(QStringLiteral("abandoned")));
    }

    // The server is gone: the window says why, and the log has the reason.
    void FailedRunSaysWhy()
    {
        QVERIFY(Set(std::string(kProduct) + "\\Servers", "Norvelia", "http://127.0.0.1:1/Tidepost/srv/x/y"));
        platform::QtUiHost host;
        CHotSyncWindow w(Home());
        QVERIFY(w.SelectUser(QStringLiteral("Anne")));
        w.SetHandheld(QString::fromStdString(Handheld()));
        QVERIFY(w.StartSync());
        QTRY_VERIFY_WITH_TIMEOUT(!w.IsRunning(), 120000);
        QCOMPARE(w.LastOutcome().code, 1);
        const QString why = QString::fromStdString(w.LastOutcome().message);
        QVERIFY2(why.startsWith(QStringLiteral("Not synchronized: ")), qPrintable(why));
        const QString shown = w.findChild<QLabel*>(QStringLiteral("outcome"))->text();
        QVERIFY2(shown.contains(why), qPrintable(shown));
        // No praise after a failure: the closing entry is neither OK nor green.
        const QStringList failed = Texts(w.findChild<QListWidget*>(QStringLiteral("log")), 21);
        QVERIFY(!failed.isEmpty());
        QVERIFY(failed.join(QLatin1Char('\n')).contains(why.mid(int(std::strlen("Not synchronized: ")))));
        QCOMPARE(Texts(w.findChild<QListWidget*>(QStringLiteral("log")), CRunVerdict::kFailed), QStringList{"FAILED: " + why});
        QVERIFY(!shown.contains(QStringLiteral("OK")));
        // Red, and in bold where it heads the window.
        QCOMPARE(Colour(w.findChild<QListWidget*>(QStringLiteral("log")), CRunVerdict::kFailed), QStringLiteral("#b40000"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("outcome"))->styleSheet(),
                 QStringLiteral("color: #b40000; font-weight: bold;"));
    }

    // Someone else's handheld: the question is a dialog; No leaves it alone.
    void OwnershipQuestionDeclined()
    {
        QCOMPARE(Tool("handheld", "init --force --user Bruno " + Handheld()).code, 0);
        platform::QtUiHost host;
        ModalAnswerer answerer;
        SeenBox box;
        answerer.ExpectBox(QMessageBox::No, &box);
        CHotSyncWindow w(Home());
        QVERIFY(w.SelectUser(QStringLiteral("Anne")));
        w.SetHandheld(QString::fromStdString(Handheld()));
        QVERIFY(w.StartSync());
        QTRY_VERIFY_WITH_TIMEOUT(!w.IsRunning(), 120000);
        QVERIFY(box.shown && box.onGuiThread);
        QVERIFY(box.text.contains(QStringLiteral("belongs to \"Bruno\"")));
        QCOMPARE(w.LastOutcome().code, 2);
        QVERIFY(w.findChild<QLabel*>(QStringLiteral("outcome"))->text().contains(QStringLiteral("Bruno")));
        QCOMPARE(answerer.Unexpected(), 0);
    }

    // Entries of users.dat that cannot be used are not offered, and the
    // window says how many were left out.
    void UnusableUsersAreLeftOutWithAWord()
    {
        const std::string home = *m_Root / "tampered-home";
        const std::string users = home + "/users.dat";
        const std::string why = " cannot be used and %s not listed (an empty name, a control character, or a folder "
                                "name such as \"..\" or one with a \"/\"). \"hotsync user list\" says which and why.";
        const auto said = [&](const char* count, const char* verb) {
            std::string text = count + users + why;
            return QString::fromStdString(text.replace(text.find("%s"), 2, verb));
        };
        const struct {
            std::vector<CUsersFile::User> entries;
            QStringList offered;
            QString outcome;
        } cases[] = {
            {{{"Alice", "../escape", 1}, {"Eve\x1b[2J", "Eve", 2}, {"Bob", "Bob", 3}},
             {QStringLiteral("Bob")},
             said("2 entries of ", "are") + QStringLiteral("\nBob has not synchronized a handheld yet.")},
            {{{"", "Nobody", 1}},
             {},
             said("One entry of ", "is") +
                 QStringLiteral("\nNo HotSync user yet: add one with \"Set up...\" in the Settings menu.")},
        };
        for (const auto& c : cases) {
            std::filesystem::create_directories(home);
            const std::vector<BYTE> bytes = CUsersFile::Encode(c.entries);
            std::ofstream(users, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            CHotSyncWindow w(home);
            auto* list = w.findChild<QComboBox*>(QStringLiteral("users"));
            QStringList offered;
            for (int i = 0; i < list->count(); ++i) offered << list->itemText(i);
            QCOMPARE(offered, c.offered);
            QCOMPARE(w.findChild<QLabel*>(QStringLiteral("outcome"))->text(), c.outcome);
        }
    }

    // The window speaks the language MsgDll names, else the locale's, as the conduit does.
    void WindowSpeaksMsgDllLanguage()
    {
        const struct {
            const char* msgDll;
            const char* lang;
            bool loads;
            const char* button;
            const char* actions;
        } cases[] = {
            {"Lexmo.dll", "en_US.UTF-8", true, "&Synchroniser", "&Synchroniser les fichiers"},
            {"NoSuchCatalog.dll", "en_US.UTF-8", false, "&Synchroniser", "&Synchroniser les fichiers"},
            {"LexmoUs.dll", "fr_FR.UTF-8", true, "&Synchronize", "&Synchronize the files"},
            {"", "fr_FR.UTF-8", true, "&Synchroniser", "&Synchroniser les fichiers"},
            {"", "C.UTF-8", true, "&Synchronize", "&Synchronize the files"},
        };
        for (const auto& c : cases) {
            QVERIFY(Set(kProduct, "MsgDll", c.msgDll));
            qputenv("LANG", c.lang);
            QCOMPARE(CHotSyncWindow::LoadLanguage(), c.loads);
            CHotSyncWindow w(Home());
            QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("sync"))->text(), QString::fromUtf8(c.button));
            CHotSyncActionDlg dlg;
            QCOMPARE(dlg.findChild<QRadioButton*>(QStringLiteral("action0"))->text(), QString::fromUtf8(c.actions));
        }
        qputenv("LANG", "C.UTF-8");
        QVERIFY(Set(kProduct, "MsgDll", "LexmoUs.dll"));
        QVERIFY(CHotSyncWindow::LoadLanguage());
        CHotSyncActionDlg dlg;
        dlg.SetConduitName(QStringLiteral("&Norvelia"));
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("conduit"))->text(), QStringLiteral("Conduit: Norvelia"));
    }

private:
    std::string Home() const { return *m_Root / "home"; }
    std::string Handheld() const { return *m_Root / ("handheld-" + std::to_string(m_Case)); }

    std::unique_ptr<TempDir> m_Root;
    std::unique_ptr<ServiceProcess> m_Service;
    int m_Case = 0;
};

QTEST_MAIN(HotSyncGuiTest)
#include "HotSyncGuiTest.moc"
