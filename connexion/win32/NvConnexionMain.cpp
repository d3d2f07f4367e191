// NvConnexion.exe: checks that this computer reaches the Norvelia server, in
// a Windows dialog. The URL is what follows the program's word on the
// command line, blanks included.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "connexion/ConnexionCheck.h"
#include "connexion/ConnexionUrl.h"
#include "connexion/win32/NvConnexionDlg.h"
#include "platform/CommandLine.h"
#include "platform/ui/win32/Desktop.h"
#include "platform/ui/win32/Win32UiHost.h"

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            platform::UseParentConsole();
            break;
        }
    }
    CLI::App cli{"NvConnexion - checks that this computer reaches the Norvelia server.\n"
                 "Fetches test.bin beside the server's URL with the connection settings of the\n"
                 "registry, shows each step, and leaves the outcome in LastErrorCode."};
    std::vector<std::string> words;
    cli.add_option("URL", words,
                   std::string("The server's URL; everything after the program's name, blanks included "
                               "(default: the current server of the settings, else ") +
                       kDefaultServerUrl + ")");
    platform::AddVersionFlag(cli, "NvConnexion");
    if (const auto exit = platform::ParseCommandLine(cli, argc, argv)) return *exit;
    if (!platform::DesktopAvailable()) return platform::NoDesktop("NvConnexion");

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The probe asks for a server's credentials through the Windows host.
    platform::CWin32UiHost host;
    if (host.Ready()) platform::SetUiHost(&host);

    // The command line as Windows gives it: a quoted program path may hold blanks.
    std::string url = UrlFromCommandLine(GetCommandLineA());
    if (url.empty()) url = ConfiguredServerUrl();

    if (!LoadConnexionMessages()) {
        MessageBoxW(nullptr, L"Messages load failure", L"Aborting", MB_OK);
        platform::SetUiHost(nullptr);
        return 1;
    }
    int rc = 0;
    {
        CNvConnexionDlg dialog(url);
        dialog.DoModal();
        if (dialog.CheckRunning()) {
            // Quit during a check: the outcome is written; the probe may wait
            // on the network for long, so the program ends without it.
            std::fflush(nullptr);
            ExitProcess(0);
        }
    }
    platform::SetUiHost(nullptr);
    return rc;
}
