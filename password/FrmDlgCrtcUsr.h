// The users whose current server a deletion would take away (servers page).
#pragma once
#include <QDialog>

#include <string>

class QLabel;
class QListWidget;
class QPushButton;
class TfrmPassword;

class TfrmDlgCrtcUsr : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDlgCrtcUsr(TfrmPassword& owner);

    void SetDialogStrings();
    // Shows the dialog, without blocking, for `server`.
    void ShowFor(const std::string& server);
    // Lists the users of the label's server, or of the focused row's.
    void Refill();
    void lstbCriticUsersClick();
    void btnDlgCrtcUsrQuitClick();

    QLabel* lblServerName = nullptr;
    QLabel* lblExplainDeleteInfo = nullptr;
    QListWidget* lstbCriticUsers = nullptr;
    QPushButton* btnDlgCrtcUsrQuit = nullptr;

public slots:
    void reject() override;

private:
    TfrmPassword& m_Owner;
};
