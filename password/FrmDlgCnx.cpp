#include "password/FrmDlgCnx.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "password/Bytes.h"
#include "password/FormControls.h"
#include "password/FrmPassword.h"
#include "password/MsgBox.h"
#include "password/PasswordActions.h"
#include "password/PasswordRegistry.h"

using formlayout::kDlgCnx;

TfrmDlgCnx::TfrmDlgCnx(TfrmPassword& owner, QStyle* passwordStyle) : QDialog(&owner), m_Owner(owner)
{
    setObjectName(QString::fromLatin1(kDlgCnx.name));
    setFont(owner.font());
    setWindowTitle(QString::fromUtf8(kDlgCnx.title));
    setFixedSize(kDlgCnx.width, kDlgCnx.height);
    setModal(true);

    auto make = [&]<class W>(W*& control, const char* name) {
        control = MakeControl<W>(this, kDlgCnx, name, passwordStyle);
    };
    make(lblExplainConnexion, "lblExplainConnexion");
    make(lblServerName, "lblServerName");
    make(lblUserName, "lblUserName");
    make(EdDlgCnxUserName, "EdDlgCnxUserName");
    make(lblUserLogin, "lblUserLogin");
    make(EdDlgCnxUserLogin, "EdDlgCnxUserLogin");
    make(lblNorveliaPassword, "lblNorveliaPassword");
    make(EdDlgCnxNewNorveliaPassword, "EdDlgCnxNewNorveliaPassword");
    make(lblNorveliaPasswordConfirmation, "lblNorveliaPasswordConfirmation");
    make(EdDlgCnxNorveliaPasswordConfirmation, "EdDlgCnxNorveliaPasswordConfirmation");
    make(CheckCnxDefaultServer, "CheckCnxDefaultServer");
    CheckCnxDefaultServer->setChecked(true);
    make(btnDlgCnxOk, "btnDlgCnxOk");
    make(btnDlgCnxQuit, "btnDlgCnxQuit");
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
    SetFormTexts(this, kDlgCnx, [this](int number) { return m_Owner.Message(number); });
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
    switch (SaveServerLogin(m_Server, m_User, login, ToStd(EdDlgCnxNewNorveliaPassword->text()),
                            ToStd(EdDlgCnxNorveliaPasswordConfirmation->text()))) {
    case TServerLoginSave::Refused:
        m_Owner.ShowError(kMsgEnterServerLogin, this);
        EdDlgCnxUserLogin->setFocus();
        return;
    case TServerLoginSave::Differ:
        TMsgBox::Show(this, {QString::fromUtf8(kPasswordsNotIdentical), QStringLiteral("NvPassword"),
                             QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok});
        done(Rejected);
        return;
    case TServerLoginSave::Saved: break;
    }
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
