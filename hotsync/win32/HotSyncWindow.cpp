// The HotSync window of hotsync.exe: a dialog from the program's resources,
// served by the program's main thread; each run on a thread of its own, its
// questions and progress dialog on NorvWinHost.dll's GUI thread.
#include "hotsync/win32/HotSyncWindow.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "hotsync/ConduitLibrary.h"
#include "hotsync/win32/HotSyncWindowIds.h"
#include "lexmo/Lexmo.h"
#include "platform/ui/win32/WideText.h"
#include "seam/UserFolders.h"
#include "hotsync/RunText.h"

using platform::MessageOr;
using platform::Narrow;
using platform::Wide;

namespace {

constexpr UINT kRunDone = WM_APP + 10;
constexpr UINT kInterrupt = WM_APP + 11;

// The one window of the process, for the console's Ctrl-C.
HWND g_Window = nullptr;

HWND Hwnd(void* window)
{
    return static_cast<HWND>(window);
}

COLORREF Colour(std::uint32_t rgb)
{
    return RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
}

// A GDI object made for one drawing.
class GdiObject {
public:
    explicit GdiObject(HGDIOBJ object) : m_Object(object) {}
    ~GdiObject()
    {
        if (m_Object) ::DeleteObject(m_Object);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    HGDIOBJ Get() const { return m_Object; }

private:
    HGDIOBJ m_Object;
};

// The icon of a log row or verdict, `size` pixels square at (x, y).
void DrawIcon(HDC dc, CRunLook::Icon icon, int x, int y, int size)
{
    WORD system = 32516; // IDI_INFORMATION
    switch (icon) {
    case CRunLook::Icon::Success: {
        // Windows has no icon that says "done": a green tick.
        GdiObject pen(::CreatePen(PS_SOLID, std::max(2, size / 6), Colour(CRunLook::kGreen)));
        HGDIOBJ old = ::SelectObject(dc, pen.Get());
        const POINT tick[] = {{x + size / 8, y + size / 2}, {x + size * 3 / 8, y + size * 3 / 4},
                              {x + size * 7 / 8, y + size / 4}};
        ::Polyline(dc, tick, 3);
        ::SelectObject(dc, old);
        return;
    }
    case CRunLook::Icon::Warning: system = 32515; break;  // IDI_WARNING
    case CRunLook::Icon::Critical: system = 32513; break; // IDI_ERROR
    case CRunLook::Icon::Information: break;
    }
    // Shared system icons: the system owns them.
    if (HANDLE shown = ::LoadImageW(nullptr, MAKEINTRESOURCEW(system), IMAGE_ICON, size, size, LR_SHARED))
        ::DrawIconEx(dc, x, y, static_cast<HICON>(shown), size, size, 0, nullptr, DI_NORMAL);
}

std::string Hex(const std::string& bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) ::SetWindowLongPtrW(dlg, DWLP_USER, lParam);
    auto* window = reinterpret_cast<CHotSyncWindow*>(::GetWindowLongPtrW(dlg, DWLP_USER));
    if (!window) return FALSE;
    if (message == WM_INITDIALOG) g_Window = dlg;
    return window->Handle(message, wParam, lParam);
}

BOOL WINAPI ConsoleHandler(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    if (HWND window = g_Window) ::PostMessageW(window, kInterrupt, event, 0);
    return TRUE;
}

} // namespace

CHotSyncWindow::CHotSyncWindow(const std::string& home) : m_Sync(home) {}

void CHotSyncWindow::FontDeleter::operator()(void* font) const
{
    ::DeleteObject(static_cast<HGDIOBJ>(font));
}

CHotSyncWindow::~CHotSyncWindow()
{
    if (m_Run.joinable()) m_Run.join();
}

bool CHotSyncWindow::LoadLanguage()
{
    return runtext::LoadLanguage();
}

