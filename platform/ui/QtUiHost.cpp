#include "platform/QtUiHost.h"

#include <QApplication>
#include <QMessageBox>

#include "CredentialsDialog.h"
#include "platform/GuiQueue.h"

namespace platform {

namespace {

QString Text(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QMessageBox::Icon BoxIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton BoxButton(MsgResult r)
{
    switch (r) {
    case MsgResult::Ok: return QMessageBox::Ok;
    case MsgResult::Cancel: return QMessageBox::Cancel;
    case MsgResult::Yes: return QMessageBox::Yes;
    case MsgResult::No: return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

MsgResult AskBox(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons buttons,
                 MsgResult defaultButton)
{
    QMessageBox box(QApplication::activeWindow());
    box.setIcon(BoxIcon(icon));
    box.setWindowTitle(Text(caption));
    // Texts may come from the network: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(Text(text));
    MsgResult escape = MsgResult::Ok;
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        defaultButton = MsgResult::Ok;
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        if (defaultButton != MsgResult::Cancel) defaultButton = MsgResult::Ok;
        escape = MsgResult::Cancel;
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        if (defaultButton != MsgResult::No) defaultButton = MsgResult::Yes;
        escape = MsgResult::No;
        break;
    }
    box.setDefaultButton(BoxButton(defaultButton));
    box.setEscapeButton(BoxButton(escape));
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    switch (clicked ? box.standardButton(clicked) : QMessageBox::NoButton) {
    case QMessageBox::Ok: return MsgResult::Ok;
    case QMessageBox::Cancel: return MsgResult::Cancel;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    default: break;
    }
    return escape;
}

} // namespace

QtUiHost::QtUiHost() : m_Previous(&UiHost()), m_Queue(std::make_unique<GuiQueue>())
{
    SetUiHost(this);
}

QtUiHost::~QtUiHost()
{
    SetUiHost(m_Previous == &DefaultUiHost() ? nullptr : m_Previous);
}

MsgResult QtUiHost::ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                                MsgButtons buttons, MsgResult defaultButton)
{
    MsgResult result = defaultButton;
    if (!m_Queue->Call([&] { result = AskBox(text, caption, icon, buttons, defaultButton); }))
        return DefaultUiHost().ShowMessage(text, caption, icon, buttons, defaultButton);
    return result;
}

bool QtUiHost::AskCredentials(const std::string& prompt, std::string& user, std::string& password)
{
    bool accepted = false;
    const bool shown = m_Queue->Call([&] {
        CredentialsDialog dialog(Text(prompt), Text(user), QApplication::activeWindow());
        if (dialog.exec() != QDialog::Accepted) return;
        accepted = true;
        user = dialog.User().toStdString();
        password = dialog.Password().toStdString();
    });
    return shown ? accepted : DefaultUiHost().AskCredentials(prompt, user, password);
}

void QtUiHost::SetClosing(bool closing)
{
    m_Queue->SetClosed(closing);
}

bool QtUiHost::AskSyncAction(SyncActionRequest& request)
{
    return DefaultUiHost().AskSyncAction(request);
}

std::unique_ptr<IProgressView> QtUiHost::CreateProgressView()
{
    return DefaultUiHost().CreateProgressView();
}

} // namespace platform
