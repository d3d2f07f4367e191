#include "password/win32/WinMsgBox.h"

#include <utility>

#include "lexmo/Lexmo.h"
#include "platform/ui/win32/WideText.h"

namespace {

constexpr int kMsgYes = 4401;
constexpr int kMsgNo = 4402;

TWinMsgBox::Hook& CurrentHook()
{
    static TWinMsgBox::Hook hook;
    return hook;
}

HHOOK g_Creation = nullptr;

// Renames the buttons of the box this thread is about to show.
LRESULT CALLBACK OnCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        for (const auto& [id, number] : {std::pair{IDYES, kMsgYes}, std::pair{IDNO, kMsgNo}}) {
            const std::string text = lexmo::MessageText(number);
            if (HWND button = GetDlgItem(box, id); button && !text.empty())
                SetWindowTextW(button, platform::Wide(text).c_str());
        }
    }
    return CallNextHookEx(g_Creation, code, wParam, lParam);
}

} // namespace

void TWinMsgBox::SetHook(Hook hook)
{
    CurrentHook() = std::move(hook);
}

int TWinMsgBox::Show(HWND owner, const Request& request)
{
    if (const Hook& hook = CurrentHook()) return hook(request);
    const bool question = (request.flags & MB_TYPEMASK) == MB_YESNO;
    if (question) g_Creation = SetWindowsHookExW(WH_CBT, &OnCreation, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxW(owner, platform::Wide(request.text).c_str(), platform::Wide(request.caption).c_str(),
                                   request.flags);
    if (g_Creation) UnhookWindowsHookEx(std::exchange(g_Creation, nullptr));
    return answer;
}
