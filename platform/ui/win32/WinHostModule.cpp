// The Win32 host as a module that hotsync.exe loads for its dialogs, as the
// Linux program loads Qt's: opening installs the host, closing puts the
// previous one back.
#include <memory>

#include "Win32UiHost.h"

namespace {

struct Session {
    platform::IUiHost* previous = nullptr;
    platform::CWin32UiHost host;
};

} // namespace

extern "C" {

// Installs the host; null when no window can be shown.
NORV_EXPORT void* NorvUiHostOpen()
{
    try {
        auto s = std::make_unique<Session>();
        if (!s->host.Ready()) return nullptr;
        s->previous = &platform::UiHost();
        platform::SetUiHost(&s->host);
        return s.release();
    } catch (...) {
        return nullptr;
    }
}

NORV_EXPORT void NorvUiHostClose(void* session)
{
    std::unique_ptr<Session> s(static_cast<Session*>(session));
    if (!s) return;
    platform::SetUiHost(s->previous == &platform::DefaultUiHost() ? nullptr : s->previous);
}

} // extern "C"
