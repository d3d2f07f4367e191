// The connection test dialog on Windows, resource 102: an explanation, the
// probe's running account in a list box, a check button and a quit button.
// The check runs on a thread of its own; its lines and its end are posted to
// the dialog. The outcome goes to LastErrorCode and to a message box.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "connexion/ConnexionCheck.h"

class CListBoxStatusWindow;

class CNvConnexionDlg {
public:
    // `url`: the server's URL from the command line, empty for the default.
    explicit CNvConnexionDlg(std::string url);
    ~CNvConnexionDlg();
    CNvConnexionDlg(const CNvConnexionDlg&) = delete;
    CNvConnexionDlg& operator=(const CNvConnexionDlg&) = delete;

    // Runs the dialog until it is quit.
    INT_PTR DoModal();
    // The dialog without waiting for it (tests); null when it cannot be made.
    HWND Create();
    HWND Window() const { return m_Dialog; }

    bool CheckRunning() const { return m_Running; }
    // Starts a check; nothing while one runs.
    void OnCheck();
    // LastErrorCode := -1, and the dialog ends.
    void OnQuit();
    // Boxes of the dialog go through here, so that a test can answer them.
    using BoxFn = int (*)(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);
    void SetBoxFunction(BoxFn box) { m_Box = box; }
    // The outcome of the last check, once shown.
    const ConnexionOutcome& LastOutcome() const { return m_Outcome; }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void AddLogLine(const std::string& line);
    void FinishCheck(bool ok, DWORD code);

    static constexpr UINT kDoneMessage = WM_APP + 11;

    std::string m_Url;
    HWND m_Dialog = nullptr;
    HICON m_Icon = nullptr;
    HICON m_SmallIcon = nullptr;
    bool m_Modal = false;
    bool m_Running = false;
    int m_LogWidth = 0;
    BoxFn m_Box = nullptr;
    ConnexionOutcome m_Outcome;
    std::unique_ptr<CListBoxStatusWindow> m_Status;
    std::thread m_Worker;
};
