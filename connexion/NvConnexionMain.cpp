// NvConnexion: checks that this computer reaches the Norvelia server.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "connexion/ConnexionUrl.h"
#include "connexion/NvConnexionDlg.h"
#include "seam/Display.h"
#include "seam/QtUiHost.h"

#ifndef NORV_VERSION
#define NORV_VERSION "0"
#endif

int main(int argc, char** argv)
{
    // --help and --version are answered here, before any window system is needed.
    {
        CLI::App cli{"NvConnexion - checks that this computer reaches the Norvelia server.\n"
                     "Fetches test.bin beside the server's URL with the connection settings of the\n"
                     "registry, shows each step, and leaves the outcome in LastErrorCode."};
        std::vector<std::string> url;
        cli.add_option("URL", url,
                       std::string("The server's URL; everything after the program's name, blanks included "
                                   "(default: the current server of the settings, else ") +
                           kDefaultServerUrl + ")");
        cli.set_version_flag("--version", std::string("NvConnexion ") + NORV_VERSION);
        // Window-system options (-platform, -display...) are Qt's.
        cli.allow_extras();
        CLI11_PARSE(cli, argc, argv);
    }

    if (!platform::DisplayAvailable()) return platform::NoDisplay("NvConnexion");
    QApplication app(argc, argv);
    QApplication::setApplicationName("NvConnexion");
    QApplication::setApplicationVersion(NORV_VERSION);
    QApplication::setDesktopFileName("nvconnexion");
    platform::QtUiHost host;

    // Qt took its own options out of argv.
    CNvConnexionDlg dialog(UrlToCheck(CommandLineOf(argc, argv)));
    if (!dialog.MessagesLoaded()) return 1;
    dialog.exec();
    if (dialog.CheckRunning()) {
        // Quit during a check: the outcome is written; the probe may wait on
        // the network for long, so the program ends without it.
        host.SetClosing(true);
        std::fflush(nullptr);
        ::_exit(0);
    }
    return 0;
}
