#include "password/MsgBox.h"

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
    const int answer = box.exec();
    return static_cast<QMessageBox::StandardButton>(answer);
}
