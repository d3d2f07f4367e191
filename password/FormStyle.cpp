#include "password/FormStyle.h"

#include <QApplication>
#include <QStyleFactory>

// A proxy takes ownership of its base: a fresh copy of the application's style.
TFormStyle::TFormStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

int TFormStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                          QStyleHintReturn* returnData) const
{
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    if (hint == SH_LineEdit_PasswordMaskDelay) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
