// NvPassword.exe: the settings program as a Windows window. Takes no
// argument; --help and --version answer on the console it was started from.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "password/win32/FrmPassword.h"
#include "platform/CommandLine.h"
#include "platform/ui/win32/Desktop.h"

int main(int argc, char** argv)
{
    if (argc > 1) platform::UseParentConsole();
    CLI::App cli{"NvPassword - Norvelia settings: each HotSync user's service login and password, the connection "
                 "mode and proxy credentials, and the servers"};
    platform::AddVersionFlag(cli, "NvPassword");
    if (const auto exit = platform::ParseCommandLine(cli, argc, argv)) return *exit;
    if (!platform::DesktopAvailable()) return platform::NoDesktop("NvPassword");

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                                                       ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    TfrmPassword frmPassword;
    if (!frmPassword.FormCreate()) return 1;
    HWND window = frmPassword.Window();
    ShowWindow(window, SW_SHOW);
    MSG msg;
    while (IsWindow(window) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Tab, the arrows and Enter in whichever of the program's windows is active.
        HWND active = GetActiveWindow();
        if (active && IsDialogMessageW(active, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
