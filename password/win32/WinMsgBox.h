// Every message box of the Windows settings program goes through here, so
// that a test can read each box and answer it; the Yes and No buttons speak
// the catalog's language, not the system's.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

class TWinMsgBox {
public:
    struct Request {
        std::string text;
        std::string caption;
        UINT flags = MB_OK;
    };
    using Hook = std::function<int(const Request&)>;

    // MessageBox's answer (IDOK, IDYES, IDNO...).
    static int Show(HWND owner, const Request& request);
    static void SetHook(Hook hook);
};