int CHotSyncWindow::Run(const std::string& user, const std::string& handheld)
{
    // Started from the Start menu or Explorer, the program has a console of
    // its own, which is let go: the window is what it shows.
    DWORD processes[2];
    if (::GetConsoleProcessList(processes, 2) == 1) ::FreeConsole();
    // The dialogs of a run come from the window host, as the conduit's do.
    CConduitLibrary hostModule;
    std::string error;
    void* session = nullptr;
    if (hostModule.Load(CConduitLibrary::UiHostPath(), &error)) {
        if (auto open = hostModule.Get<void* (*)()>("NorvUiHostOpen")) session = open();
    }
    if (!session) {
        std::fprintf(stderr, "hotsync: cannot open the HotSync window: %s\n",
                     error.empty() ? "no window can be shown here" : error.c_str());
        return kExitNoWindow;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    m_Window = ::CreateDialogParamW(module, MAKEINTRESOURCEW(IDD_HOTSYNC), nullptr, &DialogProc,
                                    reinterpret_cast<LPARAM>(this));
    if (m_Window) {
        ::SetConsoleCtrlHandler(&ConsoleHandler, TRUE);
        HICON icon = ::LoadIconW(module, MAKEINTRESOURCEW(IDI_HOTSYNC));
        ::SendMessageW(Hwnd(m_Window), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        ::SendMessageW(Hwnd(m_Window), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        if (!user.empty()) SelectUser(user);
        if (!handheld.empty()) SetHandheld(platform::NativePath(handheld));
        ::ShowWindow(Hwnd(m_Window), SW_SHOWNORMAL);
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (::IsDialogMessageW(Hwnd(m_Window), &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::SetConsoleCtrlHandler(&ConsoleHandler, FALSE);
        g_Window = nullptr;
        m_Window = nullptr;
    } else {
        std::fprintf(stderr, "hotsync: cannot open the HotSync window: error %lu\n", ::GetLastError());
        m_ExitCode = kExitNoWindow;
    }
    if (auto close = hostModule.Get<void (*)(void*)>("NorvUiHostClose")) close(session);
    ::CoUninitialize();
    return m_ExitCode;
}

std::intptr_t CHotSyncWindow::Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        m_Window = g_Window;
        SetTexts();
        // A verdict that wants reading is said in bold.
        LOGFONTW font{};
        const auto dialogFont = reinterpret_cast<HFONT>(::SendMessageW(Hwnd(m_Window), WM_GETFONT, 0, 0));
        if (dialogFont && ::GetObjectW(dialogFont, sizeof font, &font)) {
            font.lfWeight = FW_BOLD;
            m_StrongFont.reset(::CreateFontIndirectW(&font));
        }
        // Log rows tall enough for their icon.
        HWND log = ::GetDlgItem(Hwnd(m_Window), IDC_LOG);
        HDC dc = ::GetDC(log);
        HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(log, WM_GETFONT, 0, 0)));
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc, &metrics);
        ::SelectObject(dc, old);
        ::ReleaseDC(log, dc);
        const int height = std::max<int>(metrics.tmHeight, ::GetSystemMetrics(SM_CYSMICON)) + 2;
        ::SendMessageW(log, LB_SETITEMHEIGHT, 0, height);
        LoadUsers();
        return TRUE;
    }
    case WM_DRAWITEM: return wParam == IDC_LOG ? DrawLogRow(lParam) : FALSE;
    case WM_CTLCOLORSTATIC: return OutcomeColours(std::intptr_t(wParam), lParam);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_USERS:
            if (HIWORD(wParam) == CBN_SELCHANGE) UserChanged();
            return TRUE;
        case IDC_BROWSE: Browse(); return TRUE;
        case IDC_SYNC:
        case IDOK: StartSync(); return TRUE;
        case IDM_RESTORE: RestoreBackup(); return TRUE;
        case IDM_RELOAD: LoadUsers(); return TRUE;
        case IDM_QUIT: Close(); return TRUE;
        default: return FALSE;
        }
    case WM_CLOSE: Close(); return TRUE;
    case kRunDone: Finished(); return TRUE;
    case kInterrupt:
        m_ExitCode = CWindowSync::kInterrupted;
        if (m_Run.joinable()) {
            m_CloseAfterRun = true;
            // The verdict says how: "Synchronization abandoned with Ctrl-C."
            const int how = wParam == CTRL_C_EVENT ? 4150 : wParam == CTRL_BREAK_EVENT ? 4990 : 4991;
            m_Sync.Abandon(lexmo::MessageText(how));
        } else {
            ::DestroyWindow(Hwnd(m_Window));
        }
        return TRUE;
    case WM_DESTROY: ::PostQuitMessage(0); return TRUE;
    default: return FALSE;
    }
}

