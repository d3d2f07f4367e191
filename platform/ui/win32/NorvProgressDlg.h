// The progress dialog of a synchronization on Windows: dialog resource 129,
// the cycling icon on its 250 ms timer, the animation, bitmap 130 drawn with
// white as its transparent colour, and the "Abandon" button. Its window
// belongs to the host's GUI thread; every call goes there, except for the
// cancel flag, which other threads read directly.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "seam/Ui.h"

namespace platform {
class CWin32UiHost;
}

class CNorvProgressDlg final : public platform::IProgressView {
public:
    static constexpr int kIconTimerId = 1;
    static constexpr int kIconPeriodMs = 250;
    static constexpr int kAnimationTimerId = 2;
    static constexpr int kAnimationPeriodMs = 100;

    // Creates the dialog, hidden, on the host's GUI thread; Window() is null
    // when it could not be made.
    CNorvProgressDlg(platform::CWin32UiHost& host, HINSTANCE resources);
    ~CNorvProgressDlg() override;
    CNorvProgressDlg(const CNorvProgressDlg&) = delete;
    CNorvProgressDlg& operator=(const CNorvProgressDlg&) = delete;

    HWND Window() const { return m_Window; }

    void SetTitle(const std::string& title) override;
    void SetCancelText(const std::string& text) override;
    void SetStatus1(const std::string& text) override;
    void SetStatus2(const std::string& text) override;
    void SetRange1(long low, long high) override;
    void SetRange2(long low, long high) override;
    void SetPos1(long pos) override;
    void SetPos2(long pos) override;
    void ShowBar1(bool show) override;
    void ShowBar2(bool show) override;
    // Centres the dialog on the desktop, shows it above the others and paints it at once.
    void Show() override;
    void Hide() override;
    bool IsCancelled() const override { return m_Cancel.load(); }
    // False also enables "Abandon" again.
    void SetCancel(bool cancelled) override;
    bool IsInteractive() const override { return true; }

    // What "Abandon" (or closing the window) does: the flag set, the button disabled.
    void OnAbandon();
    // What the icon timer does: shows the icon of the index, then advances it.
    void OnTimer();
    // The icon resource shown now (133 to 138), and the index of the next one.
    int CurrentIcon() const { return m_ShownIcon.load(); }
    int IconIndex() const { return m_IconIndex.load(); }
    int AnimationFrame() const { return m_Frame.load(); }
    // Where bitmap 130 is painted, in client pixels.
    RECT BitmapRect() const { return m_BitmapRect; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Init();
    void Paint();
    void SetText(int id, const std::string& text);
    void OnGui(const std::function<void()>& call);

    platform::CWin32UiHost& m_Host;
    HWND m_Window = nullptr;
    std::atomic<bool> m_Cancel{false};
    std::atomic<int> m_IconIndex{0};
    std::atomic<int> m_ShownIcon{0};
    std::atomic<int> m_Frame{0};
    RECT m_BitmapRect{};
    HBITMAP m_Bitmap = nullptr;
    HICON m_Icons[6] = {};
};
