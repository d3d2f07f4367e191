// The Qt host as a module that a terminal program loads only when a display is
// there, so that it keeps running without one: the module starts Qt and
// installs the host, and ends both.
#include <QApplication>

#include <memory>

#include "seam/Export.h"
#include "seam/QtUiHost.h"

namespace {

struct Session {
    int argc = 1;
    char name[16] = "hotsync";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    std::unique_ptr<platform::QtUiHost> host;
};

} // namespace

extern "C" {

// Starts Qt and installs the host; null when it cannot.
NORV_EXPORT void* NorvUiHostOpen()
{
    try {
        auto s = std::make_unique<Session>();
        if (!QApplication::instance()) s->app = std::make_unique<QApplication>(s->argc, s->argv);
        s->host = std::make_unique<platform::QtUiHost>();
        return s.release();
    } catch (...) {
        return nullptr;
    }
}

// Puts the previous host back and ends Qt.
NORV_EXPORT void NorvUiHostClose(void* session)
{
    std::unique_ptr<Session> s(static_cast<Session*>(session));
    if (s) s->host.reset();
}

} // extern "C"
