// The HotSync window on a desktop: the set-up of a first start, the window
// opening on the last run, the schedule setting, the tray's menu, and the
// notification of a run nobody watched, against a scripted notification
// service on the private session bus CTest starts the test on.
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimeEdit>
#include <QtTest>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "common/ModalAnswerer.h"
#include "common/NotificationServer.h"
#include "common/ServiceProcess.h"
#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "hotsync/FirstStartWizard.h"
#include "hotsync/HotSyncDesktop.h"
#include "hotsync/HotSyncTray.h"
#include "hotsync/HotSyncWindow.h"
#include "hotsync/RunNotification.h"
#include "hotsync/ScheduleDialog.h"
#include "hotsync/UserServiceSettings.h"
#include "hotsync/UsersFile.h"
#include "nvservices/NvServices.h"
#include "palmkit/HandheldInfo.h"
#include "seam/QtUiHost.h"
#include "settings/RegKey.h"
#include "winreg/WinReg.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kProduct = "Software\\Norvelia\\Tidepost";

void Set(const std::string& key, const std::string& name, const std::string& value)
{
    HKEY raw = nullptr;
    QCOMPARE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &raw, nullptr), ERROR_SUCCESS);
    RegKey k(raw);
    RegSetValueExA(k.get(), name.c_str(), REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD(value.size() + 1));
}

std::string Get(const std::string& key, const std::string& name)
{
    RegKey k = OpenRegKey(HKEY_LOCAL_MACHINE, key, KEY_READ);
    char buf[512] = {};
    DWORD size = sizeof buf - 1;
    if (!k || RegQueryValueExA(k.get(), name.c_str(), nullptr, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
        return "(none)";
    return buf;
}

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// Types `text` into the next input dialog and presses OK.
void AnswerText(ModalAnswerer& answerer, const QString& text)
{
    answerer.Expect([text](QWidget* w) {
        auto* dialog = qobject_cast<QInputDialog*>(w);
        if (!dialog) return;
        dialog->setTextValue(text);
        dialog->accept();
    });
}

// Presses the button of the next message box whose text starts with `button`.
void AnswerBox(ModalAnswerer& answerer, const QString& button, QString* text = nullptr)
{
    answerer.Expect([button, text](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) return;
        if (text) *text = box->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text().remove(QLatin1Char('&')).startsWith(button)) {
                b->click();
                return;
            }
        box->reject();
    });
}

} // namespace

class DesktopGuiTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_Root = std::make_unique<TempDir>("norv-desktop-gui");
        // A new account: its own home, settings store and unit folder.
        ::setenv("HOME", (*m_Root / "account").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (*m_Root / "account/.config").c_str(), 1);
        ::setenv("NORVELIA_REGISTRY", (*m_Root / "registry.db").c_str(), 1);
        ::setenv("HOTSYNC_HOME", Home().c_str(), 1);
        fs::create_directories(*m_Root / "account");
        winreg::SetStorePath(*m_Root / "registry.db");
        // Every text in English.
        Set(kProduct, "MsgDll", "LexmoUs.dll");
        QVERIFY(CHotSyncWindow::LoadLanguage());
        // The user manager's stand-in.
        fs::create_directories(*m_Root / "bin");
        std::ofstream(*m_Root / "bin/systemctl") << "#!/bin/sh\necho \"$*\" >> \"$(dirname \"$0\")/systemctl.log\"\n";
        fs::permissions(*m_Root / "bin/systemctl", fs::perms(0755));
        m_Path = ::getenv("PATH");
        ::setenv("PATH", (*m_Root / "bin:" + m_Path).c_str(), 1);
    }
    void cleanup()
    {
        m_Service.reset();
        ::setenv("PATH", m_Path.c_str(), 1);
        winreg::SetStorePath("");
        m_Root.reset();
    }

    // A new account goes from nothing to a user, a handheld and a login in the window.
    void FirstStartAsksForWhatARunNeeds()
    {
        QVERIFY(CFirstStartWizard::Needed(Home(), {}, {}));
        platform::QtUiHost host;
        CHotSyncWindow window(Home());
        CHotSyncDesktop desktop(window);
        desktop.Start(false);
        QVERIFY2(window.statusBar()->currentMessage().startsWith(QStringLiteral("The settings of a new installation "
                                                                                "were missing: imported ")),
                 qPrintable(window.statusBar()->currentMessage()));
        auto wizard = desktop.MakeSetUp();
        wizard->show();
        QCOMPARE(wizard->currentId(), int(CFirstStartWizard::kUserPage));
        QVERIFY(!wizard->button(QWizard::NextButton)->isEnabled());

        ModalAnswerer answerer;
        AnswerText(answerer, QStringLiteral("Anne"));
        QTest::mouseClick(wizard->findChild<QPushButton*>(QStringLiteral("addUser")), Qt::LeftButton);
        QTRY_COMPARE(answerer.Pending(), 0);
        QCOMPARE(wizard->User(), QStringLiteral("Anne"));
        QVERIFY(fs::is_directory(Home() + "/Anne"));
        // Added, renamed, then one more removed with its folder: the list follows.
        AnswerText(answerer, QStringLiteral("Bob"));
        QTest::mouseClick(wizard->findChild<QPushButton*>(QStringLiteral("addUser")), Qt::LeftButton);
        QTRY_COMPARE(wizard->User(), QStringLiteral("Bob"));
        AnswerText(answerer, QStringLiteral("Bruno"));
        QTest::mouseClick(wizard->findChild<QPushButton*>(QStringLiteral("renameUser")), Qt::LeftButton);
        QTRY_COMPARE(wizard->User(), QStringLiteral("Bruno"));
        QString question;
        AnswerBox(answerer, QStringLiteral("Remove and delete"), &question);
        QTest::mouseClick(wizard->findChild<QPushButton*>(QStringLiteral("removeUser")), Qt::LeftButton);
        QTRY_COMPARE(answerer.Pending(), 0);
        QVERIFY2(question.startsWith(QStringLiteral("Remove the HotSync user \"Bruno\"?")), qPrintable(question));
        QVERIFY(!fs::exists(Home() + "/Bob"));
        auto* users = wizard->findChild<QListWidget*>(QStringLiteral("wizardUsers"));
        QCOMPARE(users->count(), 1);
        QCOMPARE(wizard->User(), QStringLiteral("Anne"));
        QCOMPARE(answerer.Unexpected(), 0);

        // A new handheld, made where the person's home has room for it.
        wizard->next();
        QCOMPARE(wizard->currentId(), int(CFirstStartWizard::kHandheldPage));
        QCOMPARE(wizard->HandheldDir(), Q(*m_Root / "account/palm"));
        QVERIFY(wizard->findChild<QRadioButton*>(QStringLiteral("handheldNew"))->isChecked());
        wizard->next();
        QCOMPARE(wizard->currentId(), int(CFirstStartWizard::kLoginPage));
        CHandheldInfo info;
        QVERIFY(info.Load(*m_Root / "account/palm"));
        QCOMPARE(info.m_UserName, std::string("Anne"));
        QCOMPARE(fs::status(*m_Root / "account/palm").permissions(), fs::perms::owner_all);

        // The login: two passwords that differ are refused; then stored as NvPassword stores it.
        auto* server = wizard->findChild<QComboBox*>(QStringLiteral("server"));
        QCOMPARE(server->currentText(), QStringLiteral("Norvelia"));
        wizard->findChild<QLineEdit*>(QStringLiteral("login"))->setText(QStringLiteral("anne"));
        wizard->findChild<QLineEdit*>(QStringLiteral("password"))->setText(QStringLiteral("s3cret"));
        wizard->findChild<QLineEdit*>(QStringLiteral("confirmation"))->setText(QStringLiteral("s3cret "));
        wizard->next();
        QCOMPARE(wizard->currentId(), int(CFirstStartWizard::kLoginPage));
        QCOMPARE(wizard->findChild<QLabel*>(QStringLiteral("loginStatus"))->text(),
                 QStringLiteral("The two passwords differ."));
        QCOMPARE(Get(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "UID"), std::string("(none)"));
        wizard->findChild<QLineEdit*>(QStringLiteral("password"))->setText(QStringLiteral("s3cret"));
        wizard->findChild<QLineEdit*>(QStringLiteral("confirmation"))->setText(QStringLiteral("s3cret"));
        wizard->next();
        QCOMPARE(wizard->currentId(), int(CFirstStartWizard::kDonePage));
        const std::string user = std::string(kProduct) + "\\Users\\Anne";
        QCOMPARE(Get(user, "CurrentServer"), std::string("Norvelia"));
        QCOMPARE(Get(user + "\\Norvelia", "UID"), std::string("anne"));
        QCOMPARE(Get(user + "\\Norvelia", "PWD"), NvCypher("s3cret", "k&vanne"));
        wizard->accept();
        QVERIFY(!CFirstStartWizard::Needed(Home(), QStringLiteral("Anne"), {}));
        QCOMPARE(CHotSyncWindow::RememberedHandheld(Home(), QStringLiteral("Anne")), Q(*m_Root / "account/palm"));

        // Started again, the set-up keeps the stored password when none is typed.
        auto again = desktop.MakeSetUp();
        again->show();
        again->next();
        again->next();
        QVERIFY(again->findChild<QLabel*>(QStringLiteral("loginStatus"))
                    ->text()
                    .startsWith(QStringLiteral("A login is stored for Anne on Norvelia")));
        again->next();
        QCOMPARE(again->currentId(), int(CFirstStartWizard::kDonePage));
        QCOMPARE(Get(user + "\\Norvelia", "PWD"), NvCypher("s3cret", "k&vanne"));
    }

    // Started again, the window shows the last run of the user, not an empty log.
    void WindowOpensOnTheLastRun()
    {
        fs::create_directories(Home() + "/Anne");
        QVERIFY(CUsersFile::Write(Home() + "/users.dat", {{"Anne", "Anne", 7}}));
        std::ofstream(Home() + "/Anne/HotSync.log")
            << "2024-05-01 10:00:00\t-1 info\t=== HotSync run: Anne with Norvelia (fast)\n"
               "2024-05-01 10:00:01\t20 done\tNorvelia\n"
               "2024-05-02 11:30:00\t-1 info\t=== HotSync run: Anne with Norvelia (fast)\n"
               "2024-05-02 11:30:01\t-1 info\tCatalog C1 received\n"
               "2024-05-02 11:30:02\t21 failed\tThe server did not answer\\n(port 1)\n"
               "not a line of the log\n";
        CHotSyncWindow window(Home());
        auto* log = window.findChild<QListWidget*>(QStringLiteral("log"));
        QCOMPARE(log->count(), 2);
        QCOMPARE(log->item(0)->text(), QStringLiteral("Catalog C1 received"));
        QCOMPARE(log->item(1)->text(), QStringLiteral("FAILED: The server did not answer\n(port 1)"));
        QCOMPARE(window.OutcomeText(), QStringLiteral("Last synchronization, 2024-05-02 11:30: not synchronized: The "
                                                      "server did not answer\n(port 1)"));
    }

    // The schedule setting puts the same timer in place as hotsync schedule.
    void ScheduleSettingPutsTheTimerInPlace()
    {
        const std::string handheld = *m_Root / "palm";
        fs::create_directories(handheld);
        QVERIFY(CHandheldInfo().Save(handheld));
        const std::string timer = *m_Root / "account/.config/systemd/user/norvelia-hotsync-Anne.timer";
        {
            CScheduleDialog dialog(Home(), QStringLiteral("Anne"), Q(handheld));
            dialog.SetProgram(NORV_BINARY_DIR "/bin/hotsync");
            QVERIFY(dialog.findChild<QRadioButton*>(QStringLiteral("scheduleOff"))->isChecked());
            dialog.findChild<QTimeEdit*>(QStringLiteral("scheduleAt"))->setTime(QTime(6, 45));
            QVERIFY(dialog.findChild<QRadioButton*>(QStringLiteral("scheduleDaily"))->isChecked());
            const CSyncSchedule::Result r = dialog.Apply();
            QCOMPARE(r.status, 0);
            QVERIFY2(QString::fromStdString(r.text).startsWith(QStringLiteral("Anne's handheld")),
                     r.text.c_str());
        }
        QVERIFY(ReadAll(timer).find("OnCalendar=*-*-* 06:45:00\n") != std::string::npos);
        QCOMPARE(ReadAll(*m_Root / "bin/systemctl.log"),
                 std::string("--user daemon-reload\n--user restart norvelia-hotsync-Anne.timer\n"));
        {
            CScheduleDialog dialog(Home(), QStringLiteral("Anne"), Q(handheld));
            QVERIFY(dialog.findChild<QRadioButton*>(QStringLiteral("scheduleDaily"))->isChecked());
            QCOMPARE(dialog.findChild<QTimeEdit*>(QStringLiteral("scheduleAt"))->time(), QTime(6, 45));
            dialog.findChild<QSpinBox*>(QStringLiteral("scheduleHours"))->setValue(3);
            QCOMPARE(dialog.Chosen(), (CSyncSchedule::When{CSyncSchedule::When::Kind::Every, 180}));
            dialog.findChild<QRadioButton*>(QStringLiteral("scheduleOff"))->setChecked(true);
            QCOMPARE(dialog.Apply().status, 0);
        }
        QVERIFY(!fs::exists(timer));
    }

    // Watched, a run ends in the window; minimised, in a notification that
    // brings the window up on its log when the person clicks it.
    void UnwatchedRunEndsInANotification()
    {
        NotificationServer notifications({"--click"});
        if (!notifications.Ready()) QSKIP("no session bus (the test runs under dbus-run-session)");
        const std::string handheld = *m_Root / "palm";
        QCOMPARE(RunCommand(NORV_BINARY_DIR "/bin/handheld init --user Anne " + handheld).code, 0);
        QCOMPARE(RunCommand(NORV_BINARY_DIR "/bin/hotsync user add Anne").code, 0);
        Set(std::string(kProduct) + "\\Users\\Anne", "CurrentServer", "Norvelia");
        Set(std::string(kProduct) + "\\Users\\Anne\\Norvelia", "UID", "anne");
        platform::QtUiHost host;
        CHotSyncWindow window(Home());
        CHotSyncDesktop desktop(window);
        window.SetHandheld(Q(handheld));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        struct Case {
            const char* name;
            bool serviceUp;
            bool minimised;
            std::vector<std::string> notified; // summary, body, actions, urgency
        };
        const Case cases[] = {
            {"watched", true, false, {}},
            {"minimised, synchronized", true, true, {"HotSync of Anne: synchronized", "", "", "1"}},
            {"minimised, failed", false, true, {"HotSync of Anne: not synchronized", "", "default,Open the log", "2"}},
        };
        std::size_t sent = 0;
        for (const Case& c : cases) {
            m_Service.reset();
            if (c.serviceUp) {
                m_Service = std::make_unique<ServiceProcess>(std::vector<std::string>{}, *m_Root / "state.db");
                QVERIFY(m_Service->Running());
                Set(std::string(kProduct) + "\\Servers", "Norvelia", m_Service->Url() + "/xxx/yyy");
            } else {
                Set(std::string(kProduct) + "\\Servers", "Norvelia", "http://127.0.0.1:1/Tidepost/x/y");
            }
            if (c.minimised) window.showMinimized();
            QVERIFY(window.StartSync());
            QTRY_VERIFY_WITH_TIMEOUT(!window.IsRunning(), 120000);
            QCOMPARE(desktop.Tray().ToolTip(), QStringLiteral("HotSync\n") + window.OutcomeText());
            const auto notified = notifications.Notified();
            if (c.notified.empty()) {
                QTest::qWait(300);
                QCOMPARE(notifications.Notified().size(), sent);
                continue;
            }
            QTRY_COMPARE(notifications.Notified().size(), sent + 1);
            const std::vector<std::string> n = notifications.Notified()[sent++];
            QCOMPARE(n[0], std::string("HotSync"));
            QCOMPARE(n[1], std::string("hotsync-gui"));
            QCOMPARE(n[2], c.notified[0]);
            if (!c.notified[1].empty()) QCOMPARE(n[3], c.notified[1]);
            QCOMPARE(n[4], c.notified[2]);
            QCOMPARE(n[5], c.notified[3]);
            QCOMPARE(n[6], std::string("hotsync-gui"));
            if (!c.serviceUp) {
                QVERIFY2(!n[3].empty(), c.name);
                // Clicked: the window comes up on the run's log.
                QTRY_VERIFY(!window.isMinimized());
                QTRY_VERIFY(ReadAll(notifications.Log()).find("Close\t") != std::string::npos);
            }
        }
    }

    // The tray's menu offers a run and the window; its tooltip tells the verdict.
    void TrayMenuSynchronizesAndOpens()
    {
        CHotSyncWindow window(Home());
        CHotSyncDesktop desktop(window);
        QMenu* menu = desktop.Tray().Menu();
        QStringList texts;
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) texts << a->text();
        QCOMPARE(texts, (QStringList{QStringLiteral("&Synchronize now"), QStringLiteral("&Open"),
                                     QStringLiteral("&Quit")}));
        QCOMPARE(menu->defaultAction(), desktop.Tray().OpenAction());
        QCOMPARE(desktop.Tray().ToolTip(),
                 QStringLiteral("HotSync\nNo HotSync user yet: add one with \"Set up...\" in the Settings menu."));
        window.showMinimized();
        desktop.Tray().OpenAction()->trigger();
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());
        // Nothing chosen: "Synchronize now" starts nothing.
        desktop.Tray().SynchronizeAction()->trigger();
        QVERIFY(!window.IsRunning());
    }

    // What a server that reads markup gets: a reason's "<" is not a tag.
    void NotificationTextIsPlainForAServerThatReadsMarkup()
    {
        NotificationServer notifications({"--markup", "--no-actions"});
        if (!notifications.Ready()) QSKIP("no session bus (the test runs under dbus-run-session)");
        CSyncRun::Outcome failed;
        failed.code = 1;
        failed.verdict = CRunVerdict::NotSynchronized("<b>refused</b> & more");
        const CRunNotification::Text text = CRunNotification::For(failed, "Anne");
        QCOMPARE(text.summary, std::string("HotSync of Anne: not synchronized"));
        QCOMPARE(text.body, std::string("Not synchronized: <b>refused</b> & more"));
        CRunNotification n;
        std::string error;
        QVERIFY2(n.Send(text, &error), error.c_str());
        // Without actions it is not waited for.
        QVERIFY(!n.WaitForClick(std::chrono::seconds(30)));
        QTRY_COMPARE(notifications.Notified().size(), std::size_t(1));
        QCOMPARE(notifications.Notified()[0][3],
                 std::string("Not synchronized: &lt;b&gt;refused&lt;/b&gt; &amp; more"));
        QCOMPARE(notifications.Notified()[0][4], std::string());
    }

private:
    std::string Home() const { return *m_Root / "hotsync"; }

    std::unique_ptr<TempDir> m_Root;
    std::unique_ptr<ServiceProcess> m_Service;
    std::string m_Path;
};

QTEST_MAIN(DesktopGuiTest)
#include "DesktopGuiTest.moc"
