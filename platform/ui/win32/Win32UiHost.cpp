#include "Win32UiHost.h"

#include <windows.h>
#include <commctrl.h>

#include <future>
#include <thread>
#include <utility>

#include "NorvProgressDlg.h"
#include "WideText.h"
#include "resource.h"

namespace platform {

namespace {

constexpr UINT kRunMessage = WM_APP + 1;
constexpr wchar_t kCallClass[] = L"NorveliaUiHostCalls";

// The module that holds the dialogs: this library, wherever it was loaded from.
HINSTANCE ResourceModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ResourceModule), &module);
    return module;
}

LRESULT CALLBACK CallWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kRunMessage) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Keyboard handling (Tab, Escape) for the modeless progress dialog.
bool DialogKey(MSG& msg)
{
    HWND active = GetActiveWindow();
    if (!active) return false;
    wchar_t cls[16] = {};
    GetClassNameW(active, cls, 16);
    return lstrcmpW(cls, L"#32770") == 0 && IsDialogMessageW(active, &msg);
}

struct Credentials {
    std::string prompt;
    std::string user;
    std::string password;
};

INT_PTR CALLBACK CredentialsProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        const auto* c = reinterpret_cast<const Credentials*>(lParam);
        SetWindowTextW(dlg, MessageOr(2094, "Identification").c_str());
        SetDlgItemTextW(dlg, IDC_PROMPT, Wide(c->prompt).c_str());
        SetDlgItemTextW(dlg, IDC_USER_LABEL, MessageOr(2092, "&User name:").c_str());
        SetDlgItemTextW(dlg, IDC_PASSWORD_LABEL, MessageOr(2093, "&Password:").c_str());
        SetDlgItemTextW(dlg, IDOK, MessageOr(4607, "OK").c_str());
        SetDlgItemTextW(dlg, IDCANCEL, MessageOr(4404, "Cancel").c_str());
        SetDlgItemTextW(dlg, IDC_USER, Wide(c->user).c_str());
        SetFocus(GetDlgItem(dlg, c->user.empty() ? IDC_USER : IDC_PASSWORD));
        return FALSE;
    }
    if (message != WM_COMMAND) return FALSE;
    auto* c = reinterpret_cast<Credentials*>(GetWindowLongPtrW(dlg, DWLP_USER));
    switch (LOWORD(wParam)) {
    case IDOK: {
        c->user = WindowText(GetDlgItem(dlg, IDC_USER));
        c->password = WindowText(GetDlgItem(dlg, IDC_PASSWORD));
        // The password leaves no copy in the dialog.
        SetDlgItemTextW(dlg, IDC_PASSWORD, L"");
        EndDialog(dlg, IDOK);
        return TRUE;
    }
    case IDCANCEL: EndDialog(dlg, IDCANCEL); return TRUE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK SyncActionProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        const auto* r = reinterpret_cast<const SyncActionRequest*>(lParam);
        // The name may carry an accelerator mark meant for a menu.
        std::string shown = r->conduitName;
        std::erase(shown, '&');
        SetWindowTextW(dlg, (MessageOr(4041, "Change HotSync Action") + L" - " + Wide(shown)).c_str());
        SetDlgItemTextW(dlg, IDC_CONDUIT, MessageOr(4048, "Conduit: %s", shown).c_str());
        SetDlgItemTextW(dlg, IDC_ACTION_BOX, MessageOr(4042, "HotSync Action").c_str());
        SetDlgItemTextW(dlg, IDC_ACTION0, MessageOr(4043, "&Synchronize the files").c_str());
        SetDlgItemTextW(dlg, IDC_ACTION1, MessageOr(4044, "&Desktop overwrites handheld").c_str());
        SetDlgItemTextW(dlg, IDC_ACTION2, MessageOr(4045, "&Handheld overwrites Desktop").c_str());
        SetDlgItemTextW(dlg, IDC_ACTION3, MessageOr(4046, "Do &nothing").c_str());
        SetDlgItemTextW(dlg, IDC_MAKE_DEFAULT, MessageOr(4047, "Set as &default").c_str());
        SetDlgItemTextW(dlg, IDOK, MessageOr(4607, "OK").c_str());
        SetDlgItemTextW(dlg, IDCANCEL, MessageOr(4404, "Cancel").c_str());
        const int action = r->action >= 0 && r->action <= 3 ? r->action : 0;
        CheckRadioButton(dlg, IDC_ACTION0, IDC_ACTION3, IDC_ACTION0 + action);
        CheckDlgButton(dlg, IDC_MAKE_DEFAULT, r->makeDefault ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    auto* r = reinterpret_cast<SyncActionRequest*>(GetWindowLongPtrW(dlg, DWLP_USER));
    switch (LOWORD(wParam)) {
    case IDOK:
        for (int i = 0; i <= 3; ++i)
            if (IsDlgButtonChecked(dlg, IDC_ACTION0 + i) == BST_CHECKED) r->action = i;
        r->makeDefault = IsDlgButtonChecked(dlg, IDC_MAKE_DEFAULT) == BST_CHECKED;
        EndDialog(dlg, IDOK);
        return TRUE;
    case IDCANCEL: EndDialog(dlg, IDCANCEL); return TRUE;
    default: return FALSE;
    }
}

} // namespace

