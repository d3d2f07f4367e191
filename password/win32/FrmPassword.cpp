#include "password/win32/FrmPassword.h"

#include <commctrl.h>
#include <strings.h>

#include <cstring>

#include "lexmo/Lexmo.h"
#include "password/PasswordActions.h"
#include "password/PasswordRegistry.h"
#include "password/win32/Artwork.h"
#include "password/win32/FrmDlgCnx.h"
#include "password/win32/FrmDlgCrtcUsr.h"
#include "password/win32/FrmDlgSrv.h"
#include "password/win32/WinMsgBox.h"
#include "platform/ui/win32/WideText.h"

using formlayout::kPassword;
using platform::Wide;

namespace {

bool SameName(const std::string& a, const std::string& b)
{
    return ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

// The pages, in the page control's order.
constexpr const char* kPageNames[] = {"tabNorveliaLogin", "tabCheckConnection", "tabServers"};
constexpr const char* kServerButtons[] = {"btnCreateServer", "btnDeleteServer", "btnModifyServer",
                                          "btnDefaultServer"};

} // namespace

TfrmPassword::TfrmPassword()
    : m_Form(kPassword), m_DlgSrv(std::make_unique<TfrmDlgSrv>(*this)), m_DlgCnx(std::make_unique<TfrmDlgCnx>(*this)),
      m_DlgCrtcUsr(std::make_unique<TfrmDlgCrtcUsr>(*this))
{
}

TfrmPassword::~TfrmPassword()
{
    m_DlgCrtcUsr.reset();
    if (Window() && IsWindow(Window())) DestroyWindow(Window());
}

// ---- Windows

INT_PTR CALLBACK TfrmPassword::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<TfrmPassword*>(lParam);
        self->m_Form.Build(window, &PageProc, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<TfrmPassword*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->OnMessage(window, message, wParam, lParam) : FALSE;
}

INT_PTR CALLBACK TfrmPassword::PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(page, DWLP_USER, lParam);
        return FALSE;
    }
    auto* self = reinterpret_cast<TfrmPassword*>(GetWindowLongPtrW(page, DWLP_USER));
    if (!self) return FALSE;
    // The pages' controls speak to the window.
    if (message == WM_COMMAND || message == WM_NOTIFY || message == WM_DRAWITEM || message == WM_CONTEXTMENU)
        return self->OnMessage(page, message, wParam, lParam);
    return FALSE;
}

INT_PTR TfrmPassword::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        const std::string_view name = m_Form.Name(int(item.CtlID));
        if (name == "Image1") {
            DrawArtwork(item.hDC, item.rcItem);
            return TRUE;
        }
        for (int i = 0; i < 4; ++i) {
            if (name == kServerButtons[i]) {
                DrawServerButton(item, TServerGlyph(i));
                return TRUE;
            }
        }
        return FALSE;
    }
    case WM_CLOSE:
        if (window == Window()) FormClose();
        return TRUE;
    default: return FALSE;
    }
}

void TfrmPassword::OnCommand(int id, int code)
{
    const std::string_view name = m_Form.Name(id);
    if (name.empty()) return; // Escape and Enter on the window itself do nothing
    if (code == CBN_SELCHANGE) {
        if (name == "ComboUserList") ComboUserListChange();
        else if (name == "ComboSrvUserList") ComboSrvUserListChange();
        else if (name == "cbLanguage") cbLanguageChange();
        return;
    }
    if (code == EN_CHANGE) {
        if (name == "EdLoginNorvelia" || name == "EdNewPasswordNorvelia" || name == "EdConfirmPasswordNorvelia")
            EnableNorveliaLoginOk();
        else if (name == "edtProxyLogin" || name == "edtProxyPassword")
            edtProxyLoginChange();
        return;
    }
    if (code != BN_CLICKED) return;
    if (name == "btnNorveliaLoginOk") btnNorveliaLoginOkClick();
    else if (name == "btnCancel") btnCancelClick();
    else if (name == "rbConnectionDefault") rbConnectionDefaultClick();
    else if (name == "rbConnectionProxy") rbConnectionProxyClick();
    else if (name == "btnCheckConnectionOk") btnCheckConnectionOkClick();
    else if (name == "btnTestCnx") btnTestCnxClick();
    else if (name == "btnCreateServer") btnCreateServerClick();
    else if (name == "btnDeleteServer") btnDeleteServerClick();
    else if (name == "btnModifyServer") btnModifyServerClick();
    else if (name == "btnDefaultServer") btnDefaultServerClick();
}

