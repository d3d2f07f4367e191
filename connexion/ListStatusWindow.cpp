#include "connexion/ListStatusWindow.h"

#include <QMetaObject>

void CListStatusWindow::AddLine(const std::string& line)
{
    QListWidget* list = m_List;
    const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    // Queued even on the list's own thread, so lines keep their order.
    QMetaObject::invokeMethod(
        list,
        [list, text] {
            list->addItem(text);
            list->scrollToBottom();
        },
        Qt::QueuedConnection);
}
