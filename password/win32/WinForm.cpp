#include "password/win32/WinForm.h"

#include <commctrl.h>

#include "platform/ui/win32/WideText.h"

using platform::Wide;

namespace {

struct alignas(4) EmptyTemplate {
    DLGTEMPLATE head;
    WORD menu, windowClass, title;
};

// A form of the platform's dialog look: the font "MS Sans Serif" at 8 points.
HFONT MakeFont(bool bold, bool italic)
{
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       L"MS Sans Serif");
}

bool Defines(const TControlDef& def, std::string_view name)
{
    return name == def.name;
}

} // namespace

std::string TextOf(HWND window)
{
    return platform::WindowText(window);
}

std::wstring Shown(const std::string& bytes)
{
    if (bytes.empty()) return {};
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0) > 0)
        return Wide(bytes);
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring w(std::size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), w.data(), n);
    return w;
}

TWinForm::~TWinForm()
{
    if (m_Tips) DestroyWindow(m_Tips);
    for (HFONT f : {m_Font, m_Bold, m_BoldItalic})
        if (f) DeleteObject(f);
}

const DLGTEMPLATE* TWinForm::Template(bool page)
{
    static const EmptyTemplate window{
        {WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_CENTER, WS_EX_CONTROLPARENT, 0, 0,
         0, 100, 100},
        0, 0, 0};
    static const EmptyTemplate child{
        {WS_CHILD | WS_CLIPSIBLINGS | DS_CONTROL, WS_EX_CONTROLPARENT, 0, 0, 0, 100, 100}, 0, 0, 0};
    return page ? &child.head : &window.head;
}

HFONT TWinForm::FontFor(unsigned style) const
{
    if ((style & kBold) && (style & kItalic)) return m_BoldItalic;
    return (style & kBold) ? m_Bold : m_Font;
}