struct CWin32UiHost::Thread {
    std::thread thread;
    DWORD id = 0;
    HWND calls = nullptr;

    void Main(std::promise<void>& started)
    {
        id = GetCurrentThreadId();
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW cls{};
        cls.cbSize = sizeof cls;
        cls.lpfnWndProc = &CallWindowProc;
        cls.hInstance = ResourceModule();
        cls.lpszClassName = kCallClass;
        RegisterClassExW(&cls);
        calls = CreateWindowExW(0, kCallClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
        // Without a desktop to show them on, no window can be made: the host
        // then answers as the non-interactive one.
        if (HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr))
            DestroyWindow(probe);
        else if (calls)
            DestroyWindow(std::exchange(calls, nullptr));
        started.set_value();
        if (!calls) return;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (DialogKey(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
};

CWin32UiHost::CWin32UiHost() : m_Thread(std::make_unique<Thread>())
{
    std::promise<void> started;
    m_Thread->thread = std::thread([this, &started] { m_Thread->Main(started); });
    started.get_future().wait();
}

CWin32UiHost::~CWin32UiHost()
{
    if (m_Thread->calls) {
        Run([this] {
            DestroyWindow(m_Thread->calls);
            PostQuitMessage(0);
        });
    }
    m_Thread->thread.join();
}

bool CWin32UiHost::Ready() const
{
    return m_Thread->calls != nullptr;
}

void CWin32UiHost::Run(const std::function<void()>& call)
{
    if (!Ready()) return;
    if (GetCurrentThreadId() == m_Thread->id) {
        call();
        return;
    }
    // A sent message runs on the GUI thread, also inside a modal loop there.
    SendMessageW(m_Thread->calls, kRunMessage, 0, reinterpret_cast<LPARAM>(&call));
}

MsgResult CWin32UiHost::ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                                    MsgButtons buttons, MsgResult defaultButton)
{
    if (!Ready()) return DefaultUiHost().ShowMessage(text, caption, icon, buttons, defaultButton);
    UINT flags = MB_SETFOREGROUND | MB_TASKMODAL;
    switch (icon) {
    case MsgIcon::Information: flags |= MB_ICONINFORMATION; break;
    case MsgIcon::Warning: flags |= MB_ICONWARNING; break;
    case MsgIcon::Error: flags |= MB_ICONERROR; break;
    case MsgIcon::Question: flags |= MB_ICONQUESTION; break;
    case MsgIcon::None: break;
    }
    switch (buttons) {
    case MsgButtons::Ok: flags |= MB_OK; break;
    case MsgButtons::OkCancel:
        flags |= MB_OKCANCEL | (defaultButton == MsgResult::Cancel ? MB_DEFBUTTON2 : 0);
        break;
    case MsgButtons::YesNo: flags |= MB_YESNO | (defaultButton == MsgResult::No ? MB_DEFBUTTON2 : 0); break;
    }
    int answer = 0;
    Run([&] {
        answer = MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption.empty() ? "Norvelia" : caption).c_str(), flags);
    });
    switch (answer) {
    case IDOK: return MsgResult::Ok;
    case IDYES: return MsgResult::Yes;
    case IDNO: return MsgResult::No;
    case IDCANCEL: return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Cancel;
    default: break;
    }
    // No box could be shown: the question's safe answer.
    return buttons == MsgButtons::Ok ? MsgResult::Ok : (buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Cancel);
}

bool CWin32UiHost::AskCredentials(const std::string& prompt, std::string& user, std::string& password)
{
    Credentials c{prompt, user, {}};
    INT_PTR answer = IDCANCEL;
    Run([&] {
        answer = DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(IDD_CREDENTIALS), nullptr, &CredentialsProc,
                                 reinterpret_cast<LPARAM>(&c));
    });
    if (answer != IDOK) return false;
    user = c.user;
    password = c.password;
    return true;
}

bool CWin32UiHost::AskSyncAction(SyncActionRequest& request)
{
    SyncActionRequest chosen = request;
    INT_PTR answer = IDCANCEL;
    Run([&] {
        answer = DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(IDD_SYNC_ACTION), nullptr, &SyncActionProc,
                                 reinterpret_cast<LPARAM>(&chosen));
    });
    if (answer != IDOK) return false;
    request = chosen;
    return true;
}

std::unique_ptr<IProgressView> CWin32UiHost::CreateProgressView()
{
    auto view = std::make_unique<CNorvProgressDlg>(*this, ResourceModule());
    if (!view->Window()) return DefaultUiHost().CreateProgressView();
    return view;
}

} // namespace platform
