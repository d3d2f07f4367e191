#include "connexion/ListStatusWindow.h"

void CListStatusWindow::AddLine(const std::string& line)
{
    QListWidget* list = m_List;
    // Queued even on the list's own thread, so that lines keep their order.
    m_Queue.Post([list, line] {
        list->addItem(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
        list->scrollToBottom();
    });
}