void CHotSyncWindow::SetTexts()
{
    ::SetWindowTextW(Hwnd(m_Window), MessageOr(4000, "HotSync").c_str());
    HMENU menu = ::GetMenu(Hwnd(m_Window));
    HMENU file = ::GetSubMenu(menu, 0);
    ::ModifyMenuW(menu, 0, MF_BYPOSITION | MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(file),
                  MessageOr(4001, "&File").c_str());
    ::ModifyMenuW(file, IDM_RESTORE, MF_BYCOMMAND | MF_STRING, IDM_RESTORE,
                  MessageOr(4002, "&Restore a backup...").c_str());
    ::ModifyMenuW(file, IDM_RELOAD, MF_BYCOMMAND | MF_STRING, IDM_RELOAD, MessageOr(4003, "Reload the &users").c_str());
    ::ModifyMenuW(file, IDM_QUIT, MF_BYCOMMAND | MF_STRING, IDM_QUIT, MessageOr(4004, "&Quit").c_str());
    ::DrawMenuBar(Hwnd(m_Window));
    ::SetDlgItemTextW(Hwnd(m_Window), IDC_USER_LABEL, MessageOr(4005, "HotSync &user:").c_str());
    ::SetDlgItemTextW(Hwnd(m_Window), IDC_HANDHELD_LABEL, MessageOr(4008, "&Handheld:").c_str());
    ::SetDlgItemTextW(Hwnd(m_Window), IDC_BROWSE, MessageOr(4007, "&Browse...").c_str());
    ::SetDlgItemTextW(Hwnd(m_Window), IDC_SYNC, MessageOr(4009, "&Synchronize").c_str());
    ::SetDlgItemTextW(Hwnd(m_Window), IDC_LOG_LABEL, MessageOr(4010, "HotSync log of the last run:").c_str());
    ::SendDlgItemMessageW(Hwnd(m_Window), IDC_HANDHELD, EM_SETCUEBANNER, TRUE,
                          reinterpret_cast<LPARAM>(MessageOr(4006, "the handheld's folder").c_str()));
}

bool CHotSyncWindow::LoadUsers()
{
    const std::string current = CurrentUser();
    HWND users = ::GetDlgItem(Hwnd(m_Window), IDC_USERS);
    ::SendMessageW(users, CB_RESETCONTENT, 0, 0);
    std::vector<std::string> names;
    std::string error;
    if (!m_Sync.Users(names, error)) {
        SetOutcome(MessageOr(4018, "Cannot read the HotSync users: %s", error));
        UserChanged();
        return false;
    }
    for (const auto& name : names) ::SendMessageW(users, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name).c_str()));
    if (names.empty())
        SetOutcome(MessageOr(4019, "No HotSync user in %s: add one with \"hotsync user add NAME\".", m_Sync.Home()));
    if (current.empty() || !SelectUser(current)) ::SendMessageW(users, CB_SETCURSEL, 0, 0);
    UserChanged();
    return true;
}

bool CHotSyncWindow::SelectUser(const std::string& name)
{
    HWND users = ::GetDlgItem(Hwnd(m_Window), IDC_USERS);
    const LRESULT i = ::SendMessageW(users, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(Wide(name).c_str()));
    if (i == CB_ERR) return false;
    ::SendMessageW(users, CB_SETCURSEL, WPARAM(i), 0);
    UserChanged();
    return true;
}

