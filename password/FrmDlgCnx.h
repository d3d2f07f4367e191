// A user's login and password on one server (servers page).
#pragma once
#include <QDialog>

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStyle;
class TfrmPassword;

class TfrmDlgCnx : public QDialog {
    Q_OBJECT
public:
    // Password fields drawn with `passwordStyle`, which the owner keeps.
    TfrmDlgCnx(TfrmPassword& owner, QStyle* passwordStyle);

    void SetDialogStrings();
    void SetServerAndUser(const std::string& server, const std::string& user);
    // Reads the stored login, as showing the dialog does.
    void FormShow();
    void btnDlgCnxOkClick();
    void btnDlgCnxQuitClick();

    QLabel* lblExplainConnexion = nullptr;
    QLabel* lblServerName = nullptr;
    QLabel* lblUserName = nullptr;
    QLineEdit* EdDlgCnxUserName = nullptr;
    QLabel* lblUserLogin = nullptr;
    QLineEdit* EdDlgCnxUserLogin = nullptr;
    QLabel* lblNorveliaPassword = nullptr;
    QLineEdit* EdDlgCnxNewNorveliaPassword = nullptr;
    QLabel* lblNorveliaPasswordConfirmation = nullptr;
    QLineEdit* EdDlgCnxNorveliaPasswordConfirmation = nullptr;
    QCheckBox* CheckCnxDefaultServer = nullptr;
    QPushButton* btnDlgCnxOk = nullptr;
    QPushButton* btnDlgCnxQuit = nullptr;

public slots:
    void reject() override; // Escape and the close box: as the quit button

protected:
    void showEvent(QShowEvent* event) override;

private:
    TfrmPassword& m_Owner;
    std::string m_Server;
    std::string m_User;
};
