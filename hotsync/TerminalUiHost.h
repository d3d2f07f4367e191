// The UI host of the hotsync program: progress on the terminal (status lines,
// bars and a spinner when stderr is a terminal, one line per status change
// otherwise, nothing when quiet), questions on the terminal or answered by
// --yes/--no, and Ctrl-C as the progress view's "Abandon".
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "seam/Ui.h"

class CTerminalUiHost final : public platform::IUiHost {
public:
    enum class Mode { Interactive, Lines, Quiet };
    CTerminalUiHost(Mode mode, bool terminalInput);

    // Answer to Yes/No questions when set (--yes, --no).
    void SetAnswer(std::optional<bool> yes) { m_Answer = yes; }
    // Preset sync action (configure --action).
    void SetSyncAction(std::optional<int> action, bool makeDefault)
    {
        m_Action = action;
        m_MakeDefault = makeDefault;
    }

    platform::MsgResult ShowMessage(const std::string& text, const std::string& caption, platform::MsgIcon icon,
                                    platform::MsgButtons buttons, platform::MsgResult defaultButton) override;
    bool AskCredentials(const std::string& prompt, std::string& user, std::string& password) override;
    bool AskSyncAction(platform::SyncActionRequest& request) override;
    std::unique_ptr<platform::IProgressView> CreateProgressView() override;

    // Ctrl-C marks every view cancelled; installs the SIGINT handler.
    static void InstallInterruptHandler();
    static void RestoreInterruptHandler();
    // Whether Ctrl-C was pressed since the handler was installed.
    static bool Interrupted();
    // SIGTERM or SIGHUP when one stopped the run (it answers No to every
    // question from then on), else 0.
    static int TerminationSignal();
    // A line from the HotSync Manager itself (progress callback).
    void Note(const std::string& text);
    // Lets the views redraw their spinner (called on yields).
    void Tick();

    static Mode DetectMode(bool quiet);

private:
    std::string ReadLine(const std::string& prompt, bool echo);

    Mode m_Mode;
    bool m_TerminalInput;
    std::optional<bool> m_Answer;
    std::optional<int> m_Action;
    bool m_MakeDefault = false;
    std::mutex m_Mutex; // terminal output
};