std::string CHotSyncWindow::CurrentUser() const
{
    HWND users = ::GetDlgItem(Hwnd(m_Window), IDC_USERS);
    const LRESULT i = ::SendMessageW(users, CB_GETCURSEL, 0, 0);
    if (i == CB_ERR) return {};
    std::wstring name(std::size_t(::SendMessageW(users, CB_GETLBTEXTLEN, WPARAM(i), 0)) + 1, L'\0');
    name.resize(std::size_t(::SendMessageW(users, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(name.data()))));
    return Narrow(name);
}

std::string CHotSyncWindow::Handheld() const
{
    std::string dir = platform::WindowText(::GetDlgItem(Hwnd(m_Window), IDC_HANDHELD));
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!dir.empty() && blank(dir.back())) dir.pop_back();
    dir.erase(dir.begin(), std::find_if_not(dir.begin(), dir.end(), blank));
    return dir;
}

void CHotSyncWindow::SetHandheld(const std::string& dir)
{
    ::SetDlgItemTextW(Hwnd(m_Window), IDC_HANDHELD, Wide(dir).c_str());
}

// Each user's handheld folder, in the home's hotsync-gui.ini as hotsync-gui
// keeps it: [Handhelds], the user's name in hexadecimal.
std::wstring CHotSyncWindow::SettingsPath() const
{
    return Wide(platform::JoinPath(m_Sync.Home(), "hotsync-gui.ini"));
}

std::wstring CHotSyncWindow::SettingsKey() const
{
    return Wide(Hex(CurrentUser()));
}

void CHotSyncWindow::UserChanged()
{
    const std::wstring key = SettingsKey();
    if (!key.empty()) {
        wchar_t dir[MAX_PATH * 4] = {};
        ::GetPrivateProfileStringW(L"Handhelds", key.c_str(), L"", dir, DWORD(std::size(dir)), SettingsPath().c_str());
        ::SetDlgItemTextW(Hwnd(m_Window), IDC_HANDHELD, dir);
    }
    ::EnableWindow(::GetDlgItem(Hwnd(m_Window), IDC_SYNC), !key.empty() && !m_Run.joinable());
}

