// The probe's running account into the dialog's log list. The probe writes
// from its own thread; each line is posted to the list's thread. The list
// must outlive every probe that writes to it.
#pragma once
#include <QListWidget>

#include "settings/ConnectionProbe.h"

class CListStatusWindow final : public IProbeStatusWindow {
public:
    explicit CListStatusWindow(QListWidget* list) : m_List(list) {}
    void AddLine(const std::string& line) override;

private:
    QListWidget* const m_List;
};
