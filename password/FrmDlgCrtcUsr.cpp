#include "password/FrmDlgCrtcUsr.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "password/Bytes.h"
#include "password/FormControls.h"
#include "password/FrmPassword.h"
#include "password/PasswordRegistry.h"

using formlayout::kDlgCrtcUsr;

TfrmDlgCrtcUsr::TfrmDlgCrtcUsr(TfrmPassword& owner) : QDialog(&owner), m_Owner(owner)
{
    setObjectName(QString::fromLatin1(kDlgCrtcUsr.name));
    setFont(owner.font());
    setWindowTitle(QString::fromUtf8(kDlgCrtcUsr.title));
    setFixedSize(kDlgCrtcUsr.width, kDlgCrtcUsr.height);
    setModal(false);

    lblServerName = MakeControl<QLabel>(this, kDlgCrtcUsr, "lblServerName");
    lblExplainDeleteInfo = MakeControl<QLabel>(this, kDlgCrtcUsr, "lblExplainDeleteInfo");
    lstbCriticUsers = MakeControl<QListWidget>(this, kDlgCrtcUsr, "lstbCriticUsers");
    btnDlgCrtcUsrQuit = MakeControl<QPushButton>(this, kDlgCrtcUsr, "btnDlgCrtcUsrQuit");

    connect(lstbCriticUsers, &QListWidget::itemClicked, this, &TfrmDlgCrtcUsr::lstbCriticUsersClick);
    connect(btnDlgCrtcUsrQuit, &QPushButton::clicked, this, &TfrmDlgCrtcUsr::btnDlgCrtcUsrQuitClick);
}

void TfrmDlgCrtcUsr::SetDialogStrings()
{
    SetFormTexts(this, kDlgCrtcUsr, [this](int number) { return m_Owner.Message(number); });
}

void TfrmDlgCrtcUsr::ShowFor(const std::string& server)
{
    // The server asked about, even while the list shows another one.
    lblServerName->setText(ToQt(server));
    Refill();
    show();
    raise();
    activateWindow();
}

void TfrmDlgCrtcUsr::Refill()
{
    std::string server = ToStd(lblServerName->text());
    if (server.empty()) {
        server = m_Owner.FocusedServer();
        lblServerName->setText(ToQt(server));
    }
    lstbCriticUsers->clear();
    for (const std::string& user : UsersOfServer(server)) AddItem(lstbCriticUsers, user);
}

void TfrmDlgCrtcUsr::lstbCriticUsersClick()
{
    const QListWidgetItem* item = lstbCriticUsers->currentItem();
    if (!item) return;
    const int index = UserIndex(ItemBytes(item));
    m_Owner.ComboUserList->setCurrentIndex(index);
    m_Owner.ComboSrvUserList->setCurrentIndex(index);
    m_Owner.ComboUserListChange();
    m_Owner.ComboSrvUserListChange();
}

void TfrmDlgCrtcUsr::btnDlgCrtcUsrQuitClick()
{
    lblServerName->clear();
    hide();
}

void TfrmDlgCrtcUsr::reject() { btnDlgCrtcUsrQuitClick(); }
