// A window's text from the message library, in the language the user chose
// (else the locale's), with its values filled in. `english` (the same
// conversions) stands in when no catalog is loaded or the catalog lacks the
// number, so a window is never left with empty labels.
#pragma once
#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include "lexmo/TextOr.h"

namespace platform {

template <class... A>
QString UiText(int number, const char* english, const A&... args)
{
    const std::string text = lexmo::TextOr(number, english, args...);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Qt names its standard buttons in English unless its own translations are
// loaded: ours speak the catalog's language like the rest of the window.
inline void NameButton(QAbstractButton* button, int number, const char* english)
{
    if (button) button->setText(UiText(number, english));
}

inline void NameButtons(QDialogButtonBox* box)
{
    NameButton(box->button(QDialogButtonBox::Ok), 4607, "OK");
    NameButton(box->button(QDialogButtonBox::Cancel), 4404, "Cancel");
    NameButton(box->button(QDialogButtonBox::Yes), 4401, "&Yes");
    NameButton(box->button(QDialogButtonBox::No), 4402, "&No");
}

inline void NameButtons(QMessageBox& box)
{
    NameButton(box.button(QMessageBox::Ok), 4607, "OK");
    NameButton(box.button(QMessageBox::Cancel), 4404, "Cancel");
    NameButton(box.button(QMessageBox::Yes), 4401, "&Yes");
    NameButton(box.button(QMessageBox::No), 4402, "&No");
}

} // namespace platform
