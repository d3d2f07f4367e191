#include "conduit/NorvCondMonitor.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "lexmo/Lexmo.h"

CNorvCondMonitor::CNorvCondMonitor() = default;

CNorvCondMonitor::~CNorvCondMonitor()
{
    Destroy();
}

void CNorvCondMonitor::Create(const std::string& text)
{
    if (!m_View) {
        m_View = platform::UiHost().CreateProgressView();
        if (!m_View) return;
        m_Window = platform::RegisterWindow(
            [this](WPARAM, const COPYDATASTRUCT& data) { return OnCopyData(data); });
    }
    m_View->SetStatus1(text);
    m_View->SetStatus2(text);
    m_View->SetTitle(KESA_FormatMessage(2082));
    m_View->SetCancelText(KESA_FormatMessage(2083));
    m_View->Show();
}

void CNorvCondMonitor::Destroy()
{
    // No data message is being handled once the window is gone.
    if (m_Window) platform::UnregisterWindow(m_Window);
    m_Window = nullptr;
    if (m_View) m_View->Hide();
    m_View.reset();
}

HWND CNorvCondMonitor::GetWindow() const
{
    return m_Window;
}

void CNorvCondMonitor::SetStatus1(const std::string& text)
{
    if (m_View) m_View->SetStatus1(text);
}

void CNorvCondMonitor::SetStatus2(const std::string& text)
{
    if (m_View) m_View->SetStatus2(text);
}

void CNorvCondMonitor::SetRange1(long low, long high)
{
    if (m_View) m_View->SetRange1(low, high);
}

void CNorvCondMonitor::SetRange2(long low, long high)
{
    if (m_View) m_View->SetRange2(low, high);
}

void CNorvCondMonitor::SetPos1(long position)
{
    if (!m_View) return;
    m_View->SetPos1(position);
    Pause(50);
}

void CNorvCondMonitor::SetPos2(long position)
{
    if (!m_View) return;
    m_View->SetPos2(position);
    Pause(50);
}

void CNorvCondMonitor::ShowBar1(bool show)
{
    if (m_View) m_View->ShowBar1(show);
}

void CNorvCondMonitor::ShowBar2(bool show)
{
    if (m_View) m_View->ShowBar2(show);
}

bool CNorvCondMonitor::IsCancelled() const
{
    return m_View && m_View->IsCancelled();
}

void CNorvCondMonitor::SetCancel(bool cancelled)
{
    if (m_View) m_View->SetCancel(cancelled);
}

LRESULT CNorvCondMonitor::OnCopyData(const COPYDATASTRUCT& data)
{
    if (data.cbData != kDataMessageSize || data.lpData == nullptr || !m_View) return 0;
    const auto* bytes = static_cast<const unsigned char*>(data.lpData);
    const DWORD kind = DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
    if (kind != 1 && kind != 2) return 0;
    // The text ends at its zero byte, or at the end of the message.
    const char* text = reinterpret_cast<const char*>(bytes + 4);
    const std::size_t length = strnlen(text, kDataMessageSize - 4);
    m_View->SetStatus1(std::string(text, length));
    Pause(kind == 1 ? 100 : 300);
    return 1;
}

void CNorvCondMonitor::Pause(int milliseconds) const
{
    // Pauses serve a person reading the view, so only a watched view makes them.
    if (m_View && m_View->IsInteractive()) Sleep(milliseconds);
}

void CNorvCondMonitor::Sleep(int milliseconds) const
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
