#include "password/FormControls.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

void ApplyControlDef(QWidget* control, const TControlDef& def, QStyle* passwordStyle)
{
    control->setObjectName(QString::fromLatin1(def.name));
    control->setGeometry(def.x, def.y, def.width, def.height);
    const QString text = QString::fromUtf8(def.text);
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(def.style & kWrap);
        label->setAlignment(((def.style & kCentered) ? Qt::AlignHCenter : Qt::AlignLeft) |
                            ((def.style & kWrap) ? Qt::AlignTop : Qt::AlignVCenter));
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
        if (def.style & kMasked) {
            edit->setEchoMode(QLineEdit::Password);
            if (passwordStyle) edit->setStyle(passwordStyle);
        }
    }
    if (def.style & (kBold | kItalic)) {
        QFont font = control->font();
        font.setBold(def.style & kBold);
        font.setItalic(def.style & kItalic);
        control->setFont(font);
    }
    if (def.style & kDisabled) control->setEnabled(false);
    if (def.hint) control->setToolTip(QString::fromUtf8(def.hint));
}

void SetControlText(QWidget* control, const QString& text)
{
    // With no catalog loaded the built-in texts stay, rather than an empty control.
    if (text.isEmpty()) return;
    if (auto* label = qobject_cast<QLabel*>(control)) label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(control)) group->setTitle(text);
    else if (control->isWindow()) control->setWindowTitle(text);
    else if (auto* pages = qobject_cast<QTabWidget*>(control->parentWidget() ? control->parentWidget()->parentWidget()
                                                                              : nullptr)) {
        if (const int page = pages->indexOf(control); page >= 0) pages->setTabText(page, text);
    }
}
