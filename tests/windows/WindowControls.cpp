// window-controls.exe TITLE [WIDTH HEIGHT]: waits up to 30 s for a top-level
// window of that title, then prints what a person sees of it: one line
// "client W H" (with WIDTH and HEIGHT in dialog units, also "expected W H",
// the size they make in "MS Sans Serif" 8, measured on a dialog of our own), then one line per control, "CLASS ID
// visible|hidden TEXT", and after a list box one line per row, "item ID DATA TEXT". For the Wine tests, which drive
// the windows with xdotool and read them here.
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cwchar>
#include <string>

namespace {

// A list box's rows: the text of each and the number it carries.
void PrintRows(HWND list)
{
    DWORD_PTR count = 0;
    if (!::SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count)) return;
    for (DWORD_PTR i = 0; i < count && i < 1000; ++i) {
        DWORD_PTR length = 0, data = 0;
        ::SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 2000, &length);
        if (length == DWORD_PTR(LB_ERR)) length = 0;
        std::wstring row(std::size_t(length) + 1, L'\0');
        if (!::SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(row.data()), SMTO_ABORTIFHUNG, 2000,
                                   &length) ||
            length == DWORD_PTR(LB_ERR))
            length = 0;
        row.resize(std::min<std::size_t>(std::size_t(length), row.size()));
        ::SendMessageTimeoutW(list, LB_GETITEMDATA, i, 0, SMTO_ABORTIFHUNG, 2000, &data);
        std::printf("item %d %ld %ls\n", ::GetDlgCtrlID(list), long(LONG_PTR(data)), row.c_str());
    }
}

BOOL CALLBACK PrintControl(HWND control, LPARAM)
{
    wchar_t cls[64] = {};
    ::GetClassNameW(control, cls, 64);
    // Asked of the control itself: another process's edit keeps its text.
    std::wstring text(1024, L'\0');
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                               SMTO_ABORTIFHUNG, 2000, &length))
        length = 0;
    text.resize(std::size_t(length));
    for (wchar_t& c : text)
        if (c == L'\n' || c == L'\r') c = L' ';
    std::printf("%ls %d %s %ls\n", cls, ::GetDlgCtrlID(control), ::IsWindowVisible(control) ? "visible" : "hidden",
                text.c_str());
    if (std::wcscmp(cls, L"ListBox") == 0) PrintRows(control);
    return TRUE;
}

INT_PTR CALLBACK NoProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// Dialog units to pixels in the font of resource 129, on an empty dialog
// made in memory with that font.
bool ExpectedSize(RECT& units)
{
    alignas(4) WORD buffer[64] = {};
    auto* t = reinterpret_cast<DLGTEMPLATE*>(buffer);
    t->style = DS_SETFONT | WS_POPUP;
    WORD* p = reinterpret_cast<WORD*>(t + 1);
    *p++ = 0; // no menu
    *p++ = 0; // the dialog class
    *p++ = 0; // no title
    *p++ = 8; // points
    for (const wchar_t* f = L"MS Sans Serif"; *f; ++f) *p++ = WORD(*f);
    *p++ = 0;
    HWND dialog = ::CreateDialogIndirectW(::GetModuleHandleW(nullptr), t, nullptr, &NoProc);
    if (!dialog) return false;
    const bool mapped = ::MapDialogRect(dialog, &units);
    ::DestroyWindow(dialog);
    return mapped;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: window-controls TITLE [WIDTH HEIGHT]\n");
        return 2;
    }
    HWND window = nullptr;
    for (int i = 0; i < 300 && !window; ++i) {
        window = ::FindWindowW(nullptr, argv[1]);
        if (!window) ::Sleep(100);
    }
    if (!window) {
        std::fprintf(stderr, "window-controls: no window \"%ls\"\n", argv[1]);
        return 1;
    }
    RECT client{};
    ::GetClientRect(window, &client);
    std::printf("client %ld %ld\n", client.right, client.bottom);
    if (argc == 4) {
        RECT units{0, 0, std::wcstol(argv[2], nullptr, 10), std::wcstol(argv[3], nullptr, 10)};
        if (ExpectedSize(units)) std::printf("expected %ld %ld\n", units.right, units.bottom);
    }
    ::EnumChildWindows(window, &PrintControl, 0);
    return 0;
}
