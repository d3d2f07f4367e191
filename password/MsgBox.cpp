#include "password/MsgBox.h"

#include <QAbstractButton>

#include "lexmo/Lexmo.h"

TMsgBox::Hook& TMsgBox::CurrentHook()
{
    static Hook hook;
    return hook;
}

void TMsgBox::SetHook(Hook hook) { CurrentHook() = std::move(hook); }

QMessageBox::StandardButton TMsgBox::Show(QWidget* parent, const Request& request)
{
    if (const Hook& hook = CurrentHook()) return hook(request);
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, parent);
    box.setDefaultButton(request.defaultButton);
    // The buttons speak the window's language, not Qt's own.
    for (const auto& [button, number] : {std::pair{QMessageBox::Yes, kMsgYes}, std::pair{QMessageBox::No, kMsgNo}}) {
        const std::string text = lexmo::MessageText(number);
        if (QAbstractButton* b = box.button(button); b && !text.empty()) b->setText(QString::fromStdString(text));
    }
    const int answer = box.exec();
    return static_cast<QMessageBox::StandardButton>(answer);
}
