// NvConnexion: the URL it checks, its dialog against a loopback server, what
// it leaves in LastErrorCode and the boxes it shows.
#include <httplib.h>
#include <stdlib.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "common/ModalAnswerer.h"
#include "common/QtTsan.h"
#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "connexion/ConnexionUrl.h"
#include "connexion/NvConnexionDlg.h"
#include "lexmo/Lexmo.h"
#include "seam/QtUiHost.h"
#include "settings/RegAccess.h"
#include "settings/RegKey.h"

namespace {

constexpr const char* kProduct = "SOFTWARE\\Norvelia\\Tidepost";

struct RegValue {
    DWORD type = 0;
    std::string data;
};

RegValue ReadValue(const char* name)
{
    RegValue v;
    RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kProduct, KEY_READ);
    if (!key) return v;
    BYTE buf[512];
    DWORD size = sizeof buf;
    if (RegQueryValueExA(key.get(), name, &v.type, buf, &size) == ERROR_SUCCESS)
        v.data.assign(reinterpret_cast<char*>(buf), size);
    return v;
}

// A text value of the product key; deleted when `text` is null.
void SetProductValue(const char* name, const char* text)
{
    CRegAccess reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    reg.SetKey(kProduct, true);
    if (text) reg.WriteString(name, text);
    if (RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kProduct, KEY_ALL_ACCESS); key && !text)
        RegDeleteValueA(key.get(), name);
}

// Writes one text value, creating the key below the product key.
void SetValue(const std::string& key, const char* name, const char* text)
{
    CRegAccess reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    reg.SetKey(std::string(kProduct) + "\\" + key, true);
    reg.WriteString(name, text);
}

QString Msg(int n)
{
    return QString::fromStdString(KESA_FormatMessage(n));
}

// Answers 3000 bytes, or 404 under /missing/; under /held/ it waits until the
// test lets it go; under /auth/ it asks for user "anne", password "secret".
class TestServer {
public:
    TestServer()
    {
        m_Server.set_tcp_nodelay(true);
        m_Server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(m_Mutex);
                m_Paths.push_back(req.path);
            }
            for (int i = 0; i < 2000 && req.path.starts_with("/held/") && !m_Release; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (req.path.starts_with("/missing/")) res.status = 404;
            if (req.path.starts_with("/auth/") && req.get_header_value("Authorization") != "Basic YW5uZTpzZWNyZXQ=") {
                res.status = 401;
                res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
            }
            res.set_content(res.status >= 400 ? "refused" : std::string(3000, 'x'), "application/octet-stream");
        });
        m_Port = m_Server.bind_to_any_port("127.0.0.1");
        m_Thread = std::thread([this] { m_Server.listen_after_bind(); });
    }
    ~TestServer()
    {
        m_Release = true;
        m_Server.stop();
        m_Thread.join();
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_Port) + path; }
    std::vector<std::string> Paths()
    {
        std::lock_guard lock(m_Mutex);
        return m_Paths;
    }
    void Release() { m_Release = true; }

private:
    httplib::Server m_Server;
    int m_Port = 0;
    std::thread m_Thread;
    std::mutex m_Mutex;
    std::vector<std::string> m_Paths;
    std::atomic<bool> m_Release{false};
};

} // namespace

class ConnexionTest : public QObject {
    Q_OBJECT
private:
    TempDir m_Dir{"connexion-test"};
    std::unique_ptr<platform::QtUiHost> m_Host;
    std::unique_ptr<TestServer> m_Server;

    // A check of `url` with its box answered; the dialog stays open.
    bool Check(CNvConnexionDlg& dialog, SeenBox& box)
    {
        ModalAnswerer answerer;
        answerer.ExpectBox(QMessageBox::Ok, &box);
        QSignalSpy finished(&dialog, &CNvConnexionDlg::CheckFinished);
        auto* check = dialog.findChild<QPushButton*>("checkButton");
        check->click();
        if (check->isEnabled() || !dialog.CheckRunning()) return false;
        if (!finished.wait(30000)) return false;
        return check->isEnabled() && answerer.Unexpected() == 0 && box.shown;
    }

private slots:
    void initTestCase()
    {
        ::setenv("NORVELIA_REGISTRY", (m_Dir / "registry.db").c_str(), 1);
        for (const char* v : {"http_proxy", "https_proxy", "all_proxy", "HTTPS_PROXY", "ALL_PROXY"}) ::unsetenv(v);
        SetProductValue("MsgDll", "LexmoUs.dll");
        m_Host = std::make_unique<platform::QtUiHost>();
        m_Server = std::make_unique<TestServer>();
    }
    void cleanupTestCase()
    {
        m_Server.reset();
        m_Host.reset();
    }