bool TfrmPassword::OnNotify(const NMHDR& header)
{
    const std::string_view name = m_Form.Name(int(header.idFrom));
    if (name == "tabCtl" && header.code == TCN_SELCHANGE) {
        const int index = int(SendMessageW(header.hwndFrom, TCM_GETCURSEL, 0, 0));
        ShowPage(index);
        tabCtlChange(index);
        return true;
    }
    if (name == "ListView1" && header.code == NM_DBLCLK) {
        ListView1DblClick();
        return true;
    }
    if (name == "ListView1" && header.code == NM_RCLICK) {
        POINT at;
        GetCursorPos(&at);
        ShowServerMenu(at);
        return true;
    }
    return false;
}

// ---- Controls

bool TfrmPassword::Checked(const char* name) const
{
    return SendMessageW(Control(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool TfrmPassword::Enabled(const char* name) const
{
    return IsWindowEnabled(Control(name));
}

void TfrmPassword::Enable(const char* name, bool on)
{
    EnableWindow(Control(name), on);
}

std::string TfrmPassword::Text(const char* name) const
{
    return TextOf(Control(name));
}

void TfrmPassword::SetText(const char* name, const std::string& text)
{
    SetWindowTextW(Control(name), Shown(text).c_str());
}

std::string TfrmPassword::ChosenUser(const char* combo) const
{
    const LRESULT index = SendMessageW(Control(combo), CB_GETCURSEL, 0, 0);
    return index >= 0 && std::size_t(index) < m_Users.size() ? m_Users[std::size_t(index)] : std::string();
}

void TfrmPassword::FillUsers(const char* combo)
{
    HWND list = Control(combo);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& user : m_Users)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Shown(user).c_str()));
}

int TfrmPassword::ActivePage() const
{
    return int(SendMessageW(Control("tabCtl"), TCM_GETCURSEL, 0, 0));
}

void TfrmPassword::ShowPage(int index)
{
    SendMessageW(Control("tabCtl"), TCM_SETCURSEL, WPARAM(index), 0);
    const auto& pages = m_Form.Pages();
    for (std::size_t i = 0; i < pages.size(); ++i) ShowWindow(pages[i], int(i) == index ? SW_SHOW : SW_HIDE);
}

// ---- Messages and start-up

std::string TfrmPassword::Message(int number)
{
    KESA_GetMessage(number, m_Text, int(sizeof m_Text) - 1);
    return m_Text;
}

void TfrmPassword::ShowError(int number, HWND owner)
{
    TWinMsgBox::Show(owner ? owner : Window(), {Message(number), m_Caption, MB_OK | MB_ICONERROR});
}

void TfrmPassword::ShowInfo(int number, HWND owner)
{
    TWinMsgBox::Show(owner ? owner : Window(), {Message(number), m_InfoCaption, MB_OK | MB_ICONINFORMATION});
}

