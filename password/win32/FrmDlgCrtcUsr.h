// The users whose current server a deletion would take away (servers page),
// on Windows: a dialog that does not block the window.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "password/win32/WinForm.h"

class TfrmPassword;

class TfrmDlgCrtcUsr {
public:
    explicit TfrmDlgCrtcUsr(TfrmPassword& owner);
    ~TfrmDlgCrtcUsr();
    TfrmDlgCrtcUsr(const TfrmDlgCrtcUsr&) = delete;
    TfrmDlgCrtcUsr& operator=(const TfrmDlgCrtcUsr&) = delete;

    // Shows the dialog, without blocking, for `server`.
    void ShowFor(const std::string& server);
    // Lists the users of the label's server, or of the focused row's.
    void Refill();
    void lstbCriticUsersClick();
    void btnDlgCrtcUsrQuitClick();

    // Null until first shown.
    HWND Window() const { return m_Form.Window(); }
    TWinForm& Form() { return m_Form; }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    TfrmPassword& m_Owner;
    TWinForm m_Form;
    std::string m_Server;
    std::vector<std::string> m_Users;
};