    void Urls()
    {
        // Everything after the program's word and the blanks that follow it.
        const std::pair<const char*, const char*> lines[] = {
            {"NvConnexion.exe", ""},
            {"NvConnexion.exe   ", ""},
            {"NvConnexion.exe \t  http://h/a/b/c", "http://h/a/b/c"},
            {"prog http://h/a b  c ", "http://h/a b  c "},
            {"prog \"http://h/x\"", "\"http://h/x\""},
            {"C:\\Program Files\\NvConnexion.exe http://h/x", "Files\\NvConnexion.exe http://h/x"},
        };
        for (const auto& [line, url] : lines) QCOMPARE(::UrlFromCommandLine(line), std::string(url));
        // Here the program's path is known apart, blanks or not.
        const char* argv[] = {"/opt/my programs/NvConnexion", "http://h/a", "b"};
        QCOMPARE(::UrlFromCommandLine(CommandLineOf(3, argv)), std::string("http://h/a b"));
        QCOMPARE(::UrlFromCommandLine(CommandLineOf(1, argv)), std::string());

        const std::pair<const char*, const char*> probes[] = {
            {"", "http://127.0.0.1:8470/Tidepost/xxx/test.bin"},
            {"http://h:81/a/b/c", "http://h:81/a/b/test.bin"},
            {"http://h/a/b/", "http://h/a/b/test.bin"},
            {"server", "/test.bin"},
            {"http://h/a/q?x=1/2", "http://h/a/q?x=1/test.bin"},
        };
        for (const auto& [server, probe] : probes) QCOMPARE(ProbeUrlOf(server), std::string(probe));
    }

    // Started without a URL, the program checks the server the settings make
    // current: the last user's, else the only user's.
    void ConfiguredServer()
    {
        QCOMPARE(ConfiguredServerUrl(), std::string());
        SetValue("Servers", "Norvelia", "http://n:1/T/a/b");
        SetValue("Servers", "Other", "http://o:2/T/a/b");
        SetValue("Users\\Anne", "CurrentServer", "Other");
        QCOMPARE(ConfiguredServerUrl(), std::string("http://o:2/T/a/b"));
        // Without a URL on the command line, that server is checked.
        QCOMPARE(UrlToCheck("NvConnexion"), std::string("http://o:2/T/a/b"));
        QCOMPARE(UrlToCheck("NvConnexion http://h/x/y"), std::string("http://h/x/y"));
        SetValue("Users\\Bob", "CurrentServer", "Norvelia");
        QCOMPARE(ConfiguredServerUrl(), std::string()); // two users, none chosen
        SetValue("Users", "LastUser", "Bob");
        QCOMPARE(ConfiguredServerUrl(), std::string("http://n:1/T/a/b"));
        SetValue("Users", "LastUser", "Nobody");
        QCOMPARE(ConfiguredServerUrl(), std::string());
        QCOMPARE(UrlToCheck("NvConnexion"), std::string()); // the built-in default
        RegKey users = OpenRegKey(HKEY_LOCAL_MACHINE, std::string(kProduct) + "\\Users", KEY_ALL_ACCESS);
        QVERIFY(users);
        RegDeleteKeyA(users.get(), "Anne");
        RegDeleteKeyA(users.get(), "Bob");
        RegDeleteValueA(users.get(), "LastUser");
    }