bool TfrmPassword::FormCreate()
{
    if (!CreateDialogIndirectParamW(GetModuleHandleW(nullptr), TWinForm::Template(false), nullptr, &FormProc,
                                    reinterpret_cast<LPARAM>(this)))
        return false;
    // The servers list: whole rows, its columns as drawn.
    HWND list = Control("ListView1");
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (int c = 0; c < int(std::size(formlayout::kServerColumns)); ++c) {
        const auto& def = formlayout::kServerColumns[c];
        std::wstring title = Wide(def.title);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = def.centred ? LVCFMT_CENTER : LVCFMT_LEFT;
        column.cx = def.width;
        column.pszText = title.data();
        column.iSubItem = c;
        SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(c), reinterpret_cast<LPARAM>(&column));
    }
    for (const TLanguage& language : kLanguages)
        SendMessageW(Control("cbLanguage"), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(language.name).c_str()));

    FillServerList(ReadServerNames());
    if (!InitMessages()) return false;
    SetDialogStrings();
    m_Users = HotSyncUsers();
    FillUsers("ComboUserList");
    FillUsers("ComboSrvUserList");
    Enable("btnNorveliaLoginOk", false);
    ReadConnectionPage();
    SendMessageW(Control("cbLanguage"), CB_SETCURSEL, WPARAM(CurrentLanguage()), 0);
    ShowLastTab();
    const int index = UserIndex(ReadLastUser());
    ChooseUser(index < int(m_Users.size()) ? index : -1);
    ComboUserListChange();
    ComboSrvUserListChange();
    // The keyboard starts on the first control of the page shown.
    const int page = ActivePage();
    if (page >= 0 && std::size_t(page) < m_Form.Pages().size()) {
        if (HWND first = GetNextDlgTabItem(m_Form.Pages()[std::size_t(page)], nullptr, FALSE))
            SendMessageW(Window(), WM_NEXTDLGCTL, WPARAM(first), TRUE);
    }
    return true;
}

void TfrmPassword::ChooseUser(int index)
{
    SendMessageW(Control("ComboUserList"), CB_SETCURSEL, WPARAM(index), 0);
    SendMessageW(Control("ComboSrvUserList"), CB_SETCURSEL, WPARAM(index), 0);
}

bool TfrmPassword::InitMessages()
{
    if (LoadPasswordMessages()) return true;
    TWinMsgBox::Show(nullptr, {"Norvelia messages load failure", "Error", MB_OK | MB_ICONERROR});
    return false;
}

void TfrmPassword::SetDialogStrings()
{
    char caption[65] = {};
    KESA_GetMessage(kMsgErrorCaption, caption, 64);
    if (caption[0]) std::memcpy(m_Caption, caption, sizeof caption);
    std::memset(caption, 0, sizeof caption);
    KESA_GetMessage(kMsgInfoCaption, caption, 64);
    if (caption[0]) std::memcpy(m_InfoCaption, caption, sizeof caption);
    m_Form.SetTexts([this](int number) { return Message(number); });
    HWND list = Control("ListView1");
    for (int c = 0; c < int(std::size(formlayout::kServerColumns)); ++c) {
        std::wstring title = Wide(Message(formlayout::kServerColumns[c].message));
        if (title.empty()) continue;
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = title.data();
        SendMessageW(list, LVM_SETCOLUMNW, WPARAM(c), reinterpret_cast<LPARAM>(&column));
    }
}

void TfrmPassword::ShowLastTab()
{
    ShowPage(ReadLastActiveTab());
    // The connection page shown first starts with its proxy group hidden.
    if (ActivePage() == 1) ShowProxyGroup(false);
}

// ---- Login page

void TfrmPassword::tabCtlChange(int index)
{
    if (index == 2) {
        SendMessageW(Control("ComboSrvUserList"), CB_SETCURSEL,
                     WPARAM(SendMessageW(Control("ComboUserList"), CB_GETCURSEL, 0, 0)), 0);
        ComboSrvUserListChange();
    } else if (index == 0) {
        SendMessageW(Control("ComboUserList"), CB_SETCURSEL,
                     WPARAM(SendMessageW(Control("ComboSrvUserList"), CB_GETCURSEL, 0, 0)), 0);
        ComboUserListChange();
    } else if (index == 1) {
        tabCheckConnectionEnter();
    }
}

