#include "password/win32/FrmDlgCrtcUsr.h"

#include "password/PasswordRegistry.h"
#include "password/win32/FrmPassword.h"

using formlayout::kDlgCrtcUsr;

TfrmDlgCrtcUsr::TfrmDlgCrtcUsr(TfrmPassword& owner) : m_Owner(owner), m_Form(kDlgCrtcUsr) {}

TfrmDlgCrtcUsr::~TfrmDlgCrtcUsr()
{
    if (Window() && IsWindow(Window())) DestroyWindow(Window());
}

INT_PTR CALLBACK TfrmDlgCrtcUsr::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<TfrmDlgCrtcUsr*>(lParam);
        self->m_Form.Build(dialog, nullptr, 0);
        self->m_Form.SetTexts([self](int number) { return self->m_Owner.Message(number); });
        return TRUE;
    }
    auto* self = reinterpret_cast<TfrmDlgCrtcUsr*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!self || message != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam);
    if (id == self->m_Form.Id("lstbCriticUsers") && HIWORD(wParam) == LBN_SELCHANGE) self->lstbCriticUsersClick();
    else if (id == IDCANCEL || id == self->m_Form.Id("btnDlgCrtcUsrQuit")) self->btnDlgCrtcUsrQuitClick();
    else return FALSE;
    return TRUE;
}

void TfrmDlgCrtcUsr::ShowFor(const std::string& server)
{
    if (!Window())
        CreateDialogIndirectParamW(GetModuleHandleW(nullptr), TWinForm::Template(false), m_Owner.Window(),
                                   &DialogProc, reinterpret_cast<LPARAM>(this));
    // The server asked about, even while the list shows another one.
    m_Server = server;
    Refill();
    ShowWindow(Window(), SW_SHOW);
    SetForegroundWindow(Window());
}

void TfrmDlgCrtcUsr::Refill()
{
    if (m_Server.empty()) m_Server = m_Owner.FocusedServer();
    SetWindowTextW(m_Form.Control("lblServerName"), Shown(m_Server).c_str());
    HWND list = m_Form.Control("lstbCriticUsers");
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    m_Users = UsersOfServer(m_Server);
    for (const std::string& user : m_Users)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Shown(user).c_str()));
}

void TfrmDlgCrtcUsr::lstbCriticUsersClick()
{
    const LRESULT index = SendMessageW(m_Form.Control("lstbCriticUsers"), LB_GETCURSEL, 0, 0);
    if (index < 0 || std::size_t(index) >= m_Users.size()) return;
    m_Owner.ChooseUser(UserIndex(m_Users[std::size_t(index)]));
    m_Owner.ComboUserListChange();
    m_Owner.ComboSrvUserListChange();
}

void TfrmDlgCrtcUsr::btnDlgCrtcUsrQuitClick()
{
    m_Server.clear();
    SetWindowTextW(m_Form.Control("lblServerName"), L"");
    ShowWindow(Window(), SW_HIDE);
}
