// The probe's running account into the dialog's log list. The probe writes
// from its own thread; each line is posted to the list's thread, in order.
// The queue and the list must outlive every probe that writes to them.
#pragma once
#include <QListWidget>

#include "seam/GuiQueue.h"
#include "settings/ConnectionProbe.h"

class CListStatusWindow final : public IProbeStatusWindow {
public:
    CListStatusWindow(platform::GuiQueue& queue, QListWidget* list) : m_Queue(queue), m_List(list) {}
    void AddLine(const std::string& line) override;

private:
    platform::GuiQueue& m_Queue;
    QListWidget* const m_List;
};
