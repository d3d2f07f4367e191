#include "CredentialsDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "lexmo/Lexmo.h"
#include "seam/UiText.h"

namespace platform {

namespace {

// The message library's text, in its language; `fallback` when none is loaded.
QString Text(int number, const QString& fallback)
{
    const std::string text = lexmo::MessageText(number);
    return text.empty() ? fallback : QString::fromStdString(text);
}

} // namespace

CredentialsDialog::CredentialsDialog(const QString& prompt, const QString& user, QWidget* parent)
    : QDialog(parent), m_User(new QLineEdit(user, this)), m_Password(new QLineEdit(this))
{
    setObjectName("credentialsDialog");
    setWindowTitle(Text(2094, QApplication::applicationDisplayName()));
    setModal(true);

    // The prompt names a server or proxy: shown as plain text, never as markup.
    auto* label = new QLabel(this);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setText(prompt);
    label->setObjectName("prompt");

    m_User->setObjectName("user");
    m_Password->setObjectName("password");
    m_Password->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(Text(2092, tr("&User name:")), m_User);
    form->addRow(Text(2093, tr("&Password:")), m_Password);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // The buttons in the window's language, not in Qt's own.
    NameButtons(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(form);
    layout->addWidget(buttons);

    (user.isEmpty() ? m_User : m_Password)->setFocus();
}

} // namespace platform
