#include "password/FrmDlgCrtcUsr.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "password/Bytes.h"
#include "password/FrmPassword.h"
#include "password/PasswordRegistry.h"

TfrmDlgCrtcUsr::TfrmDlgCrtcUsr(TfrmPassword& owner) : QDialog(&owner), m_Owner(owner)
{
    setObjectName(QStringLiteral("frmDlgCrtcUsr"));
    setFont(owner.font());
    setWindowTitle(QStringLiteral("Information"));
    setFixedSize(300, 210);
    setModal(false);

    auto make = [this](auto* widget, const char* name, int x, int y, int w, int h) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(x, y, w, h);
        return widget;
    };
    lblServerName = make(new QLabel(this), "lblServerName", 10, 8, 280, 18);
    QFont bold = lblServerName->font();
    bold.setBold(true);
    lblServerName->setFont(bold);
    lblExplainDeleteInfo = make(
        new QLabel(QString::fromUtf8("est utilisé comme serveur par défaut pour les utilisateurs suivants"), this),
        "lblExplainDeleteInfo", 10, 28, 280, 30);
    lblExplainDeleteInfo->setWordWrap(true);
    lstbCriticUsers = make(new QListWidget(this), "lstbCriticUsers", 10, 62, 280, 104);
    btnDlgCrtcUsrQuit =
        make(new QPushButton(QStringLiteral("Fermer"), this), "btnDlgCrtcUsrQuit", 210, 175, 80, 25);

    connect(lstbCriticUsers, &QListWidget::itemClicked, this, &TfrmDlgCrtcUsr::lstbCriticUsersClick);
    connect(btnDlgCrtcUsrQuit, &QPushButton::clicked, this, &TfrmDlgCrtcUsr::btnDlgCrtcUsrQuitClick);
}

void TfrmDlgCrtcUsr::SetDialogStrings()
{
    if (QString t = m_Owner.Message(3030); !t.isEmpty()) setWindowTitle(t);
    if (QString t = m_Owner.Message(3051); !t.isEmpty()) lblExplainDeleteInfo->setText(t);
    if (QString t = m_Owner.Message(3010); !t.isEmpty()) btnDlgCrtcUsrQuit->setText(t);
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