void TfrmPassword::ComboUserListChange()
{
    HWND servers = Control("ComboServerList");
    const std::string user = ChosenUser("ComboUserList");
    if (!user.empty()) {
        m_ShownServer = ReadCurrentServer(user);
        SendMessageW(servers, CB_RESETCONTENT, 0, 0);
        SendMessageW(servers, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Shown(m_ShownServer).c_str()));
        SendMessageW(servers, CB_SETCURSEL, 0, 0);
        SetText("EdLoginNorvelia", ReadUID(m_ShownServer, user));
    } else {
        SetText("EdLoginNorvelia", "");
    }
    SetText("EdNewPasswordNorvelia", "");
    SetText("EdConfirmPasswordNorvelia", "");
    m_SelectedUser.clear();
    EnableNorveliaLoginOk();
}

void TfrmPassword::EnableNorveliaLoginOk()
{
    const std::string user = ChosenUser("ComboUserList");
    if (!user.empty()) m_SelectedUser = user;
    Enable("btnNorveliaLoginOk", LoginOkEnabled(!user.empty(), Text("EdLoginNorvelia"),
                                                Text("EdNewPasswordNorvelia"), Text("EdConfirmPasswordNorvelia")));
}

void TfrmPassword::btnNorveliaLoginOkClick()
{
    const int message = SaveLogin(ChosenUser("ComboUserList"), m_SelectedUser, m_ShownServer, Text("EdLoginNorvelia"),
                                  Text("EdNewPasswordNorvelia"), Text("EdConfirmPasswordNorvelia"));
    if (message != kMsgSaved) {
        ShowError(message);
        if (message == kMsgPasswordsDiffer) {
            SetText("EdNewPasswordNorvelia", "");
            SetText("EdConfirmPasswordNorvelia", "");
        }
        return;
    }
    ShowInfo(kMsgSaved);
    SendMessageW(Control("ComboUserList"), CB_SETCURSEL, WPARAM(-1), 0);
    ComboUserListChange();
    SendMessageW(Control("ComboServerList"), CB_RESETCONTENT, 0, 0);
    m_ShownServer.clear();
    Enable("btnNorveliaLoginOk", false);
}

void TfrmPassword::SaveState()
{
    const int page = ActivePage();
    WriteLastState(page, ChosenUser(page == 2 ? "ComboSrvUserList" : "ComboUserList"));
}

void TfrmPassword::btnCancelClick()
{
    SaveState();
    if (Enabled("btnNorveliaLoginOk") || Enabled("btnCheckConnectionOk")) {
        const int answer = TWinMsgBox::Show(
            Window(), {Message(kMsgUnsavedInput), m_Caption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2});
        if (answer != IDYES) return;
    }
    m_QuitRequested = true;
    FormClose();
}

