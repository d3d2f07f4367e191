// From an installation to a scheduled synchronization, without a terminal
// command: the package's files installed into a temporary prefix, an empty
// account, the HotSync window's set-up (user, handheld, login) and its
// schedule setting; then the run the timer would start, by the generated
// service unit's command line, seen through its notification on a private
// session bus, and a failed one whose notification, clicked, asks the window
// to show its log.
#include <QComboBox>
#include <QDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTimer>
#include <QWizard>
#include <QtTest>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <regex>

#include "common/ChildProcess.h"
#include "common/ModalAnswerer.h"
#include "common/NotificationServer.h"
#include "common/ServiceProcess.h"
#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "hotsync/FirstStartWizard.h"
#include "hotsync/HotSyncDesktop.h"
#include "hotsync/HotSyncGuiInstance.h"
#include "hotsync/HotSyncWindow.h"
#include "hotsync/SyncSchedule.h"
#include "seam/QtUiHost.h"
#include "winreg/WinReg.h"

namespace fs = std::filesystem;

namespace {

// The value of each "key=" line of a unit, in order.
std::vector<std::string> UnitValues(const std::string& text, const std::string& key)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + "=", 0) == 0) out.push_back(line.substr(key.size() + 1));
    return out;
}

// The set-up's steps: a user added, a new handheld, the login.
void FollowSetUp(QWizard* wizard, ModalAnswerer& answerer)
{
    answerer.Expect([](QWidget* d) {
        if (auto* input = qobject_cast<QInputDialog*>(d)) {
            input->setTextValue(QStringLiteral("Anne"));
            input->accept();
        }
    });
    wizard->findChild<QPushButton*>(QStringLiteral("addUser"))->click();
    wizard->next();
    QVERIFY(wizard->findChild<QRadioButton*>(QStringLiteral("handheldNew"))->isChecked());
    wizard->next();
    wizard->findChild<QLineEdit*>(QStringLiteral("login"))->setText(QStringLiteral("anne"));
    wizard->findChild<QLineEdit*>(QStringLiteral("password"))->setText(QStringLiteral("s3cret"));
    wizard->findChild<QLineEdit*>(QStringLiteral("confirmation"))->setText(QStringLiteral("s3cret"));
    wizard->next();
    QCOMPARE(wizard->currentId(), int(CFirstStartWizard::kDonePage));
    wizard->accept();
}

} // namespace

class DesktopInstallTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_Root = std::make_unique<TempDir>("norv-desktop-install");
        const RunResult install = RunCommand("cmake --install '" NORV_BINARY_DIR "' --prefix '" + Prefix() + "'");
        QVERIFY2(install.code == 0, install.output.c_str());
        m_Service = std::make_unique<ServiceProcess>(std::vector<std::string>{}, *m_Root / "state.db");
        QVERIFY(m_Service->Running());
        // The package's server, here: the service of the test.
        const std::string defaults = Prefix() + "/share/norvelia/defaults.reg";
        const std::string text = std::regex_replace(ReadAll(defaults), std::regex("http://127\\.0\\.0\\.1:8470"),
                                                    m_Service->Url());
        std::ofstream(defaults, std::ios::trunc) << text;
        // A new account: nothing but its home; the programs and catalogs installed.
        const std::string home = *m_Root / "account";
        fs::create_directories(home);
        ::setenv("HOME", home.c_str(), 1);
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "NORVELIA_REGISTRY",
                                 "HOTSYNC_HOME", "LC_ALL", "LC_MESSAGES", "http_proxy", "https_proxy"})
            ::unsetenv(name);
        ::setenv("LANG", "fr_FR.UTF-8", 1);
        ::setenv("NORVELIA_MSGDIR", (Prefix() + "/share/norvelia").c_str(), 1);
        // The user manager's stand-in, found before any other.
        fs::create_directories(*m_Root / "bin");
        std::ofstream(*m_Root / "bin/systemctl") << "#!/bin/sh\nexit 0\n";
        fs::permissions(*m_Root / "bin/systemctl", fs::perms(0755));
        ::setenv("PATH", (*m_Root / "bin:" + Prefix() + "/bin:/usr/bin:/bin").c_str(), 1);
        winreg::SetStorePath("");
    }
    void cleanupTestCase()
    {
        m_Service.reset();
        m_Root.reset();
    }

    void FromTheWindowToAScheduledRunAndItsNotification()
    {
        NotificationServer notifications({"--click"});
        if (!notifications.Ready()) QSKIP("no session bus (the test runs under dbus-run-session)");
        const std::string account = *m_Root / "account";
        QVERIFY(CHotSyncWindow::LoadLanguage());
        platform::QtUiHost host;
        CHotSyncWindow window("");
        CHotSyncDesktop desktop(window);
        desktop.SetProgramDir(QString::fromStdString(Prefix() + "/bin"));
        window.show();
        desktop.Start(false);
        QVERIFY(fs::exists(account + "/.config/norvelia/registry.db"));

        // The set-up, as the window opens it, driven as a person would.
        ModalAnswerer answerer;
        // Each step from a timer of its own: the answerer's waits while a handler runs.
        answerer.Expect([&answerer](QWidget* w) {
            auto* wizard = qobject_cast<QWizard*>(w);
            QVERIFY(wizard);
            QTimer::singleShot(0, wizard, [wizard, &answerer] { FollowSetUp(wizard, answerer); });
        });
        desktop.OpenSetUp();
        QCOMPARE(answerer.Unexpected(), 0);
        QCOMPARE(window.CurrentUser(), QStringLiteral("Anne"));
        const std::string handheld = account + "/palm";
        QCOMPARE(window.Handheld(), QString::fromStdString(handheld));
        QVERIFY(fs::exists(handheld + "/handheld.json"));

        // The schedule setting: every day at seven.
        QString said;
        answerer.Expect([&answerer, &said](QWidget* w) {
            auto* dialog = qobject_cast<QDialog*>(w);
            QVERIFY(dialog);
            answerer.Expect([&said](QWidget* b) {
                if (auto* box = qobject_cast<QMessageBox*>(b)) {
                    said = box->text();
                    box->accept();
                }
            });
            dialog->findChild<QTimeEdit*>(QStringLiteral("scheduleAt"))->setTime(QTime(7, 0));
            QTimer::singleShot(0, dialog, [dialog] { dialog->accept(); });
        });
        desktop.OpenSchedule();
        QVERIFY2(said.startsWith(QStringLiteral("L'ordinateur de poche de Anne")), qPrintable(said));
        const std::string units = account + "/.config/systemd/user/";
        QVERIFY(ReadAll(units + "norvelia-hotsync-Anne.timer").find("OnCalendar=*-*-* 07:00:00") != std::string::npos);

        // What the timer starts: the service's command line, in its environment.
        const std::string service = ReadAll(units + "norvelia-hotsync-Anne.service");
        for (const std::string& assignment : UnitValues(service, "Environment")) {
            const std::string word = CSyncSchedule::SplitExecLine(assignment).at(0);
            ::setenv(word.substr(0, word.find('=')).c_str(), word.substr(word.find('=') + 1).c_str(), 1);
        }
        const std::vector<std::string> command = CSyncSchedule::SplitExecLine(UnitValues(service, "ExecStart").at(0));
        QCOMPARE(command.at(0), Prefix() + "/bin/hotsync");
        {
            ChildProcess run(command, *m_Root / "run.log");
            int code = ChildProcess::kRunning;
            QTRY_VERIFY_WITH_TIMEOUT((code = run.Wait(std::chrono::milliseconds(0))) != ChildProcess::kRunning, 120000);
            QVERIFY2(code == 0, ReadAll(*m_Root / "run.log").c_str());
        }
        QTRY_COMPARE(notifications.Notified().size(), std::size_t(1));
        QCOMPARE(notifications.Notified()[0][2], std::string("HotSync de Anne : synchronisé"));
        QVERIFY(notifications.Notified()[0][4].empty());

        // The service gone: the failure's notification, clicked, asks the window for the log.
        m_Service.reset();
        CHotSyncGuiInstance instance;
        QStringList shown;
        QVERIFY(instance.Claim([&shown](const QString& user, const QString& dir) { shown << user << dir; }));
        {
            ChildProcess run(command, *m_Root / "failed.log");
            int code = ChildProcess::kRunning;
            QTRY_VERIFY_WITH_TIMEOUT((code = run.Wait(std::chrono::milliseconds(0))) != ChildProcess::kRunning, 120000);
            QVERIFY2(code == 1, ReadAll(*m_Root / "failed.log").c_str());
        }
        QCOMPARE(notifications.Notified().size(), std::size_t(2));
        QCOMPARE(notifications.Notified()[1][2], std::string("HotSync de Anne : non synchronisé"));
        QCOMPARE(shown, (QStringList{QStringLiteral("Anne"), QString::fromStdString(handheld)}));
    }

private:
    std::string Prefix() const { return *m_Root / "usr"; }

    std::unique_ptr<TempDir> m_Root;
    std::unique_ptr<ServiceProcess> m_Service;
};

QTEST_MAIN(DesktopInstallTest)
#include "DesktopInstallTest.moc"
