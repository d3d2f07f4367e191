#include "NorvProgressDlg.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "ProgressArt.h"
#include "Win32UiHost.h"
#include "WideText.h"
#include "resource.h"

namespace {

// Icon shown for each index of the timer.
constexpr int kIconOfIndex[6] = {138, 134, 135, 136, 137, 133};

int ClampToInt(long v)
{
    return int(std::clamp<long>(v, INT_MIN, INT_MAX));
}

} // namespace

CNorvProgressDlg::CNorvProgressDlg(platform::CWin32UiHost& host, HINSTANCE resources) : m_Host(host)
{
    m_Host.Run([&] {
        m_Window = CreateDialogParamW(resources, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, &DialogProc,
                                      reinterpret_cast<LPARAM>(this));
    });
}

CNorvProgressDlg::~CNorvProgressDlg()
{
    m_Host.Run([&] {
        if (m_Window) DestroyWindow(m_Window);
        m_Window = nullptr;
        if (m_Bitmap) DeleteObject(m_Bitmap);
        for (HICON& icon : m_Icons)
            if (icon) DestroyIcon(icon);
    });
}

void CNorvProgressDlg::OnGui(const std::function<void()>& call)
{
    m_Host.Run([&] {
        if (m_Window) call();
    });
}

INT_PTR CALLBACK CNorvProgressDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CNorvProgressDlg*>(lParam);
        self->m_Window = window;
        self->Init();
        return TRUE;
    }
    auto* self = reinterpret_cast<CNorvProgressDlg*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

void CNorvProgressDlg::Init()
{
    // The placeholder only gives the place where bitmap 130 is painted.
    HWND place = GetDlgItem(m_Window, IDC_BITMAP_PLACE);
    GetWindowRect(place, &m_BitmapRect);
    MapWindowPoints(nullptr, m_Window, reinterpret_cast<POINT*>(&m_BitmapRect), 2);
    ShowWindow(place, SW_HIDE);
    HDC dc = GetDC(m_Window);
    m_Bitmap = platform::MakeNorveliaBitmap(dc, m_BitmapRect.right - m_BitmapRect.left,
                                            m_BitmapRect.bottom - m_BitmapRect.top);
    ReleaseDC(m_Window, dc);

    RECT iconRect{};
    GetClientRect(GetDlgItem(m_Window, IDC_CYCLING_ICON), &iconRect);
    const int size = std::max<int>(16, std::min(iconRect.right, iconRect.bottom));
    for (int i = 0; i < 6; ++i) m_Icons[i] = platform::MakeProgressIcon(platform::kFirstProgressIcon + i, size);
    m_ShownIcon = kIconOfIndex[0];
    SendDlgItemMessageW(m_Window, IDC_CYCLING_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(m_Icons[m_ShownIcon - platform::kFirstProgressIcon]), 0);
    SetTimer(m_Window, kIconTimerId, kIconPeriodMs, nullptr);
    SetTimer(m_Window, kAnimationTimerId, kAnimationPeriodMs, nullptr);
}

INT_PTR CNorvProgressDlg::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == kIconTimerId) {
            OnTimer();
        } else if (wParam == kAnimationTimerId) {
            m_Frame = (m_Frame + 1) % 8;
            InvalidateRect(GetDlgItem(m_Window, IDC_ANIMATION), nullptr, FALSE);
        }
        return TRUE;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlID != IDC_ANIMATION) return FALSE;
        platform::DrawAnimationFrame(item->hDC, item->rcItem, m_Frame);
        return TRUE;
    }
    case WM_PAINT:
        Paint();
        return TRUE;
    case WM_COMMAND:
        // "Abandon", Escape and the close box all stop the run; Enter does nothing.
        if (LOWORD(wParam) == IDC_ABANDON || LOWORD(wParam) == IDCANCEL) OnAbandon();
        return TRUE;
    case WM_CLOSE:
        OnAbandon();
        return TRUE;
    case WM_DESTROY:
        KillTimer(m_Window, kIconTimerId);
        KillTimer(m_Window, kAnimationTimerId);
        return TRUE;
    default: break;
    }
    (void)lParam;
    return FALSE;
}