void CHotSyncWindow::Browse()
{
    const std::wstring title = MessageOr(4020, "The handheld's folder");
    wchar_t name[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = Hwnd(m_Window);
    info.pszDisplayName = name;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (!chosen) return;
    wchar_t path[MAX_PATH] = {};
    if (::SHGetPathFromIDListW(chosen, path)) ::SetDlgItemTextW(Hwnd(m_Window), IDC_HANDHELD, path);
    ::CoTaskMemFree(chosen);
}

void CHotSyncWindow::SetOutcome(const std::wstring& text, const CRunLook* look)
{
    m_OutcomeLook.reset();
    if (look) m_OutcomeLook = *look;
    HWND outcome = ::GetDlgItem(Hwnd(m_Window), IDC_OUTCOME);
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageW(Hwnd(m_Window), WM_GETFONT, 0, 0));
    if (look && look->strong && m_StrongFont) font = m_StrongFont.get();
    ::SendMessageW(outcome, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SetWindowTextW(outcome, text.c_str());
    ::InvalidateRect(outcome, nullptr, TRUE);
}

std::intptr_t CHotSyncWindow::OutcomeColours(std::intptr_t dc, std::intptr_t control) const
{
    if (!m_OutcomeLook || ::GetDlgCtrlID(reinterpret_cast<HWND>(control)) != IDC_OUTCOME) return FALSE;
    const auto hdc = reinterpret_cast<HDC>(dc);
    ::SetTextColor(hdc, Colour(m_OutcomeLook->colour));
    ::SetBkColor(hdc, ::GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<std::intptr_t>(::GetSysColorBrush(COLOR_BTNFACE));
}

std::intptr_t CHotSyncWindow::DrawLogRow(std::intptr_t item) const
{
    const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(item);
    if (d->itemID == UINT(-1)) return TRUE;
    HDC dc = d->hDC;
    RECT row = d->rcItem;
    ::FillRect(dc, &row, ::GetSysColorBrush(COLOR_WINDOW));
    const CRunLook look = d->itemID < m_RowLooks.size() ? m_RowLooks[d->itemID] : CRunLook::OfNote();
    const int icon = ::GetSystemMetrics(SM_CXSMICON);
    DrawIcon(dc, look.icon, row.left + 2, row.top + (row.bottom - row.top - icon) / 2, icon);
    std::wstring text(std::size_t(::SendMessageW(d->hwndItem, LB_GETTEXTLEN, d->itemID, 0)) + 1, L'\0');
    text.resize(std::size_t(::SendMessageW(d->hwndItem, LB_GETTEXT, d->itemID, reinterpret_cast<LPARAM>(text.data()))));
    row.left += icon + 6;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, Colour(look.colour));
    ::DrawTextW(dc, text.c_str(), int(text.size()), &row, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
    return TRUE;
}

bool CHotSyncWindow::StartSync()
{
    const std::string user = CurrentUser();
    if (m_Run.joinable() || user.empty()) return false;
    const std::string dir = platform::NativePath(Handheld());
    if (dir.empty()) {
        SetOutcome(MessageOr(4021, "Choose the handheld's folder first."));
        return false;
    }
    ::WritePrivateProfileStringW(L"Handhelds", SettingsKey().c_str(), Wide(dir).c_str(), SettingsPath().c_str());
    ::EnableWindow(::GetDlgItem(Hwnd(m_Window), IDC_SYNC), FALSE);
    SetOutcome(MessageOr(4022, "Synchronizing %s ...", dir));
    ::SendDlgItemMessageW(Hwnd(m_Window), IDC_LOG, LB_RESETCONTENT, 0, 0);
    m_RowLooks.clear();
    m_Run = std::thread([this, user, dir] {
        CWindowSync::Result result = m_Sync.Run(user, dir);
        {
            std::lock_guard lock(m_Mutex);
            m_Result = std::move(result);
        }
        ::PostMessageW(Hwnd(m_Window), kRunDone, 0, 0);
    });
    return true;
}

void CHotSyncWindow::Finished()
{
    if (m_Run.joinable()) m_Run.join();
    CWindowSync::Result result;
    {
        std::lock_guard lock(m_Mutex);
        result = m_Result;
    }
    ShowLog(result);
    ShowVerdict(result);
    UserChanged();
    if (m_CloseAfterRun) ::DestroyWindow(Hwnd(m_Window));
}

void CHotSyncWindow::ShowVerdict(const CWindowSync::Result& result)
{
    // The verdict first, then what became of each order, as the log ends.
    std::string text = result.headline;
    for (const std::string& order : result.orders) text += "\n" + order;
    SetOutcome(Wide(text), &result.look);
}

void CHotSyncWindow::ShowLog(const CWindowSync::Result& result)
{
    HWND log = ::GetDlgItem(Hwnd(m_Window), IDC_LOG);
    ::SendMessageW(log, LB_RESETCONTENT, 0, 0);
    m_RowLooks.clear();
    struct Row {
        std::wstring text;
        int activity;
    };
    std::vector<Row> rows;
    for (const CWindowSync::Line& line : result.lines) {
        // One line each: a log text may hold several.
        std::wstring text = Wide(line.text);
        std::replace(text.begin(), text.end(), L'\n', L' ');
        rows.push_back({std::move(text), line.activity});
        m_RowLooks.push_back(line.look);
    }
    for (const std::string& n : result.notes) {
        rows.push_back({Wide(n), -1});
        m_RowLooks.push_back(CRunLook::OfNote());
    }
    // Wide enough to scroll to the end of the longest line.
    HDC dc = ::GetDC(log);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(log, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (const Row& row : rows) {
        // The activity code rides with each row, for whoever reads the list.
        const LRESULT i = ::SendMessageW(log, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.text.c_str()));
        if (i >= 0) ::SendMessageW(log, LB_SETITEMDATA, WPARAM(i), LPARAM(row.activity));
        SIZE size{};
        if (::GetTextExtentPoint32W(dc, row.text.c_str(), int(row.text.size()), &size)) widest = std::max(widest, size.cx);
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(log, dc);
    ::SendMessageW(log, LB_SETHORIZONTALEXTENT, WPARAM(widest + ::GetSystemMetrics(SM_CXSMICON) + 12), 0);
}

namespace {

struct RestoreChoice {
    std::wstring prompt;
    std::vector<std::wstring> items;
    int chosen = -1;
};

INT_PTR CALLBACK RestoreProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        const auto* c = reinterpret_cast<const RestoreChoice*>(lParam);
        ::SetWindowTextW(dlg, MessageOr(4027, "Restore a backup").c_str());
        ::SetDlgItemTextW(dlg, IDC_RESTORE_PROMPT, c->prompt.c_str());
        for (const std::wstring& item : c->items)
            ::SendDlgItemMessageW(dlg, IDC_GENERATIONS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        ::SendDlgItemMessageW(dlg, IDC_GENERATIONS, LB_SETCURSEL, 0, 0);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    auto* c = reinterpret_cast<RestoreChoice*>(::GetWindowLongPtrW(dlg, DWLP_USER));
    const bool chosen = LOWORD(wParam) == IDOK || (LOWORD(wParam) == IDC_GENERATIONS && HIWORD(wParam) == LBN_DBLCLK);
    if (chosen) {
        c->chosen = int(::SendDlgItemMessageW(dlg, IDC_GENERATIONS, LB_GETCURSEL, 0, 0));
        ::EndDialog(dlg, IDOK);
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dlg, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void CHotSyncWindow::RestoreBackup()
{
    if (m_Run.joinable()) return;
    const std::wstring caption = MessageOr(4027, "Restore a backup");
    auto say = [&](const std::wstring& text, UINT icon) {
        ::MessageBoxW(Hwnd(m_Window), text.c_str(), caption.c_str(), icon);
    };
    const std::string user = CurrentUser();
    const std::string dir = platform::NativePath(Handheld());
    std::vector<CWindowSync::Backup> backups;
    std::string error;
    if (user.empty() || dir.empty() || !m_Sync.Backups(user, dir, backups, error)) {
        if (!error.empty())
            say(Wide(error), MB_ICONWARNING);
        else
            say(MessageOr(4028, "Choose the HotSync user and the handheld first."), MB_ICONINFORMATION);
        return;
    }
    if (backups.empty()) {
        say(MessageOr(4029, "No backup of %s for %s: each synchronization makes one first.", dir, user),
            MB_ICONINFORMATION);
        return;
    }
    RestoreChoice choice;
    choice.prompt = MessageOr(4031, "Put this backup back onto %s (newest first):", dir);
    for (std::size_t i = 0; i < backups.size(); ++i)
        choice.items.push_back(MessageOr(4030, "%u  %s  (%u databases)", i + 1, backups[i].date, backups[i].databases));
    if (::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_RESTORE), Hwnd(m_Window), &RestoreProc,
                          reinterpret_cast<LPARAM>(&choice)) != IDOK ||
        choice.chosen < 0 || std::size_t(choice.chosen) >= backups.size())
        return;
    const std::size_t index = std::size_t(choice.chosen);
    const int count = m_Sync.Restore(user, dir, index, error);
    if (count == CWindowSync::kBusy)
        say(MessageOr(4032, "The handheld %s is busy with another run.", dir), MB_ICONWARNING);
    else if (count < 0)
        say(MessageOr(4033, "Restore stopped: %s", error), MB_ICONWARNING);
    else
        SetOutcome(MessageOr(4034, "Restored %d databases of %s onto %s.", count, backups[index].date, dir));
}

void CHotSyncWindow::Close()
{
    if (m_Run.joinable()) {
        // The run holds the handheld: it ends through its own "Abandon".
        std::wstring abandon = MessageOr(2083, "Abandon");
        std::erase(abandon, L'&');
        SetOutcome(MessageOr(4035, "A synchronization is running: press \"%s\" in its window to stop it first.",
                             Narrow(abandon)));
        return;
    }
    ::DestroyWindow(Hwnd(m_Window));
}
