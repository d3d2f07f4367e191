// The progress monitor of a run: the UI host's progress view, with the
// window handle that receives the server client's data messages. Status
// line 2, bar 2 and the cancel state are used from the worker thread too.
#pragma once
#include <atomic>
#include <memory>
#include <string>

#include "platform/Ui.h"
#include "platform/Window.h"

class CNorvCondMonitor {
public:
    CNorvCondMonitor();
    virtual ~CNorvCondMonitor();
    CNorvCondMonitor(const CNorvCondMonitor&) = delete;
    CNorvCondMonitor& operator=(const CNorvCondMonitor&) = delete;

    void Create(const std::string& text);
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
    void SetCancel(bool cancelled);

private:
    std::unique_ptr<platform::IProgressView> m_View;
    HWND m_Window = nullptr;
};
