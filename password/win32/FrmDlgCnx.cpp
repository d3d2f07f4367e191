#include "password/win32/FrmDlgCnx.h"

#include "password/PasswordActions.h"
#include "password/PasswordRegistry.h"
#include "password/win32/FrmPassword.h"
#include "password/win32/WinMsgBox.h"

using formlayout::kDlgCnx;

TfrmDlgCnx::TfrmDlgCnx(TfrmPassword& owner) : m_Owner(owner), m_Form(kDlgCnx) {}

void TfrmDlgCnx::SetServerAndUser(const std::string& server, const std::string& user)
{
    m_Server = server;
    m_User = user;
}

void TfrmDlgCnx::ShowModal()
{
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), TWinForm::Template(false), m_Owner.Window(), &DialogProc,
                            reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK TfrmDlgCnx::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<TfrmDlgCnx*>(lParam);
        self->m_Form.Build(dialog, nullptr, 0);
        self->m_Form.SetTexts([self](int number) { return self->m_Owner.Message(number); });
        SendMessageW(dialog, DM_SETDEFID, WPARAM(self->m_Form.Id("btnDlgCnxOk")), 0);
        SendMessageW(self->m_Form.Control("CheckCnxDefaultServer"), BM_SETCHECK, BST_CHECKED, 0);
        SetWindowTextW(self->m_Form.Control("lblServerName"), Shown(self->m_Server).c_str());
        SetWindowTextW(self->m_Form.Control("EdDlgCnxUserName"), Shown(self->m_User).c_str());
        self->FormShow();
        return FALSE;
    }
    auto* self = reinterpret_cast<TfrmDlgCnx*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!self || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
    const int id = LOWORD(wParam);
    if (id == IDOK || id == self->m_Form.Id("btnDlgCnxOk")) self->btnDlgCnxOkClick();
    else if (id == IDCANCEL || id == self->m_Form.Id("btnDlgCnxQuit")) self->btnDlgCnxQuitClick();
    else return FALSE;
    return TRUE;
}

void TfrmDlgCnx::FormShow()
{
    SetWindowTextW(m_Form.Control("EdDlgCnxUserLogin"), Shown(ReadUID(m_Server, m_User)).c_str());
    SetFocus(m_Form.Control("EdDlgCnxUserLogin"));
}

void TfrmDlgCnx::btnDlgCnxOkClick()
{
    HWND login = m_Form.Control("EdDlgCnxUserLogin");
    switch (SaveServerLogin(m_Server, m_User, TextOf(login), TextOf(m_Form.Control("EdDlgCnxNewNorveliaPassword")),
                            TextOf(m_Form.Control("EdDlgCnxNorveliaPasswordConfirmation")))) {
    case TServerLoginSave::Refused:
        m_Owner.ShowError(kMsgEnterServerLogin, Window());
        SetFocus(login);
        return;
    case TServerLoginSave::Differ:
        TWinMsgBox::Show(Window(), {kPasswordsNotIdentical, "NvPassword", MB_OK});
        EndDialog(Window(), IDCANCEL);
        return;
    case TServerLoginSave::Saved: break;
    }
    m_Owner.RefreshServerList(m_User);
    ShowWindow(Window(), SW_HIDE);
    if (SendMessageW(m_Form.Control("CheckCnxDefaultServer"), BM_GETCHECK, 0, 0) == BST_CHECKED)
        m_Owner.MakeDefaultServer();
    EndDialog(Window(), IDOK);
}

void TfrmDlgCnx::btnDlgCnxQuitClick()
{
    ShowWindow(Window(), SW_HIDE);
    EndDialog(Window(), IDCANCEL);
}
