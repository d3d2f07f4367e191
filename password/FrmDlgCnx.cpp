#include "password/FrmDlgCnx.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "nvservices/NvServices.h"
#include "password/Bytes.h"
#include "password/FrmPassword.h"
#include "password/MsgBox.h"
#include "password/PasswordRegistry.h"

TfrmDlgCnx::TfrmDlgCnx(TfrmPassword& owner) : QDialog(&owner), m_Owner(owner)
{
    setObjectName(QStringLiteral("frmDlgCnx"));
    setFont(owner.font());
    setWindowTitle(QString::fromUtf8("Connexion au Serveur"));
    setFixedSize(370, 232);
    setModal(true);

    auto make = [this](auto* widget, const char* name, int x, int y, int w, int h) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(x, y, w, h);
        return widget;
    };
    auto label = [&](const char* name, const char* text, int x, int y, int w, int h) {
        return make(new QLabel(QString::fromUtf8(text), this), name, x, y, w, h);
    };
    auto edit = [&](const char* name, int y) { return make(new QLineEdit(this), name, 180, y, 180, 21); };

    lblExplainConnexion = label("lblExplainConnexion",
                                "Veuillez rentrer ci-dessous vos paramètres de connexion au serveur :  ", 10, 8, 350,
                                30);
    lblExplainConnexion->setWordWrap(true);
    lblServerName = label("lblServerName", "", 10, 40, 350, 18);
    QFont bold = lblServerName->font();
    bold.setBold(true);
    lblServerName->setFont(bold);
    lblUserName = label("lblUserName", "Nom de l'Utilisateur", 10, 66, 165, 21);
    EdDlgCnxUserName = edit("EdDlgCnxUserName", 66);
    EdDlgCnxUserName->setEnabled(false);
    lblUserLogin = label("lblUserLogin", "Login Norvelia", 10, 92, 165, 21);
    EdDlgCnxUserLogin = edit("EdDlgCnxUserLogin", 92);
    lblNorveliaPassword = label("lblNorveliaPassword", "Mot de passe", 10, 118, 165, 21);
    EdDlgCnxNewNorveliaPassword = edit("EdDlgCnxNewNorveliaPassword", 118);
    EdDlgCnxNewNorveliaPassword->setEchoMode(QLineEdit::Password);
    lblNorveliaPasswordConfirmation =
        label("lblNorveliaPasswordConfirmation", "Confirmation mot de passe", 10, 144, 165, 21);
    EdDlgCnxNorveliaPasswordConfirmation = edit("EdDlgCnxNorveliaPasswordConfirmation", 144);
    EdDlgCnxNorveliaPasswordConfirmation->setEchoMode(QLineEdit::Password);
    CheckCnxDefaultServer = make(new QCheckBox(QString::fromUtf8("Serveur par Défaut"), this),
                                 "CheckCnxDefaultServer", 10, 172, 350, 19);
    CheckCnxDefaultServer->setChecked(true);
    btnDlgCnxOk = make(new QPushButton(QString::fromUtf8("&VALIDER"), this), "btnDlgCnxOk", 190, 200, 80, 25);
    btnDlgCnxQuit = make(new QPushButton(QString::fromUtf8("&QUIT"), this), "btnDlgCnxQuit", 280, 200, 80, 25);
    btnDlgCnxOk->setDefault(true);
    btnDlgCnxOk->setAutoDefault(true);
    btnDlgCnxQuit->setAutoDefault(false);

    setTabOrder(EdDlgCnxUserLogin, EdDlgCnxNewNorveliaPassword);
    setTabOrder(EdDlgCnxNewNorveliaPassword, EdDlgCnxNorveliaPasswordConfirmation);
    setTabOrder(EdDlgCnxNorveliaPasswordConfirmation, CheckCnxDefaultServer);
    setTabOrder(CheckCnxDefaultServer, btnDlgCnxOk);
    setTabOrder(btnDlgCnxOk, btnDlgCnxQuit);

    connect(btnDlgCnxOk, &QPushButton::clicked, this, &TfrmDlgCnx::btnDlgCnxOkClick);
    connect(btnDlgCnxQuit, &QPushButton::clicked, this, &TfrmDlgCnx::btnDlgCnxQuitClick);
}

void TfrmDlgCnx::SetDialogStrings()
{
    if (QString t = m_Owner.Message(3052); !t.isEmpty()) setWindowTitle(t);
    const std::pair<QLabel*, int> labels[] = {
        {lblExplainConnexion, 3053}, {lblUserName, 3054},         {lblUserLogin, 3004},
        {lblNorveliaPassword, 3005}, {lblNorveliaPasswordConfirmation, 3006},
    };
    for (const auto& [label, number] : labels) {
        if (QString t = m_Owner.Message(number); !t.isEmpty()) label->setText(t);
    }
    if (QString t = m_Owner.Message(3055); !t.isEmpty()) CheckCnxDefaultServer->setText(t);
    if (QString t = m_Owner.Message(3009); !t.isEmpty()) btnDlgCnxOk->setText(t);
    if (QString t = m_Owner.Message(3010); !t.isEmpty()) btnDlgCnxQuit->setText(t);
}

void TfrmDlgCnx::SetServerAndUser(const std::string& server, const std::string& user)
{
    m_Server = server;
    m_User = user;
    lblServerName->setText(ToQt(server));
    EdDlgCnxUserName->setText(ToQt(user));
}

void TfrmDlgCnx::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmDlgCnx::FormShow()
{
    EdDlgCnxUserLogin->setText(ToQt(ReadUID(m_Server, m_User)));
    // Passwords typed for another server never carry over.
    EdDlgCnxNewNorveliaPassword->clear();
    EdDlgCnxNorveliaPasswordConfirmation->clear();
    EdDlgCnxUserLogin->setFocus();
}

void TfrmDlgCnx::btnDlgCnxOkClick()
{
    const std::string login = ToStd(EdDlgCnxUserLogin->text());
    const std::string password = ToStd(EdDlgCnxNewNorveliaPassword->text());
    const std::string confirmation = ToStd(EdDlgCnxNorveliaPasswordConfirmation->text());
    const std::string cyphered = NvCypher(password, "k&v" + login);
    // An empty login would store nothing: it is asked for with the passwords.
    if (m_User.empty() || m_Server.empty() || cyphered.empty() || confirmation.empty() || login.empty()) {
        m_Owner.ShowError(3056, this);
        EdDlgCnxUserLogin->setFocus();
        return;
    }
    if (password != confirmation) {
        TMsgBox::Show(this, {QString::fromUtf8(kPasswordsDiffer), QStringLiteral("NvPassword"), QMessageBox::NoIcon,
                             QMessageBox::Ok, QMessageBox::Ok});
        done(Rejected);
        return;
    }
    WriteCredentials(m_Server, m_User, cyphered, login);
    m_Owner.RefreshServerList(m_User);
    EdDlgCnxUserLogin->clear();
    EdDlgCnxNewNorveliaPassword->clear();
    EdDlgCnxNorveliaPasswordConfirmation->clear();
    hide();
    if (CheckCnxDefaultServer->isChecked()) m_Owner.MakeDefaultServer();
    done(Accepted);
}

void TfrmDlgCnx::btnDlgCnxQuitClick()
{
    hide();
    done(Rejected);
}

void TfrmDlgCnx::reject() { btnDlgCnxQuitClick(); }