void TfrmPassword::FormClose()
{
    SaveState();
    if (HWND users = m_DlgCrtcUsr->Window()) ShowWindow(users, SW_HIDE);
    DestroyWindow(Window());
    // The program's loop ends with the window.
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

// ---- Connection page

void TfrmPassword::ReadConnectionPage()
{
    if (m_Connection.Read()) {
        SetText("edtProxyLogin", m_Connection.ProxyUser());
        SetText("edtProxyPassword", m_Connection.ProxyPassword());
    }
    const bool proxy = m_Connection.Mode() != 0;
    CheckRadioButton(GetParent(Control("rbConnectionDefault")), m_Form.Id("rbConnectionDefault"),
                     m_Form.Id("rbConnectionProxy"), m_Form.Id(proxy ? "rbConnectionProxy" : "rbConnectionDefault"));
    tabCheckConnectionEnter();
    Enable("btnCheckConnectionOk", false);
}

void TfrmPassword::ShowProxyGroup(bool show)
{
    // The group and the controls placed in it.
    for (const TControlDef& def : kPassword.controls)
        if (std::strcmp(def.parent, "gbxProxyLogin") == 0 || std::strcmp(def.name, "gbxProxyLogin") == 0)
            ShowWindow(Control(def.name), show ? SW_SHOW : SW_HIDE);
}

void TfrmPassword::tabCheckConnectionEnter()
{
    ShowProxyGroup(Checked("rbConnectionProxy"));
}

void TfrmPassword::rbConnectionDefaultClick()
{
    tabCheckConnectionEnter();
    Enable("btnCheckConnectionOk", m_Connection.DefaultChosen());
}

void TfrmPassword::rbConnectionProxyClick()
{
    tabCheckConnectionEnter();
    Enable("btnCheckConnectionOk", m_Connection.ProxyChosen(Text("edtProxyLogin"), Text("edtProxyPassword")));
}

void TfrmPassword::edtProxyLoginChange()
{
    Enable("btnCheckConnectionOk", TConnectionChoice::FieldsChanged(Text("edtProxyLogin"), Text("edtProxyPassword")));
}

void TfrmPassword::btnCheckConnectionOkClick()
{
    const bool proxy = Checked("rbConnectionProxy");
    if (!proxy && !Checked("rbConnectionDefault")) return;
    const int message = m_Connection.Save(proxy, Text("edtProxyLogin"), Text("edtProxyPassword"));
    if (message != kMsgSaved) {
        ShowError(message);
        return;
    }
    Enable("btnCheckConnectionOk", false);
    ShowInfo(kMsgSaved);
}

void TfrmPassword::cbLanguageChange()
{
    const int message = SaveLanguage(int(SendMessageW(Control("cbLanguage"), CB_GETCURSEL, 0, 0)));
    if (message == kMsgSaved) ShowInfo(message);
    else if (message != 0) ShowError(message);
}

void TfrmPassword::btnTestCnxClick()
{
    const std::string url = ConnexionTestUrl(ChosenUser("ComboSrvUserList"));
    std::wstring dir = Wide(m_ProgramDir);
    if (dir.empty()) {
        wchar_t path[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
        dir.assign(path, n);
        dir.resize(dir.find_last_of(L"\\/") == std::wstring::npos ? 0 : dir.find_last_of(L"\\/"));
    }
    // The program's path quoted, for the blanks a folder may hold; then the
    // URL, blanks included, which the test program takes whole.
    std::wstring command = L"\"" + dir + L"\\NvConnexion.exe\"";
    if (!url.empty()) command += L" " + Shown(url);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    // The test program reports on its own; nothing is waited for or read back.
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

// ---- Servers page

void TfrmPassword::ComboSrvUserListChange()
{
    RefreshServerList(ChosenUser("ComboSrvUserList"));
}

void TfrmPassword::ShowServerMenu(POINT at)
{
    HMENU menu = CreatePopupMenu();
    const bool chosen = !ChosenUser("ComboSrvUserList").empty();
    for (int i = 0; i < int(std::size(formlayout::kServerMenu)); ++i)
        AppendMenuW(menu, MF_STRING | (chosen ? 0 : MF_GRAYED), UINT_PTR(i + 1),
                    Wide(formlayout::kServerMenu[i].text).c_str());
    const int chosenItem = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, Window(), nullptr);
    DestroyMenu(menu);
    switch (chosenItem) {
    case 1: btnCreateServerClick(); break;
    case 2: btnDeleteServerClick(); break;
    case 3: btnModifyServerClick(); break;
    case 4: btnDefaultServerClick(); break;
    default: break;
    }
}

void TfrmPassword::FillServerList(const std::vector<std::string>& names)
{
    HWND list = Control("ListView1");
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    m_RowServers.clear();
    for (const std::string& name : names) {
        if (name.empty()) continue;
        const std::wstring text = Shown(name);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = int(m_RowServers.size());
        item.pszText = const_cast<wchar_t*>(L"");
        const int row = int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        m_RowServers.push_back(name);
        const std::wstring url = Shown(ReadServerUrl(name));
        for (const auto& [column, shown] : {std::pair{int(colServer), &text}, std::pair{int(colUrl), &url}}) {
            LVITEMW cell{};
            cell.iSubItem = column;
            cell.pszText = const_cast<wchar_t*>(shown->c_str());
            SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&cell));
        }
    }
}

