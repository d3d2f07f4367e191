// The name and URL of a server, new or changed (servers page), on Windows.
#pragma once
#include <windows.h>

#include <string>

#include "password/win32/WinForm.h"

class TfrmPassword;

class TfrmDlgSrv {
public:
    explicit TfrmDlgSrv(TfrmPassword& owner);

    // What the fields show when the dialog opens; the URL field starts as
    // "http://" when `url` is empty.
    void SetFields(const std::string& server, const std::string& url);
    // Shows the dialog modally, then asks for the login of a server stored
    // without one.
    void ShowModal();
    void btnDlgSrvOkClick();
    void btnDlgSrvQuitClick();

    HWND Window() const { return m_Form.Window(); }
    TWinForm& Form() { return m_Form; }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void Close(INT_PTR result);

    TfrmPassword& m_Owner;
    TWinForm m_Form;
    std::string m_Server;
    std::string m_Url;
    bool m_NeedsLogin = false;
};
