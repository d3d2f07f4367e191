// The name and URL of a server, new or changed (servers page).
#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TfrmPassword;

class TfrmDlgSrv : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDlgSrv(TfrmPassword& owner);

    void SetDialogStrings();
    // Shows the dialog modally, then asks for the login of a server stored
    // without one.
    void ShowModal();
    void btnDlgSrvOkClick();
    void btnDlgSrvQuitClick();
    // Whether the last OK stored a server that has no login for the user yet.
    bool NeedsLogin() const { return m_NeedsLogin; }

    QLabel* lblServerName = nullptr;
    QLineEdit* EdDlgServerNorvelia = nullptr;
    QLabel* lblServerURL = nullptr;
    QLineEdit* EdDlgURLNorvelia = nullptr;
    QPushButton* btnDlgSrvOk = nullptr;
    QPushButton* btnDlgSrvQuit = nullptr;

    static constexpr const char* kUrlStart = "http://";

public slots:
    void done(int result) override; // every way out empties the fields
    void reject() override;          // Escape and the close box: as the quit button

protected:
    void showEvent(QShowEvent* event) override;

private:
    TfrmPassword& m_Owner;
    bool m_NeedsLogin = false;
};
