// The question for a user name and password that a server or proxy asked for.
#pragma once
#include <QDialog>
#include <QLineEdit>
#include <QString>

namespace platform {

class CredentialsDialog final : public QDialog {
public:
    CredentialsDialog(const QString& prompt, const QString& user, QWidget* parent);

    QString User() const { return m_User->text(); }
    QString Password() const { return m_Password->text(); }

private:
    QLineEdit* m_User;
    QLineEdit* m_Password;
};

} // namespace platform
