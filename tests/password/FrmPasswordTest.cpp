// The settings program's window and dialogs over a private settings store and
// a HotSync home made by hotsync. Every message box is answered by the test.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <sys/wait.h>

#include <cerrno>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>

#include "common/LanguageWords.h"
#include "common/TestFiles.h"
#include "common/TestRun.h"
#include "lexmo/Lexmo.h"
#include "nvservices/NvServices.h"
#include "password/FrmDlgCnx.h"
#include "password/FrmDlgCrtcUsr.h"
#include "password/FrmDlgSrv.h"
#include "password/FrmPassword.h"
#include "password/MsgBox.h"
#include "password/PasswordActions.h"
#include "winreg/RegTestStore.h"

namespace {

const std::string P = "SOFTWARE\\Norvelia\\Tidepost";
const std::string kUsers = P + "\\Users";
const std::string kServers = P + "\\Servers";
const std::string kDefaultUrl = "http://127.0.0.1:8470/Tidepost/xxx/yyy";
const std::string kAlice = "Alice Martin";

std::string Bin(const std::string& program) { return std::string(NORV_BINARY_DIR) + "/bin/" + program; }
std::string Q(const std::string& s) { return "'" + s + "'"; }
QString U(const char* s) { return QString::fromUtf8(s); }
std::string S(const QString& s) { return s.toStdString(); }

// A REG_SZ of exactly 256 bytes: the text, then zeros.
std::string Fixed(const std::string& text) { return text + std::string(256 - text.size(), '\0'); }
std::string Sz(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }

struct Box {
    QString text;
    QString caption;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

} // namespace

class FrmPasswordTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempDir> m_Dir;
    std::unique_ptr<TfrmPassword> m_Form;
    std::vector<Box> m_Boxes;
    std::deque<QMessageBox::StandardButton> m_Answers;
    bool m_ModalMissed = false;

    std::string Home() const { return *m_Dir / "home"; }

    void AddUser(const std::string& name)
    {
        const RunResult r = RunCommand(Bin("hotsync") + " --home " + Q(Home()) + " user add " + Q(name));
        QVERIFY2(r.code == 0, r.output.c_str());
    }

    TfrmPassword& Start()
    {
        m_Form = std::make_unique<TfrmPassword>();
        if (!m_Form->FormCreate()) qWarning("FormCreate failed");
        m_Form->show();
        return *m_Form;
    }