    void Check_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("requested");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("lastErrorCode");
        QTest::addColumn<int>("message");
        QTest::addColumn<int>("icon");
        QTest::newRow("success") << "/a/b/c" << "/a/b/test.bin" << true << QByteArray("0", 2) << 2055
                                 << int(QMessageBox::Information);
        QTest::newRow("not found") << "/missing/yyy" << "/missing/test.bin" << false << QByteArray("404", 4) << 2084
                                   << int(QMessageBox::Warning);
    }
    void Check()
    {
        QFETCH(QString, path);
        QFETCH(QString, requested);
        QFETCH(bool, ok);
        QFETCH(QByteArray, lastErrorCode);
        QFETCH(int, message);
        QFETCH(int, icon);
        SetProductValue("LastErrorCode", nullptr);
        const std::string url = m_Server->Url(path.toStdString());
        CNvConnexionDlg dialog(url);
        QCOMPARE(dialog.windowTitle(), Msg(2056));
        QCOMPARE(dialog.findChild<QLabel*>("explanation")->text(), Msg(2057));
        QCOMPARE(dialog.findChild<QPushButton*>("checkButton")->text(), Msg(2058));
        QCOMPARE(dialog.findChild<QPushButton*>("quitButton")->text(), Msg(2059));
        QVERIFY(dialog.findChild<QPushButton*>("checkButton")->isDefault() && !dialog.windowIcon().isNull());
        // Resource 102: the list under the line, long lines kept whole behind a scroll bar.
        auto* logList = dialog.findChild<QListWidget*>("logList");
        QVERIFY(!logList->wordWrap());
        QCOMPARE(logList->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        QVERIFY(logList->geometry().top() > dialog.findChild<QFrame*>("line")->geometry().bottom());
        QVERIFY(dialog.findChild<QPushButton*>("quitButton")->geometry().left() >
                dialog.findChild<QPushButton*>("checkButton")->geometry().right());
        QCOMPARE(dialog.size(), dialog.minimumSize());
        QSignalSpy finished(&dialog, &CNvConnexionDlg::CheckFinished);
        SeenBox box;
        QVERIFY(Check(dialog, box));
        QCOMPARE(finished.at(0).at(0).toBool(), ok);
        QCOMPARE(m_Server->Paths().back(), requested.toStdString());
        const RegValue v = ReadValue("LastErrorCode");
        QCOMPARE(v.type, REG_SZ);
        QCOMPARE(QByteArray::fromStdString(v.data), lastErrorCode);
        QCOMPARE(box.text, Msg(message));
        QCOMPARE(box.title, Msg(2056));
        QCOMPARE(int(box.icon), icon);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

        // The probe's account, ending with its last line.
        QStringList lines;
        for (auto* item : dialog.findChild<QListWidget*>("logList")->findItems("", Qt::MatchStartsWith))
            lines << item->text();
        QVERIFY(lines.size() > 2);
        QCOMPARE(lines.front().toStdString(), ProbeUrlOf(url)); // the address tried, first
        if (ok) {
            QCOMPARE(lines.back(), Msg(2063));
            QVERIFY(lines.contains(QString::fromStdString(KESA_FormatMessage(2062, 3000u))));
        } else {
            const QString notFound = QString::fromStdString(KESA_FormatMessage(2085, ProbeUrlOf(url)));
            QVERIFY2(std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(notFound); }),
                     qPrintable(lines.join('\n')));
        }

        // A second check starts on an empty list: one account, not two.
        SeenBox again;
        QVERIFY(Check(dialog, again));
        auto* log = dialog.findChild<QListWidget*>("logList");
        QCOMPARE(log->count(), int(lines.size()));
        QCOMPARE(log->item(log->count() - 1)->text(), lines.back());
    }

    // The window keeps serving while the probe waits: its lines come in and
    // the check button stays disabled until the end.
    void WindowServesWhileTheProbeWaits()
    {
        CNvConnexionDlg dialog(m_Server->Url("/held/x"));
        ModalAnswerer answerer;
        SeenBox box;
        answerer.ExpectBox(QMessageBox::Ok, &box);
        QSignalSpy finished(&dialog, &CNvConnexionDlg::CheckFinished);
        auto* check = dialog.findChild<QPushButton*>("checkButton");
        auto* log = dialog.findChild<QListWidget*>("logList");
        check->click();
        QTRY_VERIFY_WITH_TIMEOUT(log->count() > 0, 10000);
        QVERIFY(!check->isEnabled());
        QVERIFY(finished.isEmpty());
        check->click(); // disabled: no second check
        m_Server->Release();
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.size(), 1);
        QVERIFY(box.shown);
        QVERIFY(check->isEnabled());
    }

    // Mode 0: the probe on its thread asks the person through the window,
    // in the window's language (here French), its buttons too.
    void ServerCredentialsAskedInTheWindow()
    {
        SetProductValue("MsgDll", "Lexmo.dll");
        CNvConnexionDlg dialog(m_Server->Url("/auth/x"));
        SetProductValue("MsgDll", "LexmoUs.dll");
        ModalAnswerer answerer;
        QString cancel;
        answerer.Expect([&cancel](QWidget* w) {
            if (auto* buttons = w->findChild<QDialogButtonBox*>())
                cancel = buttons->button(QDialogButtonBox::Cancel)->text();
            auto* user = w->findChild<QLineEdit*>("user");
            auto* pwd = w->findChild<QLineEdit*>("password");
            if (user && pwd) {
                user->setText("anne");
                pwd->setText("secret");
            }
            if (auto* d = qobject_cast<QDialog*>(w)) d->accept();
        });
        SeenBox box;
        answerer.ExpectBox(QMessageBox::Ok, &box);
        QSignalSpy finished(&dialog, &CNvConnexionDlg::CheckFinished);
        dialog.findChild<QPushButton*>("checkButton")->click();
        QVERIFY(finished.wait(30000));
        QVERIFY(finished.at(0).at(0).toBool());
        QCOMPARE(box.text, Msg(2055));
        QCOMPARE(cancel, QString("Annuler"));
        QCOMPARE(answerer.Pending(), 0);
        QCOMPARE(ReadValue("LastErrorCode").data, std::string("0", 2));
        KESA_LoadMessages("LexmoUs.dll");
    }

    // The quit button, Escape and the close box, after a check.
    void QuitWritesMinusOne()
    {
        for (const int how : {0, 1, 2}) {
            CNvConnexionDlg dialog(m_Server->Url("/a/b/c"));
            SeenBox box;
            dialog.show();
            QVERIFY(Check(dialog, box));
            QCOMPARE(ReadValue("LastErrorCode").data, std::string("0", 2));
            QSignalSpy rejected(&dialog, &QDialog::rejected);
            if (how == 0) dialog.findChild<QPushButton*>("quitButton")->click();
            if (how == 1) QTest::keyClick(&dialog, Qt::Key_Escape);
            if (how == 2) dialog.close();
            QVERIFY(rejected.size() == 1 && !dialog.isVisible());
            const RegValue v = ReadValue("LastErrorCode");
            QCOMPARE(v.type, REG_BINARY);
            QCOMPARE(v.data, std::string(4, '\xFF'));
        }
    }

    void CatalogThatCannotBeLoaded()
    {
        SetProductValue("MsgDll", "NoSuchCatalog.dll");
        SetProductValue("LastErrorCode", nullptr);
        ModalAnswerer answerer;
        SeenBox box;
        answerer.ExpectBox(QMessageBox::Ok, &box);
        {
            CNvConnexionDlg dialog("");
            QVERIFY(!dialog.MessagesLoaded());
        }
        SetProductValue("MsgDll", "LexmoUs.dll");
        QVERIFY(box.shown);
        QCOMPARE(box.text, QString("Messages load failure"));
        QCOMPARE(box.title, QString("Aborting"));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(ReadValue("LastErrorCode").type, DWORD(0));
    }

    // Answered on the terminal with no window system at all.
    void HelpAndVersionWithoutDisplay()
    {
        const std::string program = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " NORV_BINARY_DIR
                                    "/bin/NvConnexion";
        RunResult help = RunCommand(program + " --help");
        QCOMPARE(help.code, 0);
        QVERIFY(help.output.find("URL") != std::string::npos);
        RunResult version = RunCommand(program + " --version");
        QCOMPARE(version.code, 0);
        QVERIFY(version.output.rfind("NvConnexion ", 0) == 0);
    }
};

QTEST_MAIN(ConnexionTest)
#include "ConnexionTest.moc"
