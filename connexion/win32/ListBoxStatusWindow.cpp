#include "connexion/win32/ListBoxStatusWindow.h"

#include <memory>

void CListBoxStatusWindow::AddLine(const std::string& line)
{
    auto copy = std::make_unique<std::string>(line);
    // A window already gone takes nothing: the copy is released here.
    if (PostMessageW(m_Dialog, kLineMessage, 0, reinterpret_cast<LPARAM>(copy.get()))) copy.release();
}

std::string CListBoxStatusWindow::Take(LPARAM lParam)
{
    const std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(lParam));
    return line ? *line : std::string();
}