void TWinForm::Build(HWND window, DLGPROC pageProc, LPARAM pageParam)
{
    m_Window = window;
    m_Font = MakeFont(false, false);
    m_Bold = MakeFont(true, false);
    m_BoldItalic = MakeFont(true, true);
    SendMessageW(window, WM_SETFONT, WPARAM(m_Font), FALSE);
    SetWindowTextW(window, Wide(m_Form.title).c_str());
    // The client area the form gives, whatever the frame around it.
    RECT frame{0, 0, m_Form.width, m_Form.height};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_Tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, nullptr, nullptr);
    m_TipTexts.resize(m_Form.controls.size());

    m_Controls.assign(m_Form.controls.size(), nullptr);
    for (std::size_t i = 0; i < m_Form.controls.size(); ++i) {
        const TControlDef& def = m_Form.controls[i];
        HWND parent = window;
        int x = def.x, y = def.y;
        if (*def.parent) {
            // A page's controls go on the page; a group's beside it, inside its frame.
            const std::size_t p = std::size_t(Id(def.parent) - kFirstId);
            const TControlDef& owner = m_Form.controls[p];
            if (owner.kind == TControlKind::Group) {
                parent = GetParent(m_Controls[p]);
                x += owner.x;
                y += owner.y;
            } else if (owner.kind == TControlKind::PageControl) {
                x += owner.x;
                y += owner.y;
            } else {
                parent = m_Controls[p];
            }
        }
        m_Controls[i] = Make(def, i, parent, x, y, pageProc, pageParam);
    }
    // The page control below its pages, the form's own buttons above them.
    for (std::size_t i = 0; i < m_Form.controls.size(); ++i) {
        const TControlDef& def = m_Form.controls[i];
        if (def.kind == TControlKind::PageControl)
            SetWindowPos(m_Controls[i], HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        else if (!*def.parent && def.kind == TControlKind::Button)
            SetWindowPos(m_Controls[i], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

HWND TWinForm::Make(const TControlDef& def, std::size_t index, HWND parent, int x, int y, DLGPROC pageProc,
                    LPARAM pageParam)
{
    const HMENU id = reinterpret_cast<HMENU>(INT_PTR(kFirstId + int(index)));
    const std::wstring text = Wide(def.text);
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD ex = 0;
    const wchar_t* cls = L"STATIC";
    int height = def.height;
    // A radio button starts a group only after a control that is not one.
    const bool groupStart = !(def.kind == TControlKind::Radio && index > 0 &&
                              m_Form.controls[index - 1].kind == TControlKind::Radio);
    if (groupStart) style |= WS_GROUP;
    switch (def.kind) {
    case TControlKind::Image: style |= SS_OWNERDRAW; break;
    case TControlKind::PageControl:
        cls = WC_TABCONTROLW;
        style |= WS_CLIPSIBLINGS | WS_TABSTOP;
        break;
    case TControlKind::Page: {
        HWND page = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), Template(true), parent, pageProc,
                                               pageParam);
        SetWindowLongPtrW(page, GWLP_ID, LONG_PTR(kFirstId + int(index)));
        SetWindowPos(page, nullptr, x, y, def.width, def.height, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(page, WM_SETFONT, WPARAM(m_Font), FALSE);
        const std::size_t tab = std::size_t(Id(def.parent) - kFirstId);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        std::wstring tabText = text;
        item.pszText = tabText.data();
        SendMessageW(m_Controls[tab], TCM_INSERTITEMW, WPARAM(m_Pages.size()), reinterpret_cast<LPARAM>(&item));
        ShowWindow(page, m_Pages.empty() ? SW_SHOW : SW_HIDE);
        m_Pages.push_back(page);
        return page;
    }
    case TControlKind::Label:
        style |= SS_NOPREFIX | ((def.style & kCentered) ? SS_CENTER : SS_LEFT);
        if (!(def.style & kWrap)) style |= SS_CENTERIMAGE;
        if (def.hint) style |= SS_NOTIFY;
        break;
    case TControlKind::Group:
        cls = L"BUTTON";
        style |= BS_GROUPBOX;
        break;
    case TControlKind::Edit:
        cls = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL | ((def.style & kMasked) ? ES_PASSWORD : 0);
        ex |= WS_EX_CLIENTEDGE;
        break;
    case TControlKind::ComboList:
        cls = L"COMBOBOX";
        style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
        height += 160; // the list that drops down
        break;
    case TControlKind::Button:
        cls = L"BUTTON";
        style |= WS_TABSTOP | ((def.style & kDefault) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        break;
    case TControlKind::IconButton:
        cls = L"BUTTON";
        style |= WS_TABSTOP | BS_OWNERDRAW;
        break;
    case TControlKind::Radio:
        cls = L"BUTTON";
        style |= BS_AUTORADIOBUTTON | (groupStart ? WS_TABSTOP : 0);
        break;
    case TControlKind::Check:
        cls = L"BUTTON";
        style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
    case TControlKind::ListBox:
        cls = L"LISTBOX";
        style |= WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
        break;
    case TControlKind::ListView:
        cls = WC_LISTVIEWW;
        style |= WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
        break;
    }
    if (def.style & kDisabled) style |= WS_DISABLED;
    HWND control = CreateWindowExW(ex, cls, def.kind == TControlKind::Image ? L"" : text.c_str(), style, x, y,
                                   def.width, height, parent, id, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, WPARAM(FontFor(def.style)), FALSE);
    if (def.style & kMasked) SendMessageW(control, EM_SETPASSWORDCHAR, WPARAM(L'*'), 0);
    if (def.hint) {
        m_TipTexts[index] = Wide(def.hint);
        TOOLINFOW tip{};
        tip.cbSize = sizeof tip;
        tip.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tip.hwnd = parent;
        tip.uId = reinterpret_cast<UINT_PTR>(control);
        tip.lpszText = m_TipTexts[index].data();
        SendMessageW(m_Tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
    }
    return control;
}

HWND TWinForm::Control(std::string_view name) const
{
    const int id = Id(name);
    return id ? m_Controls[std::size_t(id - kFirstId)] : nullptr;
}

int TWinForm::Id(std::string_view name) const
{
    for (std::size_t i = 0; i < m_Form.controls.size(); ++i)
        if (Defines(m_Form.controls[i], name)) return kFirstId + int(i);
    return 0;
}

std::string_view TWinForm::Name(int id) const
{
    const int i = id - kFirstId;
    return i >= 0 && std::size_t(i) < m_Form.controls.size() ? m_Form.controls[std::size_t(i)].name : "";
}

void TWinForm::SetText(std::string_view name, const std::string& text)
{
    const int id = Id(name);
    if (!id || text.empty()) return;
    const std::size_t i = std::size_t(id - kFirstId);
    const TControlDef& def = m_Form.controls[i];
    std::wstring w = Wide(text);
    if (def.kind == TControlKind::Page) {
        // The page's tab carries its text.
        const std::size_t tab = std::size_t(Id(def.parent) - kFirstId);
        for (std::size_t p = 0; p < m_Pages.size(); ++p) {
            if (m_Pages[p] != m_Controls[i]) continue;
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = w.data();
            SendMessageW(m_Controls[tab], TCM_SETITEMW, WPARAM(p), reinterpret_cast<LPARAM>(&item));
        }
        return;
    }
    SetWindowTextW(m_Controls[i], w.c_str());
}

void TWinForm::SetHint(std::string_view name, const std::string& text)
{
    const int id = Id(name);
    if (!id || text.empty() || !m_Tips) return;
    const std::size_t i = std::size_t(id - kFirstId);
    m_TipTexts[i] = Wide(text);
    TOOLINFOW tip{};
    tip.cbSize = sizeof tip;
    tip.hwnd = GetParent(m_Controls[i]);
    tip.uId = reinterpret_cast<UINT_PTR>(m_Controls[i]);
    tip.lpszText = m_TipTexts[i].data();
    SendMessageW(m_Tips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tip));
}

void TWinForm::SetTexts(const std::function<std::string(int)>& message)
{
    if (const std::string title = message(m_Form.titleMessage); !title.empty())
        SetWindowTextW(m_Window, Wide(title).c_str());
    for (const TControlDef& def : m_Form.controls) {
        if (def.message) SetText(def.name, message(def.message));
        if (def.hintMessage) SetHint(def.name, message(def.hintMessage));
    }
}