    // The one box shown since the last call, as error (message text, caption "Norvelia").
    void ExpectBoxes(const std::vector<std::pair<QString, QMessageBox::Icon>>& expected)
    {
        QCOMPARE(int(m_Boxes.size()), int(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(m_Boxes[i].text, expected[i].first);
            QCOMPARE(m_Boxes[i].icon, expected[i].second);
            const char* caption = expected[i].second == QMessageBox::Information ? "Information"
                                  : expected[i].second == QMessageBox::NoIcon   ? "NvPassword"
                                                                                : "Norvelia";
            QCOMPARE(m_Boxes[i].caption, U(caption));
        }
        m_Boxes.clear();
    }
    void ExpectError(const char* text) { ExpectBoxes({{U(text), QMessageBox::Critical}}); }
    void ExpectSaved() { ExpectBoxes({{U("Vos paramètres ont été enregistrés."), QMessageBox::Information}}); }

    // Runs `act` on the dialog of type D once it is the modal window; bounded.
    template <class D>
    void WhenModal(std::function<void(D*)> act, int tries = 300)
    {
        QTimer::singleShot(10, this, [this, act, tries] {
            auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
            if (dialog && dialog->isVisible()) {
                act(dialog);
                if (dialog->isVisible()) dialog->reject(); // never leave a test hanging on it
            } else if (tries > 0) {
                WhenModal<D>(act, tries - 1);
            } else {
                m_ModalMissed = true;
            }
        });
    }

    void SelectServersUser(const std::string& user)
    {
        TfrmPassword& f = *m_Form;
        f.tabCtl->setCurrentWidget(f.tabServers);
        f.ComboSrvUserList->setCurrentIndex(f.ComboSrvUserList->findText(QString::fromStdString(user)));
        f.ComboSrvUserListChange();
    }

    QStringList Column(int column) const
    {
        QStringList out;
        for (int i = 0; i < m_Form->ListView1->topLevelItemCount(); ++i)
            out << m_Form->ListView1->topLevelItem(i)->text(column);
        return out;
    }

private slots:
    void init()
    {
        m_Dir = std::make_unique<TempDir>("norv-password");
        const std::string store = *m_Dir / "registry.db";
        qputenv("NORVELIA_REGISTRY", QByteArray::fromStdString(store));
        winreg::SetStorePath(store);
        const RunResult r = RunCommand(Bin("norvreg") + " import " + Q(std::string(NORV_SOURCE_DIR) +
                                                                     "/share/norvelia/defaults.reg"));
        QVERIFY2(r.code == 0, r.output.c_str());
        // French chosen, as a user would: the forms' texts are read in it.
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, P, "MsgDll", "Lexmo.dll"), ERROR_SUCCESS);
        AddUser(kAlice);
        AddUser("Bob");
        // Alice has a login on the default server, which is her current one.
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice + "\\Norvelia", "UID", "alice"), ERROR_SUCCESS);
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice, "CurrentServer", "Norvelia"), ERROR_SUCCESS);
        m_Boxes.clear();
        m_Answers.clear();
        m_ModalMissed = false;
        TMsgBox::SetHook([this](const TMsgBox::Request& r) {
            m_Boxes.push_back({r.text, r.caption, r.icon, r.buttons, r.defaultButton});
            if (m_Answers.empty()) return r.defaultButton;
            const auto answer = m_Answers.front();
            m_Answers.pop_front();
            return answer;
        });
    }

    void cleanup()
    {
        m_Form.reset();
        TMsgBox::SetHook({});
        winreg::SetStorePath("");
        QVERIFY(!m_ModalMissed);
        m_Dir.reset();
    }

    void controlsAndTextsFromTheCatalog()
    {
        TfrmPassword& f = Start();
        const char* names[] = {
            "Image1", "tabCtl", "tabNorveliaLogin", "tabCheckConnection", "tabServers", "btnCancel",
            "ComboUserList", "GroupBox1", "EdLoginNorvelia", "EdNewPasswordNorvelia", "EdConfirmPasswordNorvelia",
            "btnNorveliaLoginOk", "ComboServerList", "lblTitleNorvelia", "lblExplainNorvelia", "lblUsername",
            "lblDefaultServer", "lblLogin", "lblPassword", "lblConfirmPassword", "lblTitleProxy", "lblExplainProxy",
            "gbxProxy", "rbConnectionDefault", "rbConnectionProxy", "gbxProxyLogin", "lblProxyLogin",
            "edtProxyLogin", "lblProxyPassword", "edtProxyPassword", "lblNoInfoSentToNorvelia", "btnTestCnx",
            "btnCheckConnectionOk", "lblTitleServers", "lblExplainServers", "lblSrvUserName", "ComboSrvUserList",
            "ListView1", "btnCreateServer", "btnDeleteServer", "btnModifyServer", "btnDefaultServer",
            "EdDlgServerNorvelia", "EdDlgURLNorvelia", "btnDlgSrvOk", "btnDlgSrvQuit", "lblExplainConnexion",
            "EdDlgCnxUserName", "EdDlgCnxUserLogin", "EdDlgCnxNewNorveliaPassword",
            "EdDlgCnxNorveliaPasswordConfirmation", "CheckCnxDefaultServer", "btnDlgCnxOk", "btnDlgCnxQuit",
            "lblExplainDeleteInfo", "lstbCriticUsers", "btnDlgCrtcUsrQuit"};
        for (const char* name : names) QVERIFY2(f.findChild<QWidget*>(QString::fromLatin1(name)), name);
        for (const char* name : {"AddNewServer1", "SuppressServer1", "ConnexionParam1", "DefaultServer1"})
            QVERIFY2(f.findChild<QAction*>(QString::fromLatin1(name)), name);

        QCOMPARE(f.windowTitle(), U("Norvelia - Gestion des mots de passe"));
        QCOMPARE(f.tabCtl->tabText(0), U("Mot de Passe Norvelia"));
        QCOMPARE(f.tabCtl->tabText(1), U("Vérifier la connexion"));
        QCOMPARE(f.tabCtl->tabText(2), U("Serveurs"));
        QCOMPARE(f.lblSrvUserName->text(), U("Utilisateur Palm")); // the message, not the form's text
        QCOMPARE(f.frmDlgCnx->btnDlgCnxOk->text(), U("&Valider"));
        QCOMPARE(f.frmDlgSrv->btnDlgSrvQuit->text(), U("&Quitter"));
        QCOMPARE(f.frmDlgSrv->windowTitle(), U("Nouveau Serveur"));
        QCOMPARE(f.frmDlgCrtcUsr->windowTitle(), U("Information"));
        QCOMPARE(f.ListView1->headerItem()->text(0), U("Défaut"));
        QCOMPARE(f.ListView1->headerItem()->text(3), U("URL"));
        // What is true here: the system's proxy settings, not Windows'.
        QCOMPARE(f.rbConnectionDefault->text(), U("Utiliser les paramètres de proxy du système"));
        QCOMPARE(f.ErrorCaption(), U("Norvelia"));
        QCOMPARE(f.InfoCaption(), U("Information"));
        QVERIFY(f.EdNewPasswordNorvelia->echoMode() == QLineEdit::Password);
        QVERIFY(!f.ComboServerList->isEnabled());
        QVERIFY(f.frmDlgSrv->btnDlgSrvOk->isDefault());
        QVERIFY(f.frmDlgCnx->btnDlgCnxOk->isDefault());
        QVERIFY(m_Boxes.empty());
    }

    void tabOrder()
    {
        TfrmPassword& f = Start();
        // The controls Tab reaches from `first`, in order, up to `count` of them.
        auto chain = [](QWidget* first, int count) {
            QStringList names;
            for (QWidget* w = first; names.size() < count; w = w->nextInFocusChain()) {
                if (w->focusPolicy() & Qt::TabFocus) names << w->objectName();
                if (w->nextInFocusChain() == first) break;
            }
            return names;
        };
        QCOMPARE(chain(f.ComboUserList, 6),
                 (QStringList{"ComboUserList", "EdLoginNorvelia", "EdNewPasswordNorvelia", "EdConfirmPasswordNorvelia",
                              "btnNorveliaLoginOk", "ComboServerList"}));
        QCOMPARE(chain(f.ComboSrvUserList, 7),
                 (QStringList{"ComboSrvUserList", "ListView1", "btnCreateServer", "btnDeleteServer", "btnModifyServer",
                              "btnDefaultServer", "btnCancel"}));
        QCOMPARE(chain(f.frmDlgSrv->EdDlgServerNorvelia, 4),
                 (QStringList{"EdDlgServerNorvelia", "EdDlgURLNorvelia", "btnDlgSrvOk", "btnDlgSrvQuit"}));
        QCOMPARE(chain(f.frmDlgCnx->EdDlgCnxUserLogin, 6),
                 (QStringList{"EdDlgCnxUserLogin", "EdDlgCnxNewNorveliaPassword",
                              "EdDlgCnxNorveliaPasswordConfirmation", "CheckCnxDefaultServer", "btnDlgCnxOk",
                              "btnDlgCnxQuit"}));
    }

    void messageLibraryFailureEndsTheProgram()
    {
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, P, "MsgDll", "Absent.dll"), ERROR_SUCCESS);
        m_Form = std::make_unique<TfrmPassword>();
        QVERIFY(!m_Form->FormCreate());
        QCOMPARE(int(m_Boxes.size()), 1);
        QCOMPARE(m_Boxes[0].text, U("Norvelia messages load failure"));
        QCOMPARE(m_Boxes[0].caption, U("Error"));
        QCOMPARE(m_Boxes[0].icon, QMessageBox::Critical);
        m_Boxes.clear();
    }

    void startPageAndUser_data()
    {
        QTest::addColumn<int>("tabType");
        QTest::addColumn<QByteArray>("tabData");
        QTest::addColumn<QString>("lastUser");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("userIndex");
        const auto dword = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
        QTest::newRow("nothing stored") << 0 << QByteArray() << QString() << 0 << 0;
        QTest::newRow("page 1, Bob") << int(REG_DWORD) << dword(1) << "Bob" << 1 << 1;
        QTest::newRow("page 2, case of the name") << int(REG_DWORD) << dword(2) << "bob" << 2 << 1;
        QTest::newRow("page 5, unknown user") << int(REG_DWORD) << dword(5) << "Nobody" << 0 << 0;
        QTest::newRow("page -1") << int(REG_DWORD) << dword(0xFFFFFFFF) << "Alice Martin" << 0 << 0;
        QTest::newRow("page as text") << int(REG_SZ) << QByteArray("2", 2) << "Bob" << 0 << 1;
    }

    void startPageAndUser()
    {
        QFETCH(int, tabType);
        QFETCH(QByteArray, tabData);
        QFETCH(QString, lastUser);
        QFETCH(int, page);
        QFETCH(int, userIndex);
        if (tabType)
            QCOMPARE(RegPut(HKEY_LOCAL_MACHINE, kUsers, "LastActiveTab", DWORD(tabType), tabData.toStdString()),
                     ERROR_SUCCESS);
        if (!lastUser.isNull()) QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kUsers, "LastUser", S(lastUser)), ERROR_SUCCESS);
        TfrmPassword& f = Start();
        QCOMPARE(f.tabCtl->currentIndex(), page);
        QCOMPARE(f.ComboUserList->currentIndex(), userIndex);
        QCOMPARE(f.ComboSrvUserList->currentIndex(), userIndex);
        QCOMPARE(f.ComboUserList->count(), 2);
        // The user's current server and login, or nothing for a user without them.
        QCOMPARE(f.ComboServerList->currentText(), userIndex == 0 ? U("Norvelia") : QString());
        QCOMPARE(f.EdLoginNorvelia->text(), userIndex == 0 ? U("alice") : QString());
        QVERIFY(!f.btnNorveliaLoginOk->isEnabled());
    }

    void emptyUsersFileGivesEmptyLists()
    {
        {
            std::ofstream out(Home() + "/users.dat", std::ios::binary | std::ios::trunc);
            out << std::string(13, '\0');
        }
        TfrmPassword& f = Start();
        QCOMPARE(f.ComboUserList->count(), 0);
        QCOMPARE(f.ComboSrvUserList->count(), 0);
        for (QAction* a : {f.AddNewServer1, f.SuppressServer1, f.ConnexionParam1, f.DefaultServer1})
            QVERIFY(!a->isEnabled());
        f.EdLoginNorvelia->setText("x");
        f.EdNewPasswordNorvelia->setText("y");
        f.EdConfirmPasswordNorvelia->setText("y");
        QVERIFY(!f.btnNorveliaLoginOk->isEnabled());
        f.btnNorveliaLoginOkClick();
        ExpectError("Vos saisies ne sont pas enregistrées : choisissez un utilisateur Palm, puis cliquez sur "
                    "Valider.\nVoulez-vous quitter sans enregistrer ?");
        // With no user chosen, the server buttons refuse.
        f.btnCreateServerClick();
        f.btnModifyServerClick();
        f.btnDefaultServerClick();
        const char* noUser = "Veuillez d'abord choisir un utilisateur Palm.";
        ExpectBoxes({{U(noUser), QMessageBox::Critical}, {U(noUser), QMessageBox::Critical},
                     {U(noUser), QMessageBox::Critical}});
    }

    void loginPageSave_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("stored");
        QTest::newRow("saved") << U("Alice Martin") << "alice2" << "secret" << "secret" << QString() << true;
        QTest::newRow("blanks at the ends") << U("Alice Martin") << "alice2" << "secret " << " secret" << QString()
                                            << true;
        QTest::newRow("no current server") << U("Bob") << "bob" << "pw" << "pw" << QString() << false;
        QTest::newRow("blank login") << U("Alice Martin") << "   " << "pw" << "pw"
                                     << U("Veuillez saisir votre login Norvelia.") << false;
        QTest::newRow("passwords differ")
            << U("Alice Martin") << "alice2" << "pw1" << "pw2"
            << U("Le mot de passe et sa confirmation doivent être identiques et ne peuvent pas être vides. "
                 "Veuillez les saisir à nouveau.")
            << false;
        QTest::newRow("blank password") << U("Alice Martin") << "alice2" << "  " << "  "
                                        << U("Le mot de passe et sa confirmation doivent être identiques et ne "
                                             "peuvent pas être vides. Veuillez les saisir à nouveau.")
                                        << false;
    }

    void loginPageSave()
    {
        QFETCH(QString, user);
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(QString, confirmation);
        QFETCH(QString, error);
        QFETCH(bool, stored);
        TfrmPassword& f = Start();
        f.ComboUserList->setCurrentIndex(f.ComboUserList->findText(user));
        f.ComboUserListChange();
        f.EdLoginNorvelia->setText(login);
        f.EdNewPasswordNorvelia->setText(password);
        QVERIFY(!f.btnNorveliaLoginOk->isEnabled());
        f.EdConfirmPasswordNorvelia->setText(confirmation);
        QVERIFY(f.btnNorveliaLoginOk->isEnabled()); // blanks count as typed text
        QTest::mouseClick(f.btnNorveliaLoginOk, Qt::LeftButton);

        const std::string key = kUsers + "\\" + S(user) + "\\Norvelia";
        if (error.isEmpty()) {
            ExpectSaved();
            QCOMPARE(f.ComboUserList->currentIndex(), -1);
            QCOMPARE(f.ComboServerList->count(), 0);
            QVERIFY(f.EdLoginNorvelia->text().isEmpty());
            QVERIFY(!f.btnNorveliaLoginOk->isEnabled());
        } else {
            ExpectBoxes({{error, QMessageBox::Critical}});
            if (password != confirmation || password.trimmed().isEmpty()) {
                QVERIFY(f.EdNewPasswordNorvelia->text().isEmpty());
                QVERIFY(f.EdConfirmPasswordNorvelia->text().isEmpty());
            }
        }
        if (stored) {
            QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, key, "UID"), std::optional(Sz(S(login))));
            QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, key, "PWD"), std::optional(Sz(NvCypher(S(password), "k&v" + S(login)))));
        } else if (user == "Bob") {
            QVERIFY(!RegKeyExists(HKEY_LOCAL_MACHINE, kUsers + "\\Bob"));
        } else {
            QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, key, "UID"), std::optional(Sz("alice")));
            QVERIFY(!RegGet(HKEY_LOCAL_MACHINE, key, "PWD"));
        }
    }

    void nameInLatin1KeepsItsBytes()
    {
        const std::string zoe = "Zo\xE9";
        {
            std::ofstream out(Home() + "/users.dat", std::ios::binary | std::ios::trunc);
            out << '\1' << std::string(12, '\0') << std::string("\0\0\0\1\3", 5) << zoe << "\3Zoe" << '\0';
        }
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kUsers + "\\" + zoe, "CurrentServer", "Norvelia"), ERROR_SUCCESS);
        TfrmPassword& f = Start();
        QCOMPARE(f.ComboUserList->currentText(), U("Zoé"));
        f.EdLoginNorvelia->setText("zoe");
        f.EdNewPasswordNorvelia->setText("pw");
        f.EdConfirmPasswordNorvelia->setText("pw");
        f.btnNorveliaLoginOkClick();
        ExpectSaved();
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kUsers + "\\" + zoe + "\\Norvelia", "UID"), std::optional(Sz("zoe")));
    }

    void quitAsksAboutUnsavedInput()
    {
        TfrmPassword& f = Start();
        f.show();
        f.tabCtl->setCurrentWidget(f.tabServers);
        f.ComboSrvUserList->setCurrentIndex(1);
        f.ComboSrvUserListChange();
        f.tabCtl->setCurrentWidget(f.tabNorveliaLogin); // carries Bob over
        QCOMPARE(f.ComboUserList->currentText(), U("Bob"));
        f.EdLoginNorvelia->setText("bob");
        f.EdNewPasswordNorvelia->setText("pw");
        f.EdConfirmPasswordNorvelia->setText("pw");

        m_Answers = {QMessageBox::No};
        f.btnCancelClick();
        QCOMPARE(int(m_Boxes.size()), 1);
        QCOMPARE(m_Boxes[0].icon, QMessageBox::Question);
        QCOMPARE(m_Boxes[0].caption, U("Norvelia"));
        QCOMPARE(m_Boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(m_Boxes[0].defaultButton, QMessageBox::No);
        QVERIFY(m_Boxes[0].text.startsWith(U("Vos saisies ne sont pas enregistrées")));
        m_Boxes.clear();
        QVERIFY(!f.QuitRequested());
        QVERIFY(f.isVisible());
        // The state is saved before asking.
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kUsers, "LastUser"), std::optional(Sz("Bob")));

        f.tabCtl->setCurrentWidget(f.tabServers);
        f.ComboSrvUserList->setCurrentIndex(0);
        m_Answers = {QMessageBox::Yes};
        f.btnCancelClick();
        QCOMPARE(int(m_Boxes.size()), 1);
        m_Boxes.clear();
        QVERIFY(f.QuitRequested());
        QVERIFY(!f.isVisible());
        DWORD type = 0;
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kUsers, "LastActiveTab", &type), std::optional(std::string("\2\0\0\0", 4)));
        QCOMPARE(type, REG_DWORD);
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kUsers, "LastUser"), std::optional(Sz(kAlice)));
    }

    void quitWithoutInputAsksNothing()
    {
        TfrmPassword& f = Start();
        f.btnCancelClick();
        QVERIFY(m_Boxes.empty());
        QVERIFY(f.QuitRequested());
    }

    void connectionModeSave_data()
    {
        QTest::addColumn<QString>("storedMode");
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("proxyUser");
        // Stored credentials "pu"/"pp" throughout.
        QTest::newRow("default kept the proxy values") << "1" << "default" << "pu" << "pp" << true << QString()
                                                       << "0" << "pu";
        QTest::newRow("proxy unchanged") << "1" << "proxy" << "pu" << "pp" << false << QString() << "1" << "pu";
        QTest::newRow("proxy unchanged but for blanks") << "1" << "proxy" << " pu " << "pp" << false << QString()
                                                        << "1" << "pu";
        QTest::newRow("proxy new user") << "0" << "proxy" << "me" << "secret" << true << QString() << "1" << "me";
        // From the default mode, the stored proxy values are a change: proxy mode.
        QTest::newRow("proxy with the stored values") << "0" << "proxy" << "pu" << "pp" << true << QString() << "1"
                                                      << "pu";
        QTest::newRow("default again") << "0" << "default" << "pu" << "pp" << false << QString() << "0" << "pu";
        QTest::newRow("blank login") << "0" << "proxy" << "   " << "secret" << false
                                     << U("Veuillez saisir le nom d'utilisateur de votre proxy/firewall.") << "0"
                                     << "pu";
        QTest::newRow("blank password") << "abc" << "proxy" << "me" << " " << false
                                        << U("Veuillez saisir le mot de passe de votre proxy/firewall.") << "abc"
                                        << "pu";
    }

    void connectionModeSave()
    {
        QFETCH(QString, storedMode);
        QFETCH(QString, choose);
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(bool, enabled);
        QFETCH(QString, error);
        QFETCH(QString, mode);
        QFETCH(QString, proxyUser);
        QCOMPARE(RegPut(HKEY_LOCAL_MACHINE, P, "Mode", REG_SZ, Fixed(S(storedMode))), ERROR_SUCCESS);
        QCOMPARE(RegPut(HKEY_LOCAL_MACHINE, P, "ProxyUser", REG_SZ, Fixed("pu")), ERROR_SUCCESS);
        QCOMPARE(RegPut(HKEY_LOCAL_MACHINE, P, "ProxyPassword", REG_SZ, Fixed("pp")), ERROR_SUCCESS);
        TfrmPassword& f = Start();
        f.tabCtl->setCurrentWidget(f.tabCheckConnection);
        const bool proxyStored = storedMode == "1";
        QCOMPARE(f.rbConnectionProxy->isChecked(), proxyStored);
        QCOMPARE(f.gbxProxyLogin->isHidden(), !proxyStored);
        QCOMPARE(f.edtProxyLogin->text(), U("pu"));
        QVERIFY(!f.btnCheckConnectionOk->isEnabled());

        if (choose == "proxy") {
            f.rbConnectionDefault->click(); // there and back
            f.rbConnectionProxy->click();
            QVERIFY(!f.gbxProxyLogin->isHidden());
            f.edtProxyLogin->setText(login);
            f.edtProxyPassword->setText(password);
            f.rbConnectionProxy->click();
        } else {
            f.rbConnectionDefault->click();
            QVERIFY(f.gbxProxyLogin->isHidden());
        }
        QCOMPARE(f.btnCheckConnectionOk->isEnabled(), enabled);
        if (!error.isEmpty()) {
            f.btnCheckConnectionOkClick(); // the handler refuses even when reached
            ExpectBoxes({{error, QMessageBox::Critical}});
        } else if (enabled) {
            QTest::mouseClick(f.btnCheckConnectionOk, Qt::LeftButton);
            ExpectSaved();
            QVERIFY(!f.btnCheckConnectionOk->isEnabled());
        }
        QVERIFY(m_Boxes.empty());
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, P, "Mode"), std::optional(Fixed(S(mode))));
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, P, "ProxyUser"), std::optional(Fixed(S(proxyUser))));
        const std::string expectedPassword = proxyUser == "pu" ? "pp" : S(password);
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, P, "ProxyPassword"), std::optional(Fixed(expectedPassword)));
    }

    // Without the product key nothing is written: 3027 for either mode, and
    // quitting still quits without creating a key.
    void connectionSaveAndQuitWithoutTheProductKey()
    {
        QCOMPARE(RegPut(HKEY_LOCAL_MACHINE, P, "Mode", REG_SZ, Fixed("1")), ERROR_SUCCESS);
        TfrmPassword& f = Start();
        f.tabCtl->setCurrentWidget(f.tabCheckConnection);
        QCOMPARE(RegDeleteKeyA(HKEY_LOCAL_MACHINE, P.c_str()), ERROR_SUCCESS);
        const char* error = "Les paramètres de connexion n'ont pas pu être enregistrés : la configuration de Norvelia "
                            "est introuvable ou vous n'avez pas le droit de la modifier.";
        f.rbConnectionDefault->click();
        QVERIFY(f.btnCheckConnectionOk->isEnabled());
        QTest::mouseClick(f.btnCheckConnectionOk, Qt::LeftButton);
        ExpectError(error);
        f.rbConnectionProxy->click();
        f.edtProxyLogin->setText("me");
        f.edtProxyPassword->setText("secret");
        QTest::mouseClick(f.btnCheckConnectionOk, Qt::LeftButton);
        ExpectError(error);
        QVERIFY(!RegKeyExists(HKEY_LOCAL_MACHINE, P));

        f.edtProxyLogin->clear(); // nothing left to lose: no question
        f.btnCancelClick();
        QVERIFY(m_Boxes.empty());
        QVERIFY(f.QuitRequested());
        QVERIFY(!RegKeyExists(HKEY_LOCAL_MACHINE, P));
    }

    // The login page's user goes to the servers page and back.
    void usersFollowBetweenThePages()
    {
        TfrmPassword& f = Start();
        f.tabCtl->setCurrentWidget(f.tabNorveliaLogin);
        f.ComboUserList->setCurrentIndex(f.ComboUserList->findText("Bob"));
        f.ComboUserListChange();
        f.tabCtl->setCurrentWidget(f.tabServers);
        QCOMPARE(f.ComboSrvUserList->currentText(), U("Bob"));
        QCOMPARE(Column(TfrmPassword::colLogin), QStringList{QString()});
        f.tabCtl->setCurrentWidget(f.tabNorveliaLogin);
        f.ComboUserList->setCurrentIndex(f.ComboUserList->findText(QString::fromStdString(kAlice)));
        f.ComboUserListChange();
        QCOMPARE(f.EdLoginNorvelia->text(), U("alice"));
        f.tabCtl->setCurrentWidget(f.tabServers);
        QCOMPARE(f.ComboSrvUserList->currentText(), QString::fromStdString(kAlice));
        QCOMPARE(Column(TfrmPassword::colLogin), QStringList{U("alice")});
    }

    // Each menu entry does what its button does.
    void serverMenuActions()
    {
        TfrmPassword& f = Start();
        SelectServersUser(kAlice);
        bool serverDialog = false, loginDialog = false;
        WhenModal<TfrmDlgSrv>([&](TfrmDlgSrv*) { serverDialog = true; });
        f.AddNewServer1->trigger();
        QVERIFY(serverDialog);
        QVERIFY(m_Boxes.empty());

        QVERIFY(f.FocusServer("Norvelia"));
        WhenModal<TfrmDlgCnx>([&](TfrmDlgCnx*) { loginDialog = true; });
        f.ConnexionParam1->trigger();
        QVERIFY(loginDialog);
        QVERIFY(m_Boxes.empty());

        f.SuppressServer1->trigger(); // her current server: refused
        ExpectError("Ce serveur est le serveur par défaut d'au moins un utilisateur et ne peut pas être supprimé. "
                    "Choisissez d'abord un autre serveur par défaut pour ces utilisateurs.");
        f.ListView1->setCurrentItem(nullptr);
        f.ListView1->clearSelection();
        f.DefaultServer1->trigger();
        ExpectError("Veuillez d'abord choisir un serveur dans la liste.");
    }

    // Closing the window by its close box saves the page and user as Cancel does.
    void closeBoxSavesTheState()
    {
        TfrmPassword& f = Start();
        SelectServersUser("Bob");
        QVERIFY(f.close());
        QVERIFY(m_Boxes.empty());
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kUsers, "LastActiveTab"), std::optional(std::string("\2\0\0\0", 4)));
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kUsers, "LastUser"), std::optional(Sz("Bob")));
    }

    // The language chosen in the window is the catalog every program loads next.
    void languageChoice()
    {
        TfrmPassword& f = Start();
        QCOMPARE(f.cbLanguage->currentText(), U("Français")); // chosen in init()
        QCOMPARE(f.cbLanguage->toolTip(),
                 U("Langue des messages et des fenêtres, au prochain démarrage des programmes"));
        f.cbLanguage->setCurrentIndex(1);
        f.cbLanguageChange(1);
        ExpectSaved();
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, P, "MsgDll"), std::optional(Sz("LexmoUs.dll")));
        m_Form.reset();
        QCOMPARE(Start().cbLanguage->currentText(), U("English"));
        QCOMPARE(RegDeleteKeyA(HKEY_LOCAL_MACHINE, P.c_str()), ERROR_SUCCESS);
        m_Form->cbLanguageChange(0); // the window now speaks English
        ExpectError("The connection settings could not be saved: the Norvelia configuration cannot be found or you "
                    "are not allowed to change it.");
    }

    // With no language chosen, the window speaks the locale's on every page, and its list says which.
    void languageFollowsTheLocaleWhenNoneIsChosen()
    {
        HKEY key = nullptr;
        QCOMPARE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, P.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        QCOMPARE(RegDeleteValueA(key, "MsgDll"), ERROR_SUCCESS);
        RegCloseKey(key);
        const struct {
            const char* lang;
            const char* shown;
            const char* title;
            bool french;
        } cases[] = {{"fr_FR.UTF-8", "Français", "Norvelia - Gestion des mots de passe", true},
                     {"en_US.UTF-8", "English", "Norvelia - Password management", false}};
        for (const auto& c : cases) {
            qputenv("LANG", c.lang);
            m_Form.reset();
            TfrmPassword& f = Start();
            QCOMPARE(f.cbLanguage->currentText(), U(c.shown));
            QCOMPARE(f.windowTitle(), U(c.title));
            // Every page speaks that language alone.
            std::vector<std::string> texts;
            for (auto* l : f.findChildren<QLabel*>()) texts.push_back(l->text().toStdString());
            for (auto* b : f.findChildren<QAbstractButton*>()) texts.push_back(b->text().toStdString());
            for (auto* g : f.findChildren<QGroupBox*>()) texts.push_back(g->title().toStdString());
            for (int i = 0; i < f.tabCtl->count(); ++i) texts.push_back(f.tabCtl->tabText(i).toStdString());
            QVERIFY(texts.size() > 20);
            const std::string found = ForeignLine(texts, c.french ? kEnglishWords : kFrenchWords);
            QVERIFY2(found.empty(), found.c_str());
        }
        qputenv("LANG", "C.UTF-8");
    }

    // Shown first, the connection page starts with its proxy group hidden,
    // whatever the mode; arriving at the page later shows it by the mode.
    void connectionPageShownFirstHidesProxyCredentials()
    {
        QCOMPARE(RegPut(HKEY_LOCAL_MACHINE, P, "Mode", REG_SZ, Fixed("1")), ERROR_SUCCESS);
        QCOMPARE(RegPut(HKEY_LOCAL_MACHINE, kUsers, "LastActiveTab", REG_DWORD, std::string("\1\0\0\0", 4)),
                 ERROR_SUCCESS);
        TfrmPassword& f = Start();
        QCOMPARE(f.tabCtl->currentIndex(), 1);
        QVERIFY(f.rbConnectionProxy->isChecked());
        QVERIFY(f.gbxProxyLogin->isHidden());
        f.tabCtl->setCurrentIndex(0);
        f.tabCtl->setCurrentIndex(1);
        QVERIFY(!f.gbxProxyLogin->isHidden());
    }

    // Tab reaches the option chosen, never the other one; the password
    // fields of the window and of the login dialog show "*".
    void keyboardAndPasswordCharacter()
    {
        TfrmPassword& f = Start();
        QVERIFY(f.rbConnectionDefault->isChecked());
        QVERIFY(f.rbConnectionDefault->focusPolicy() & Qt::TabFocus);
        QVERIFY(!(f.rbConnectionProxy->focusPolicy() & Qt::TabFocus));
        f.rbConnectionProxy->click();
        QVERIFY(f.rbConnectionProxy->focusPolicy() & Qt::TabFocus);
        QVERIFY(!(f.rbConnectionDefault->focusPolicy() & Qt::TabFocus));

        for (QLineEdit* edit : {f.EdNewPasswordNorvelia, f.EdConfirmPasswordNorvelia, f.edtProxyPassword,
                                f.frmDlgCnx->EdDlgCnxNewNorveliaPassword,
                                f.frmDlgCnx->EdDlgCnxNorveliaPasswordConfirmation}) {
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
            QCOMPARE(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit), int('*'));
        }
        QCOMPARE(f.EdLoginNorvelia->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                        f.EdLoginNorvelia),
                 QApplication::style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter));

        // The servers list and the flat buttons show where the keyboard is.
        f.tabCtl->setCurrentWidget(f.tabServers);
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        for (QWidget* w : {static_cast<QWidget*>(f.ListView1), static_cast<QWidget*>(f.btnDeleteServer)}) {
            auto* frame = f.findChild<QWidget*>(w->objectName() + "Focus");
            QVERIFY(frame);
            w->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(frame->isVisible());
            QCOMPARE(frame->geometry(), w->geometry());
            f.btnCancel->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(!frame->isVisible());
        }
    }

    // The question's buttons speak the catalog's language.
    void questionButtonsFromTheCatalog()
    {
        TMsgBox::SetHook({});
        QStringList texts;
        QTimer::singleShot(10, this, [&texts] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
                box->button(QMessageBox::No)->click();
            }
        });
        KESA_LoadMessages("Lexmo.dll");
        const auto answer = TMsgBox::Show(nullptr, {U("?"), U("Norvelia"), QMessageBox::Question,
                                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No});
        QCOMPARE(answer, QMessageBox::No);
        QCOMPARE(texts, (QStringList{U("&Oui"), U("&Non")}));
    }

    void testButtonStartsNvConnexionWithTheUrl_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("arguments");
        QTest::newRow("current server") << U("Alice Martin") << QString() << QString::fromStdString("1\n" + kDefaultUrl + "\n");
        QTest::newRow("blanks in the URL") << U("Alice Martin") << U("http://h:1/a b/c d") << U("1\nhttp://h:1/a b/c d\n");
        QTest::newRow("no current server") << U("Bob") << QString() << U("0\n");
    }

    void testButtonStartsNvConnexionWithTheUrl()
    {
        QFETCH(QString, user);
        QFETCH(QString, url);
        QFETCH(QString, arguments);
        if (!url.isEmpty()) QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kServers, "Norvelia", S(url)), ERROR_SUCCESS);
        const std::string dir = *m_Dir / "bin";
        std::filesystem::create_directories(dir);
        const std::string out = *m_Dir / "arguments";
        {
            std::ofstream script(dir + "/NvConnexion");
            script << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > " << out << ".part && mv " << out << ".part " << out
                   << "\n";
        }
        std::filesystem::permissions(dir + "/NvConnexion", std::filesystem::perms::owner_all);
        TfrmPassword& f = Start();
        f.SetProgramDir(dir);
        SelectServersUser(S(user));
        f.btnTestCnxClick(); // returns at once
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(out), 10000);
        QCOMPARE(QString::fromStdString(ReadAll(out)), arguments);
        // The test program ran on its own: nothing is left for this one to reap.
        errno = 0;
        QCOMPARE(::waitpid(-1, nullptr, WNOHANG), -1);
        QCOMPARE(errno, ECHILD);

        // A missing program is no box: the test program reports on its own.
        f.SetProgramDir(*m_Dir / "nowhere");
        f.btnTestCnxClick();
        QVERIFY(m_Boxes.empty());
    }

    // The columns as drawn, 50, 70, 60 and 350 pixels: the address whole,
    // the list scrolling sideways to it.
    void serverColumnsAsDrawn()
    {
        TfrmPassword& f = Start();
        SelectServersUser(kAlice);
        QTreeWidget* list = f.ListView1;
        QCOMPARE(list->geometry(), QRect(8, 98, 395, 127));
        const int widths[] = {50, 70, 60, 350};
        for (int c = 0; c < 4; ++c) QCOMPARE(list->columnWidth(c), widths[c]);
        QCOMPARE(list->textElideMode(), Qt::ElideNone);
        QTRY_VERIFY(list->horizontalScrollBar()->isVisible());
        QVERIFY(list->horizontalScrollBar()->maximum() >= 530 - list->viewport()->width());
        QCOMPARE(list->topLevelItem(0)->text(TfrmPassword::colUrl), QString::fromStdString(kDefaultUrl));
        // The icon-only buttons' hints, shown even while the window is not active.
        QVERIFY(f.testAttribute(Qt::WA_AlwaysShowToolTips));
        QCOMPARE(f.btnCreateServer->toolTip(), U("Ajouter/Modifier un serveur"));
        QCOMPARE(f.btnDeleteServer->toolTip(), U("Supprimer le serveur"));
        QCOMPARE(f.btnModifyServer->toolTip(), U("Login et Password "));
        QCOMPARE(f.btnDefaultServer->toolTip(), U("Serveur par défaut"));
    }

    void serverMenuWaitsForAUser()
    {
        m_Form = std::make_unique<TfrmPassword>();
        TfrmPassword& f = *m_Form;
        for (QAction* a : {f.AddNewServer1, f.SuppressServer1, f.ConnexionParam1, f.DefaultServer1})
            QVERIFY(!a->isEnabled());
        QVERIFY(f.FormCreate()); // chooses the first user
        for (QAction* a : {f.AddNewServer1, f.SuppressServer1, f.ConnexionParam1, f.DefaultServer1})
            QVERIFY(a->isEnabled());
        QCOMPARE(Column(TfrmPassword::colServer), QStringList{U("Norvelia")});
        QCOMPARE(Column(TfrmPassword::colMarker), QStringList{U("      X")});
        QCOMPARE(Column(TfrmPassword::colLogin), QStringList{U("alice")});
        QCOMPARE(Column(TfrmPassword::colUrl), QStringList{QString::fromStdString(kDefaultUrl)});
    }

    void deletingAServer()
    {
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kServers, "Demo", "http://demo/T/a/b"), ERROR_SUCCESS);
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice + "\\Demo", "UID", "a"), ERROR_SUCCESS);
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kUsers + "\\Bob\\Demo", "UID", "b"), ERROR_SUCCESS);
        TfrmPassword& f = Start();
        SelectServersUser("Bob");
        f.btnDeleteServerClick();
        ExpectError("Veuillez d'abord choisir un serveur dans la liste.");

        // Alice's current server stays, and the dialog names her.
        QVERIFY(f.FocusServer("Norvelia"));
        f.btnDeleteServerClick();
        ExpectError("Ce serveur est le serveur par défaut d'au moins un utilisateur et ne peut pas être supprimé. "
                    "Choisissez d'abord un autre serveur par défaut pour ces utilisateurs.");
        QVERIFY(f.frmDlgCrtcUsr->isVisible());
        QCOMPARE(f.frmDlgCrtcUsr->lblServerName->text(), U("Norvelia"));
        QCOMPARE(f.frmDlgCrtcUsr->lstbCriticUsers->count(), 1);
        QCOMPARE(f.frmDlgCrtcUsr->lstbCriticUsers->item(0)->text(), U("Alice Martin"));
        QVERIFY(RegGet(HKEY_LOCAL_MACHINE, kServers, "Norvelia"));
        QVERIFY(RegKeyExists(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice + "\\Norvelia"));
        // Clicking her brings her up on both pages.
        f.frmDlgCrtcUsr->lstbCriticUsers->setCurrentRow(0);
        f.frmDlgCrtcUsr->lstbCriticUsersClick();
        QCOMPARE(f.ComboUserList->currentText(), U("Alice Martin"));
        QCOMPARE(f.ComboSrvUserList->currentText(), U("Alice Martin"));
        // Making Demo her default empties the dialog's list.
        QVERIFY(f.FocusServer("Demo"));
        f.btnDefaultServerClick();
        QCOMPARE(f.frmDlgCrtcUsr->lstbCriticUsers->count(), 0);
        f.frmDlgCrtcUsr->btnDlgCrtcUsrQuitClick();
        QVERIFY(!f.frmDlgCrtcUsr->isVisible());
        QVERIFY(f.frmDlgCrtcUsr->lblServerName->text().isEmpty());

        // Norvelia is nobody's now: its value and every user's key go, without a question.
        QVERIFY(f.FocusServer("Norvelia"));
        f.btnDeleteServerClick();
        QVERIFY(m_Boxes.empty());
        QVERIFY(!RegGet(HKEY_LOCAL_MACHINE, kServers, "Norvelia"));
        QVERIFY(!RegKeyExists(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice + "\\Norvelia"));
        QVERIFY(RegKeyExists(HKEY_LOCAL_MACHINE, kUsers + "\\Bob\\Demo"));
        QCOMPARE(Column(TfrmPassword::colServer), QStringList{U("Demo")});
    }

    void makingDefaultNeedsLoginData()
    {
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kServers, "Demo", "http://demo/T/a/b"), ERROR_SUCCESS);
        TfrmPassword& f = Start();
        SelectServersUser(kAlice);
        QVERIFY(f.FocusServer("Demo"));
        f.btnDefaultServerClick();
        bool loginAsked = false;
        WhenModal<TfrmDlgCnx>([&](TfrmDlgCnx* c) {
            loginAsked = true;
            QTest::keyClick(c->EdDlgCnxUserLogin, Qt::Key_Escape);
        });
        f.ListView1DblClick(); // no login on Demo: asks for one instead
        QVERIFY(loginAsked);
        QVERIFY(m_Boxes.empty());
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice, "CurrentServer"), std::optional(Sz("Norvelia")));
        QCOMPARE(Column(TfrmPassword::colMarker), (QStringList{QString(), U("      X")}));
        QVERIFY(!RegKeyExists(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice + "\\Demo"));
    }

    void doubleClickMakesALoggedInServerDefault()
    {
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kServers, "Demo", "http://demo/T/a/b"), ERROR_SUCCESS);
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice + "\\Demo", "UID", "a"), ERROR_SUCCESS);
        TfrmPassword& f = Start();
        SelectServersUser(kAlice);
        QCOMPARE(Column(TfrmPassword::colLogin), (QStringList{U("a"), U("alice")}));
        QVERIFY(f.FocusServer("Demo"));
        f.ListView1DblClick();
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice, "CurrentServer"), std::optional(Sz("Demo")));
        QCOMPARE(Column(TfrmPassword::colMarker), (QStringList{U("      X"), QString()}));
        QVERIFY(m_Boxes.empty());
    }

    void addingAnExistingNameReplacesItsUrl()
    {
        TfrmPassword& f = Start();
        SelectServersUser(kAlice);
        f.frmDlgSrv->EdDlgServerNorvelia->setText("Norvelia");
        f.frmDlgSrv->EdDlgURLNorvelia->setText("http://other/T/x/y");
        f.frmDlgSrv->btnDlgSrvOkClick();
        QVERIFY(!f.frmDlgSrv->NeedsLogin()); // Alice has a login there
        QCOMPARE(RegValueCount(HKEY_LOCAL_MACHINE, kServers), DWORD(1));
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kServers, "Norvelia"), std::optional(Sz("http://other/T/x/y")));
        QCOMPARE(Column(TfrmPassword::colUrl), QStringList{U("http://other/T/x/y")});
        QCOMPARE(f.FocusedServer(), std::string("Norvelia"));
        // Leaving the dialog empties it for the next server.
        QVERIFY(f.frmDlgSrv->EdDlgServerNorvelia->text().isEmpty());
        QCOMPARE(f.frmDlgSrv->EdDlgURLNorvelia->text(), U("http://"));

        f.frmDlgSrv->EdDlgURLNorvelia->clear();
        f.frmDlgSrv->EdDlgServerNorvelia->setText("Empty");
        f.frmDlgSrv->btnDlgSrvOkClick();
        ExpectError("Veuillez saisir le nom et l'URL du serveur.");
        QVERIFY(!RegGet(HKEY_LOCAL_MACHINE, kServers, "Empty"));
    }

    void newServerThroughBothDialogsWithTheKeyboard()
    {
        TfrmPassword& f = Start();
        SelectServersUser(kAlice);
        bool loginAsked = false;
        WhenModal<TfrmDlgSrv>([&](TfrmDlgSrv* d) {
            QCOMPARE(d->focusWidget(), static_cast<QWidget*>(d->EdDlgServerNorvelia));
            QTest::keyClicks(d->EdDlgServerNorvelia, "Alpha");
            d->EdDlgURLNorvelia->setText("http://alpha/T/a/b");
            WhenModal<TfrmDlgCnx>([&](TfrmDlgCnx* c) {
                loginAsked = true;
                QCOMPARE(c->lblServerName->text(), U("Alpha"));
                QCOMPARE(c->EdDlgCnxUserName->text(), U("Alice Martin"));
                QVERIFY(c->CheckCnxDefaultServer->isChecked());
                QTest::keyClicks(c->EdDlgCnxUserLogin, "ali");
                QTest::keyClicks(c->EdDlgCnxNewNorveliaPassword, "pw");
                QTest::keyClicks(c->EdDlgCnxNorveliaPasswordConfirmation, "pw");
                QTest::keyClick(c->EdDlgCnxNorveliaPasswordConfirmation, Qt::Key_Return);
            });
            QTest::keyClick(d->EdDlgURLNorvelia, Qt::Key_Return);
        });
        // Listed before the others, not last: the login is still asked for this one.
        f.btnCreateServerClick();
        QVERIFY(loginAsked);
        QVERIFY(m_Boxes.empty());
        const std::string key = kUsers + "\\" + kAlice + "\\Alpha";
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kServers, "Alpha"), std::optional(Sz("http://alpha/T/a/b")));
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, key, "UID"), std::optional(Sz("ali")));
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, key, "PWD"), std::optional(Sz(NvCypher("pw", "k&vali"))));
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice, "CurrentServer"), std::optional(Sz("Alpha")));
        QCOMPARE(Column(TfrmPassword::colServer), (QStringList{U("Alpha"), U("Norvelia")}));
        QCOMPARE(Column(TfrmPassword::colMarker), (QStringList{U("      X"), QString()}));
        QCOMPARE(Column(TfrmPassword::colLogin), (QStringList{U("ali"), U("alice")}));
    }

    void escapeLeavesTheServerDialog()
    {
        TfrmPassword& f = Start();
        SelectServersUser(kAlice);
        WhenModal<TfrmDlgSrv>([&](TfrmDlgSrv* d) {
            QTest::keyClicks(d->EdDlgServerNorvelia, "Gone");
            QTest::keyClick(d->EdDlgServerNorvelia, Qt::Key_Escape);
            QVERIFY(!d->isVisible());
        });
        f.btnCreateServerClick();
        QVERIFY(!RegGet(HKEY_LOCAL_MACHINE, kServers, "Gone"));
        QVERIFY(f.frmDlgSrv->EdDlgServerNorvelia->text().isEmpty());
        QVERIFY(m_Boxes.empty());
    }

    void loginDialogRefusals_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("icon");
        const QString missing = U("Veuillez saisir votre login, votre mot de passe et sa confirmation.");
        QTest::newRow("passwords differ") << "demo" << "pw " << "pw" << U("Les mots de passe ne sont pas identiques")
                                          << int(QMessageBox::NoIcon);
        QTest::newRow("no password") << "demo" << "" << "pw" << missing << int(QMessageBox::Critical);
        QTest::newRow("no confirmation") << "demo" << "pw" << "" << missing << int(QMessageBox::Critical);
        QTest::newRow("no login") << "" << "pw" << "pw" << missing << int(QMessageBox::Critical);
    }

    void loginDialogRefusals()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(QString, confirmation);
        QFETCH(QString, text);
        QFETCH(int, icon);
        QCOMPARE(RegPutString(HKEY_LOCAL_MACHINE, kServers, "Demo", "http://demo/T/a/b"), ERROR_SUCCESS);
        TfrmPassword& f = Start();
        SelectServersUser(kAlice);
        QVERIFY(f.FocusServer("Demo"));
        WhenModal<TfrmDlgCnx>([&](TfrmDlgCnx* c) {
            c->EdDlgCnxUserLogin->setText(login);
            c->EdDlgCnxNewNorveliaPassword->setText(password);
            c->EdDlgCnxNorveliaPasswordConfirmation->setText(confirmation);
            QTest::mouseClick(c->btnDlgCnxOk, Qt::LeftButton);
            // A missing field keeps the dialog open; differing passwords close it.
            QCOMPARE(c->isVisible(), icon != int(QMessageBox::NoIcon));
        });
        f.btnModifyServerClick();
        ExpectBoxes({{text, QMessageBox::Icon(icon)}});
        QVERIFY(!RegKeyExists(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice + "\\Demo"));
        QCOMPARE(RegGet(HKEY_LOCAL_MACHINE, kUsers + "\\" + kAlice, "CurrentServer"), std::optional(Sz("Norvelia")));
    }
};

QTEST_MAIN(FrmPasswordTest)
#include "FrmPasswordTest.moc"
