// The progress monitor of a run: the UI host's progress view, with the
// window handle that receives the server client's data messages. Status
// line 2, bar 2 and the cancel state are used from the worker thread too,
// so the views of every host are safe to call from both threads.
#pragma once
#include <memory>
#include <string>

#include "seam/Ui.h"
#include "seam/Window.h"

class CNorvCondMonitor {
public:
    // A data message: a 32-bit kind, then a 256-byte zero-terminated text.
    static constexpr DWORD kDataMessageSize = 260;

    CNorvCondMonitor();
    virtual ~CNorvCondMonitor();
    CNorvCondMonitor(const CNorvCondMonitor&) = delete;
    CNorvCondMonitor& operator=(const CNorvCondMonitor&) = delete;

    // The first call makes the view and its window; every call shows `text`
    // on both status lines.
    void Create(const std::string& text);
    // Removes the view and its window; nothing when never created.
    void Destroy();
    HWND GetWindow() const;

    void SetStatus1(const std::string& text);
    void SetStatus2(const std::string& text);
    void SetRange1(long low, long high);
    void SetRange2(long low, long high);
    void SetPos1(long position);
    void SetPos2(long position);
    void ShowBar1(bool show);
    void ShowBar2(bool show);
    bool IsCancelled() const;
    // False also enables the "Abandon" button again.
    void SetCancel(bool cancelled);

    // The window's copy-data handler: kinds 1 and 2 of exactly 260 bytes set
    // status line 1; anything else is ignored. Returns 1 when used.
    LRESULT OnCopyData(const COPYDATASTRUCT& data);

protected:
    // Waits so that a person can read what the view just showed.
    virtual void Sleep(int milliseconds) const;

private:
    // Sleeps only for a view that a person watches.
    void Pause(int milliseconds) const;

    std::unique_ptr<platform::IProgressView> m_View;
    HWND m_Window = nullptr;
};
