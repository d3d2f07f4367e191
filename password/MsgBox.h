// Every message box of the settings program goes through here, so that a test
// can read each box and answer it instead of a person.
#pragma once
#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

class TMsgBox {
public:
    struct Request {
        QString text;
        QString caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    };
    using Hook = std::function<QMessageBox::StandardButton(const Request&)>;

    // The texts of the Yes and No buttons.
    static constexpr int kMsgYes = 4401;
    static constexpr int kMsgNo = 4402;

    // Shows the box modally and returns the button pressed; with a hook set,
    // the hook answers and nothing is shown.
    static QMessageBox::StandardButton Show(QWidget* parent, const Request& request);
    static void SetHook(Hook hook);

private:
    static Hook& CurrentHook();
};
