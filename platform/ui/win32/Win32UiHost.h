// The Windows host of the UI seam: message boxes, the credentials question,
// the HotSync action dialog and the progress dialog, all owned by one GUI
// thread of this host, so that a worker's call never waits on a thread that
// is itself waiting for the worker.
#pragma once
#include <functional>
#include <memory>

#include "seam/Ui.h"

namespace platform {

class NORV_EXPORT CWin32UiHost final : public IUiHost {
public:
    CWin32UiHost();
    ~CWin32UiHost() override;
    CWin32UiHost(const CWin32UiHost&) = delete;
    CWin32UiHost& operator=(const CWin32UiHost&) = delete;

    // False when no window could be made (no desktop to show it on).
    bool Ready() const;

    MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                          MsgButtons buttons = MsgButtons::Ok, MsgResult defaultButton = MsgResult::Ok) override;
    bool AskCredentials(const std::string& prompt, std::string& user, std::string& password) override;
    bool AskSyncAction(SyncActionRequest& request) override;
    std::unique_ptr<IProgressView> CreateProgressView() override;

    // Runs `call` on the GUI thread and returns when it has run.
    void Run(const std::function<void()>& call);

private:
    struct Thread;
    std::unique_ptr<Thread> m_Thread;
};

} // namespace platform
