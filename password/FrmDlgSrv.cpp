#include "password/FrmDlgSrv.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "password/Bytes.h"
#include "password/FormControls.h"
#include "password/FrmPassword.h"
#include "password/PasswordActions.h"
#include "password/PasswordRegistry.h"

using formlayout::kDlgSrv;

TfrmDlgSrv::TfrmDlgSrv(TfrmPassword& owner) : QDialog(&owner), m_Owner(owner)
{
    setObjectName(QString::fromLatin1(kDlgSrv.name));
    setFont(owner.font());
    setWindowTitle(QString::fromUtf8(kDlgSrv.title));
    setFixedSize(kDlgSrv.width, kDlgSrv.height);
    setModal(true);

    lblServerName = MakeControl<QLabel>(this, kDlgSrv, "lblServerName");
    EdDlgServerNorvelia = MakeControl<QLineEdit>(this, kDlgSrv, "EdDlgServerNorvelia");
    lblServerURL = MakeControl<QLabel>(this, kDlgSrv, "lblServerURL");
    EdDlgURLNorvelia = MakeControl<QLineEdit>(this, kDlgSrv, "EdDlgURLNorvelia");
    btnDlgSrvOk = MakeControl<QPushButton>(this, kDlgSrv, "btnDlgSrvOk");
    btnDlgSrvQuit = MakeControl<QPushButton>(this, kDlgSrv, "btnDlgSrvQuit");
    // Enter runs OK from any field; Escape comes to reject().
    btnDlgSrvOk->setDefault(true);
    btnDlgSrvOk->setAutoDefault(true);
    btnDlgSrvQuit->setAutoDefault(false);

    setTabOrder(EdDlgServerNorvelia, EdDlgURLNorvelia);
    setTabOrder(EdDlgURLNorvelia, btnDlgSrvOk);
    setTabOrder(btnDlgSrvOk, btnDlgSrvQuit);

    connect(btnDlgSrvOk, &QPushButton::clicked, this, &TfrmDlgSrv::btnDlgSrvOkClick);
    connect(btnDlgSrvQuit, &QPushButton::clicked, this, &TfrmDlgSrv::btnDlgSrvQuitClick);
}

void TfrmDlgSrv::SetDialogStrings()
{
    SetFormTexts(this, kDlgSrv, [this](int number) { return m_Owner.Message(number); });
}

void TfrmDlgSrv::ShowModal()
{
    m_NeedsLogin = false;
    exec();
    if (m_NeedsLogin) m_Owner.btnModifyServerClick();
}

void TfrmDlgSrv::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    EdDlgServerNorvelia->setFocus();
}

void TfrmDlgSrv::btnDlgSrvOkClick()
{
    const std::string server = ToStd(EdDlgServerNorvelia->text());
    const std::string url = ToStd(EdDlgURLNorvelia->text());
    bool stored = false;
    if (const int refused = SaveServer(server, url, &stored)) {
        m_Owner.ShowError(refused, this);
        EdDlgServerNorvelia->setFocus();
        return;
    }
    const std::string user = CurrentBytes(m_Owner.ComboSrvUserList);
    if (stored) {
        m_Owner.FillServerList(ReadServerNames());
        m_Owner.RefreshServerList(user);
    }
    // The server's own row: the registry lists names in its order, not in the order added.
    const bool listed = m_Owner.FocusServer(server);
    m_NeedsLogin = listed && ReadUID(server, user).empty();
    done(Accepted);
}

void TfrmDlgSrv::btnDlgSrvQuitClick()
{
    m_Owner.show();
    done(Rejected);
}

void TfrmDlgSrv::reject() { btnDlgSrvQuitClick(); }

void TfrmDlgSrv::done(int result)
{
    QDialog::done(result);
    EdDlgServerNorvelia->clear();
    EdDlgURLNorvelia->setText(QString::fromLatin1(kUrlStart));
}
