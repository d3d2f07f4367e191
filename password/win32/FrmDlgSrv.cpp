#include "password/win32/FrmDlgSrv.h"

#include "password/PasswordActions.h"
#include "password/PasswordRegistry.h"
#include "password/win32/FrmPassword.h"

using formlayout::kDlgSrv;

TfrmDlgSrv::TfrmDlgSrv(TfrmPassword& owner) : m_Owner(owner), m_Form(kDlgSrv) {}

void TfrmDlgSrv::SetFields(const std::string& server, const std::string& url)
{
    m_Server = server;
    m_Url = url;
}

void TfrmDlgSrv::ShowModal()
{
    m_NeedsLogin = false;
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), TWinForm::Template(false), m_Owner.Window(), &DialogProc,
                            reinterpret_cast<LPARAM>(this));
    if (m_NeedsLogin) m_Owner.btnModifyServerClick();
}

INT_PTR CALLBACK TfrmDlgSrv::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<TfrmDlgSrv*>(lParam);
        self->m_Form.Build(dialog, nullptr, 0);
        self->m_Form.SetTexts([self](int number) { return self->m_Owner.Message(number); });
        // Enter runs OK from any field, Escape the quit button.
        SendMessageW(dialog, DM_SETDEFID, WPARAM(self->m_Form.Id("btnDlgSrvOk")), 0);
        SetWindowTextW(self->m_Form.Control("EdDlgServerNorvelia"), Shown(self->m_Server).c_str());
        if (!self->m_Url.empty()) SetWindowTextW(self->m_Form.Control("EdDlgURLNorvelia"), Shown(self->m_Url).c_str());
        SetFocus(self->m_Form.Control("EdDlgServerNorvelia"));
        return FALSE;
    }
    auto* self = reinterpret_cast<TfrmDlgSrv*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!self || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
    const int id = LOWORD(wParam);
    if (id == IDOK || id == self->m_Form.Id("btnDlgSrvOk")) self->btnDlgSrvOkClick();
    else if (id == IDCANCEL || id == self->m_Form.Id("btnDlgSrvQuit")) self->btnDlgSrvQuitClick();
    else return FALSE;
    return TRUE;
}

void TfrmDlgSrv::btnDlgSrvOkClick()
{
    const std::string server = TextOf(m_Form.Control("EdDlgServerNorvelia"));
    const std::string url = TextOf(m_Form.Control("EdDlgURLNorvelia"));
    bool stored = false;
    if (const int refused = SaveServer(server, url, &stored)) {
        m_Owner.ShowError(refused, Window());
        SetFocus(m_Form.Control("EdDlgServerNorvelia"));
        return;
    }
    const std::string user = m_Owner.ChosenUser("ComboSrvUserList");
    if (stored) {
        m_Owner.FillServerList(ReadServerNames());
        m_Owner.RefreshServerList(user);
    }
    // The server's own row: the registry lists names in its order, not in the order added.
    const bool listed = m_Owner.FocusServer(server);
    m_NeedsLogin = listed && ReadUID(server, user).empty();
    Close(IDOK);
}

void TfrmDlgSrv::btnDlgSrvQuitClick()
{
    ShowWindow(m_Owner.Window(), SW_SHOW);
    Close(IDCANCEL);
}

void TfrmDlgSrv::Close(INT_PTR result)
{
    // Every way out empties the fields for the next time.
    m_Server.clear();
    m_Url.clear();
    EndDialog(Window(), result);
}
