// The UI host of the Qt programs: message boxes, questions and the credentials
// dialog as Qt widgets. A call from another thread (a probe on a worker) is
// carried to the GUI thread and waits there for the person's answer, so the
// GUI thread must keep its event loop running while such a thread works.
#pragma once
#include <atomic>
#include <memory>
#include <string>

#include "seam/Ui.h"

namespace platform {

class GuiQueue;

class QtUiHost final : public IUiHost {
public:
    // Made on the GUI thread of a QApplication; installs itself as the process's host and puts the
    // previous one back when it ends.
    QtUiHost();
    ~QtUiHost() override;
    QtUiHost(const QtUiHost&) = delete;
    QtUiHost& operator=(const QtUiHost&) = delete;

    MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                          MsgButtons buttons = MsgButtons::Ok, MsgResult defaultButton = MsgResult::Ok) override;
    bool AskCredentials(const std::string& prompt, std::string& user, std::string& password) override;
    // The HotSync action dialog.
    bool AskSyncAction(SyncActionRequest& request) override;
    // The progress dialog, made on the GUI thread whichever thread asks.
    std::unique_ptr<IProgressView> CreateProgressView() override;

    // Whether, since the last call, a run read the cancel of a progress view
    // that has ended: the person stopped it with "Abandon" (or by closing
    // its window).
    bool TakeAbandoned();

    // While the program ends its event loop no longer serves other threads:
    // their calls then get the default host's answers instead of waiting.
    void SetClosing(bool closing);

private:
    IUiHost* m_Previous;
    std::unique_ptr<GuiQueue> m_Queue;
    std::atomic<bool> m_Abandoned{false};
};

} // namespace platform