void CNorvProgressDlg::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_Window, &ps);
    if (m_Bitmap)
        platform::DrawTransparent(dc, m_Bitmap, m_BitmapRect.left, 5, m_BitmapRect.right - m_BitmapRect.left,
                                  m_BitmapRect.bottom - m_BitmapRect.top);
    EndPaint(m_Window, &ps);
}

void CNorvProgressDlg::OnTimer()
{
    OnGui([&] {
        const int icon = kIconOfIndex[m_IconIndex];
        SendDlgItemMessageW(m_Window, IDC_CYCLING_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(m_Icons[icon - platform::kFirstProgressIcon]), 0);
        m_ShownIcon = icon;
        m_IconIndex = (m_IconIndex + 1) % 6;
    });
}

void CNorvProgressDlg::OnAbandon()
{
    m_Cancel = true;
    OnGui([&] { EnableWindow(GetDlgItem(m_Window, IDC_ABANDON), FALSE); });
}

void CNorvProgressDlg::SetCancel(bool cancelled)
{
    m_Cancel = cancelled;
    if (!cancelled) OnGui([&] { EnableWindow(GetDlgItem(m_Window, IDC_ABANDON), TRUE); });
}

void CNorvProgressDlg::SetText(int id, const std::string& text)
{
    OnGui([&] {
        HWND control = id ? GetDlgItem(m_Window, id) : m_Window;
        SetWindowTextW(control, platform::Wide(text).c_str());
        UpdateWindow(control);
    });
}

void CNorvProgressDlg::SetTitle(const std::string& title) { SetText(0, title); }
void CNorvProgressDlg::SetCancelText(const std::string& text) { SetText(IDC_ABANDON, text); }
void CNorvProgressDlg::SetStatus1(const std::string& text) { SetText(IDC_STATUS1, text); }
void CNorvProgressDlg::SetStatus2(const std::string& text) { SetText(IDC_STATUS2, text); }

void CNorvProgressDlg::SetRange1(long low, long high)
{
    OnGui([&] { SendDlgItemMessageW(m_Window, IDC_BAR1, PBM_SETRANGE32, WPARAM(ClampToInt(low)), ClampToInt(high)); });
}

void CNorvProgressDlg::SetRange2(long low, long high)
{
    OnGui([&] { SendDlgItemMessageW(m_Window, IDC_BAR2, PBM_SETRANGE32, WPARAM(ClampToInt(low)), ClampToInt(high)); });
}

void CNorvProgressDlg::SetPos1(long pos)
{
    OnGui([&] {
        SendDlgItemMessageW(m_Window, IDC_BAR1, PBM_SETPOS, WPARAM(ClampToInt(pos)), 0);
        UpdateWindow(GetDlgItem(m_Window, IDC_BAR1));
    });
}

void CNorvProgressDlg::SetPos2(long pos)
{
    OnGui([&] {
        SendDlgItemMessageW(m_Window, IDC_BAR2, PBM_SETPOS, WPARAM(ClampToInt(pos)), 0);
        UpdateWindow(GetDlgItem(m_Window, IDC_BAR2));
    });
}

void CNorvProgressDlg::ShowBar1(bool show)
{
    OnGui([&] { ShowWindow(GetDlgItem(m_Window, IDC_BAR1), show ? SW_SHOW : SW_HIDE); });
}

void CNorvProgressDlg::ShowBar2(bool show)
{
    OnGui([&] { ShowWindow(GetDlgItem(m_Window, IDC_BAR2), show ? SW_SHOW : SW_HIDE); });
}

void CNorvProgressDlg::Show()
{
    OnGui([&] {
        // Centred on the desktop's work area, keeping its size.
        RECT work{}, own{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(m_Window, &own);
        const int w = own.right - own.left, h = own.bottom - own.top;
        SetWindowPos(m_Window, HWND_TOP, work.left + (work.right - work.left - w) / 2,
                     work.top + (work.bottom - work.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        SetActiveWindow(m_Window);
        UpdateWindow(m_Window);
    });
}

void CNorvProgressDlg::Hide()
{
    OnGui([&] { ShowWindow(m_Window, SW_HIDE); });
}
