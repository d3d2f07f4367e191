// The UI seam: every module that shows something goes through the process-wide
// host. The default host is non-interactive: messages go to stderr, questions
// get their default answer, credentials and the sync action are declined.
#pragma once
#include <memory>
#include <string>

#include "seam/Export.h"

namespace platform {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgResult { Ok, Cancel, Yes, No };

// A progress view: a title, two status lines, two bars and a cancel button.
class NORV_EXPORT IProgressView {
public:
    virtual ~IProgressView();
    virtual void SetTitle(const std::string& title) = 0;
    virtual void SetCancelText(const std::string& text) = 0;
    virtual void SetStatus1(const std::string& text) = 0;
    virtual void SetStatus2(const std::string& text) = 0;
    virtual void SetRange1(long low, long high) = 0;
    virtual void SetRange2(long low, long high) = 0;
    virtual void SetPos1(long pos) = 0;
    virtual void SetPos2(long pos) = 0;
    virtual void ShowBar1(bool show) = 0;
    virtual void ShowBar2(bool show) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Cancel state: set by the user (the button), cleared by the program.
    virtual bool IsCancelled() const = 0;
    virtual void SetCancel(bool cancelled) = 0;
    // Lets the view serve its user between steps of a long run.
    virtual void Pump() {}
    // Whether a person watches: pauses that serve a reader are made only then.
    virtual bool IsInteractive() const { return false; }
};

struct SyncActionRequest {
    std::string conduitName;
    int action = 0;          // 0..2 synchronize, 3 do nothing
    bool makeDefault = false;
};

class NORV_EXPORT IUiHost {
public:
    virtual ~IUiHost();
    virtual MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                                  MsgButtons buttons = MsgButtons::Ok,
                                  MsgResult defaultButton = MsgResult::Ok) = 0;
    // False when declined (as a cancelled dialog).
    virtual bool AskCredentials(const std::string& prompt, std::string& user, std::string& password) = 0;
    // False when cancelled; on true `request` holds the choice.
    virtual bool AskSyncAction(SyncActionRequest& request) = 0;
    virtual std::unique_ptr<IProgressView> CreateProgressView() = 0;
};

// The host in force; never null.
NORV_EXPORT IUiHost& UiHost();
// Installs a host (not owned); null restores the default host.
NORV_EXPORT void SetUiHost(IUiHost* host);
// The default, non-interactive host.
NORV_EXPORT IUiHost& DefaultUiHost();

} // namespace platform
