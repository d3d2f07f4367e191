// The probe's running account into the dialog's list box. The probe writes
// from its own thread; each line is posted to the dialog's, in order.
#pragma once
#include <windows.h>

#include <string>

#include "settings/ProbeStatusWindow.h"

class CListBoxStatusWindow final : public IProbeStatusWindow {
public:
    // Lines arrive at `dialog` as kLineMessage, the text's copy in lParam.
    static constexpr UINT kLineMessage = WM_APP + 10;

    explicit CListBoxStatusWindow(HWND dialog) : m_Dialog(dialog) {}
    void AddLine(const std::string& line) override;

    // Takes back a posted line (in the dialog's thread).
    static std::string Take(LPARAM lParam);

private:
    HWND m_Dialog;
};
