#include "connexion/win32/NvConnexionDlg.h"

#include <utility>

#include "connexion/win32/ListBoxStatusWindow.h"
#include "connexion/win32/resource.h"
#include "lexmo/Lexmo.h"
#include "platform/ui/win32/WideText.h"

namespace {

using platform::Wide;

int ShowBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags)
{
    return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

std::wstring Message(int number)
{
    return Wide(KESA_FormatMessage(number));
}

} // namespace

CNvConnexionDlg::CNvConnexionDlg(std::string url) : m_Url(std::move(url)), m_Box(&ShowBox)
{
    const HINSTANCE module = GetModuleHandleW(nullptr);
    m_Icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    m_SmallIcon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
}

CNvConnexionDlg::~CNvConnexionDlg()
{
    // A check still running posts to the dialog: wait for it, then drop
    // what it left in the queue.
    if (m_Worker.joinable()) m_Worker.join();
    if (m_Dialog && IsWindow(m_Dialog)) DestroyWindow(m_Dialog);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, CListBoxStatusWindow::kLineMessage, CListBoxStatusWindow::kLineMessage,
                        PM_REMOVE))
        CListBoxStatusWindow::Take(msg.lParam);
    if (m_Icon) DestroyIcon(m_Icon);
    if (m_SmallIcon) DestroyIcon(m_SmallIcon);
}

INT_PTR CNvConnexionDlg::DoModal()
{
    m_Modal = true;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_NVCONNEXION_DIALOG), nullptr, &DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND CNvConnexionDlg::Create()
{
    m_Modal = false;
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_NVCONNEXION_DIALOG), nullptr,
                              &DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CNvConnexionDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CNvConnexionDlg*>(lParam);
        self->m_Dialog = dialog;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CNvConnexionDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self ? self->OnMessage(message, wParam, lParam) : FALSE;
}

void CNvConnexionDlg::OnInitDialog()
{
    m_Status = std::make_unique<CListBoxStatusWindow>(m_Dialog);
    SendMessageW(m_Dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_Icon));
    SendMessageW(m_Dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_SmallIcon));
    SetWindowTextW(m_Dialog, Message(kConnexionTitle).c_str());
    SetDlgItemTextW(m_Dialog, IDOK, Message(kConnexionCheck).c_str());
    SetDlgItemTextW(m_Dialog, IDCANCEL, Message(kConnexionQuit).c_str());
    SetDlgItemTextW(m_Dialog, IDC_EXPLANATION, Message(kConnexionExplanation).c_str());
}

INT_PTR CNvConnexionDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            OnCheck();
            return TRUE;
        }
        // The quit button, Escape and the close box.
        if (LOWORD(wParam) == IDCANCEL) {
            OnQuit();
            return TRUE;
        }
        return FALSE;
    case CListBoxStatusWindow::kLineMessage: AddLogLine(CListBoxStatusWindow::Take(lParam)); return TRUE;
    case kDoneMessage: FinishCheck(wParam != 0, DWORD(lParam)); return TRUE;
    case WM_PAINT:
        if (IsIconic(m_Dialog)) {
            // Minimized: the icon, centred.
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(m_Dialog, &ps);
            RECT client;
            GetClientRect(m_Dialog, &client);
            DrawIcon(dc, (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
                     (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, m_Icon);
            EndPaint(m_Dialog, &ps);
            return TRUE;
        }
        return FALSE;
    case WM_QUERYDRAGICON: SetWindowLongPtrW(m_Dialog, DWLP_MSGRESULT, LONG_PTR(m_Icon)); return TRUE;
    default: return FALSE;
    }
}

void CNvConnexionDlg::OnCheck()
{
    if (m_Running) return;
    SendDlgItemMessageW(m_Dialog, IDC_LOG, LB_RESETCONTENT, 0, 0);
    m_LogWidth = 0;
    SendDlgItemMessageW(m_Dialog, IDC_LOG, LB_SETHORIZONTALEXTENT, 0, 0);
    m_Running = true;
    EnableWindow(GetDlgItem(m_Dialog, IDOK), FALSE);
    if (m_Worker.joinable()) m_Worker.join();
    m_Worker = std::thread([this, dialog = m_Dialog, status = m_Status.get()] {
        const ConnexionOutcome outcome = RunConnexionCheck(m_Url, status);
        PostMessageW(dialog, kDoneMessage, outcome.ok ? 1 : 0, LPARAM(outcome.code));
    });
}

void CNvConnexionDlg::AddLogLine(const std::string& line)
{
    HWND log = GetDlgItem(m_Dialog, IDC_LOG);
    const std::wstring text = Wide(line);
    const LRESULT index = SendMessageW(log, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    // The list scrolls sideways as far as its longest line.
    if (HDC dc = GetDC(log)) {
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(log, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(log, dc);
        if (size.cx + 6 > m_LogWidth) {
            m_LogWidth = size.cx + 6;
            SendMessageW(log, LB_SETHORIZONTALEXTENT, WPARAM(m_LogWidth), 0);
        }
    }
    if (index >= 0) SendMessageW(log, LB_SETTOPINDEX, WPARAM(index), 0);
}

void CNvConnexionDlg::FinishCheck(bool ok, DWORD code)
{
    if (m_Worker.joinable()) m_Worker.join();
    m_Running = false;
    m_Outcome = {ok, code};
    const int message = RecordConnexionOutcome(m_Outcome);
    m_Box(m_Dialog, Message(message), Message(kConnexionTitle),
          MB_OK | (ok ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
    EnableWindow(GetDlgItem(m_Dialog, IDOK), TRUE);
}

void CNvConnexionDlg::OnQuit()
{
    RecordConnexionQuit();
    if (m_Modal) EndDialog(m_Dialog, IDCANCEL);
    else ShowWindow(m_Dialog, SW_HIDE);
}
