// A user's login and password on one server (servers page), on Windows.
#pragma once
#include <windows.h>

#include <string>

#include "password/win32/WinForm.h"

class TfrmPassword;

class TfrmDlgCnx {
public:
    explicit TfrmDlgCnx(TfrmPassword& owner);

    void SetServerAndUser(const std::string& server, const std::string& user);
    void ShowModal();
    // Reads the stored login, as showing the dialog does.
    void FormShow();
    void btnDlgCnxOkClick();
    void btnDlgCnxQuitClick();

    HWND Window() const { return m_Form.Window(); }
    TWinForm& Form() { return m_Form; }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    TfrmPassword& m_Owner;
    TWinForm m_Form;
    std::string m_Server;
    std::string m_User;
};
