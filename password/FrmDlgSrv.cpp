#include "password/FrmDlgSrv.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "password/Bytes.h"
#include "password/FrmPassword.h"
#include "password/PasswordRegistry.h"

TfrmDlgSrv::TfrmDlgSrv(TfrmPassword& owner) : QDialog(&owner), m_Owner(owner)
{
    setObjectName(QStringLiteral("frmDlgSrv"));
    setFont(owner.font());
    setWindowTitle(QString::fromUtf8("Nouveau Serveur"));
    setFixedSize(340, 118);
    setModal(true);

    auto make = [this](auto* widget, const char* name, int x, int y, int w, int h) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(x, y, w, h);
        return widget;
    };
    lblServerName = make(new QLabel(QString::fromUtf8("Nom du Serveur"), this), "lblServerName", 10, 12, 110, 21);
    EdDlgServerNorvelia = make(new QLineEdit(this), "EdDlgServerNorvelia", 125, 12, 205, 21);
    lblServerURL = make(new QLabel(QString::fromUtf8("URL du Serveur"), this), "lblServerURL", 10, 42, 110, 21);
    EdDlgURLNorvelia = make(new QLineEdit(QString::fromLatin1(kUrlStart), this), "EdDlgURLNorvelia", 125, 42, 205, 21);
    btnDlgSrvOk = make(new QPushButton(QStringLiteral("OK"), this), "btnDlgSrvOk", 160, 80, 80, 25);
    btnDlgSrvQuit = make(new QPushButton(QStringLiteral("QUIT"), this), "btnDlgSrvQuit", 250, 80, 80, 25);
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
    if (QString t = m_Owner.Message(3047); !t.isEmpty()) setWindowTitle(t);
    if (QString t = m_Owner.Message(3048); !t.isEmpty()) lblServerName->setText(t);
    if (QString t = m_Owner.Message(3049); !t.isEmpty()) lblServerURL->setText(t);
    if (QString t = m_Owner.Message(3009); !t.isEmpty()) btnDlgSrvOk->setText(t);
    if (QString t = m_Owner.Message(3010); !t.isEmpty()) btnDlgSrvQuit->setText(t);
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
    if (server.empty() || url.empty()) {
        m_Owner.ShowError(3050, this);
        EdDlgServerNorvelia->setFocus();
        return;
    }
    const std::string user = CurrentBytes(m_Owner.ComboSrvUserList);
    if (WriteServer(server, url)) {
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
