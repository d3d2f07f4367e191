// Qt controls built from the forms' shared definitions (FormLayout.h): the
// name, place, built-in text, emphasis and hint of each, and the catalog's text
// put in place of the built-in text.
#pragma once
#include <QString>
#include <QWidget>

#include "password/FormLayout.h"

class QStyle;

// Creates the control `name` of `form` as a W under `parent`.
template <class W>
W* MakeControl(QWidget* parent, const TFormDef& form, const char* name, QStyle* passwordStyle = nullptr);

// Sets the definition's place, built-in text, emphasis and hint on a control.
void ApplyControlDef(QWidget* control, const TControlDef& def, QStyle* passwordStyle);

// The catalog's text of a control (its message) in place of the built-in text;
// nothing when the catalog has none. Also a page's tab and a form's title.
void SetControlText(QWidget* control, const QString& text);

// Every control of `form` under `root` that has a message, and every hint.
// `message` gives the catalog's text of a number, empty when it has none.
template <class F>
void SetFormTexts(QWidget* root, const TFormDef& form, F message)
{
    if (const QString t = message(form.titleMessage); !t.isEmpty()) root->setWindowTitle(t);
    for (const TControlDef& def : form.controls) {
        QWidget* control = root->findChild<QWidget*>(QString::fromLatin1(def.name));
        if (!control) continue;
        if (def.message) SetControlText(control, message(def.message));
        if (def.hintMessage) {
            if (const QString hint = message(def.hintMessage); !hint.isEmpty()) control->setToolTip(hint);
        }
    }
}

template <class W>
W* MakeControl(QWidget* parent, const TFormDef& form, const char* name, QStyle* passwordStyle)
{
    W* control = new W(parent);
    ApplyControlDef(control, formlayout::Control(form, name), passwordStyle);
    return control;
}