void TfrmPassword::RefreshServerList(const std::string& user)
{
    HWND list = Control("ListView1");
    for (std::size_t row = 0; row < m_RowServers.size(); ++row) {
        const std::wstring login = Shown(user.empty() ? std::string() : ReadUID(m_RowServers[row], user));
        LVITEMW cell{};
        cell.iSubItem = colLogin;
        cell.pszText = const_cast<wchar_t*>(login.c_str());
        SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&cell));
    }
    MarkCurrentServer(user);
}

void TfrmPassword::MarkCurrentServer(const std::string& user)
{
    HWND list = Control("ListView1");
    const std::string current = user.empty() ? std::string() : ReadCurrentServer(user);
    for (std::size_t row = 0; row < m_RowServers.size(); ++row) {
        const bool marked = !current.empty() && SameName(m_RowServers[row], current);
        const std::wstring text = marked ? Wide(kMarker) : std::wstring();
        LVITEMW cell{};
        cell.iSubItem = colMarker;
        cell.pszText = const_cast<wchar_t*>(text.c_str());
        SendMessageW(list, LVM_SETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&cell));
    }
}

std::string TfrmPassword::FocusedServer() const
{
    const LRESULT row = SendMessageW(Control("ListView1"), LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED);
    return row >= 0 && std::size_t(row) < m_RowServers.size() ? m_RowServers[std::size_t(row)] : std::string();
}

bool TfrmPassword::FocusServer(const std::string& server)
{
    for (std::size_t row = 0; row < m_RowServers.size(); ++row) {
        if (!SameName(m_RowServers[row], server)) continue;
        LVITEMW state{};
        state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        state.state = LVIS_FOCUSED | LVIS_SELECTED;
        SendMessageW(Control("ListView1"), LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&state));
        return true;
    }
    return false;
}

void TfrmPassword::MakeDefaultServer()
{
    const std::string server = FocusedServer();
    if (server.empty()) {
        ShowError(kMsgChooseServer);
        return;
    }
    const std::string user = ChosenUser("ComboSrvUserList");
    WriteCurrentServer(user, server);
    MarkCurrentServer(user);
    if (m_DlgCrtcUsr->Window() && IsWindowVisible(m_DlgCrtcUsr->Window())) m_DlgCrtcUsr->Refill();
}

void TfrmPassword::btnCreateServerClick()
{
    if (ChosenUser("ComboSrvUserList").empty()) {
        ShowError(kMsgChooseUser);
        return;
    }
    const std::string server = FocusedServer();
    m_DlgSrv->SetFields(server, server.empty() ? std::string() : ReadServerUrl(server));
    m_DlgSrv->ShowModal();
}

void TfrmPassword::btnModifyServerClick()
{
    const std::string user = ChosenUser("ComboSrvUserList");
    if (user.empty()) {
        ShowError(kMsgChooseUser);
        return;
    }
    const std::string server = FocusedServer();
    if (server.empty()) {
        ShowError(kMsgChooseServer);
        return;
    }
    m_DlgCnx->SetServerAndUser(server, user);
    m_DlgCnx->ShowModal();
}

void TfrmPassword::btnDeleteServerClick()
{
    const std::string server = FocusedServer();
    if (server.empty()) {
        ShowError(kMsgChooseServer);
        return;
    }
    if (!DeleteServer(server).empty()) {
        ShowError(kMsgServerInUse);
        m_DlgCrtcUsr->ShowFor(server);
        return;
    }
    FillServerList(ReadServerNames());
    RefreshServerList(ChosenUser("ComboSrvUserList"));
}

void TfrmPassword::btnDefaultServerClick()
{
    if (ChosenUser("ComboSrvUserList").empty()) {
        ShowError(kMsgChooseUser);
        return;
    }
    MakeDefaultServer();
}

void TfrmPassword::ListView1DblClick()
{
    const std::string user = ChosenUser("ComboSrvUserList");
    const std::string server = FocusedServer();
    if (!server.empty() && !user.empty() && !ReadUID(server, user).empty())
        MakeDefaultServer();
    else
        btnModifyServerClick();
}
