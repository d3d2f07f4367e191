// hotsync-gui: the HotSync window. A synchronization with a button, its
// progress dialog, then the log and the handheld's databases.
#include <CLI/CLI.hpp>
#include <QApplication>

#include <string>

#include "hotsync/HotSyncWindow.h"
#include "platform/Version.h"
#include "seam/Display.h"
#include "seam/QtUiHost.h"

#ifndef NORV_VERSION
#define NORV_VERSION "0"
#endif

int main(int argc, char** argv)
{
    CLI::App cli{"hotsync-gui - the HotSync window: choose a HotSync user and a handheld folder, synchronize with one\n"
                 "button, watch the progress, read the run's log and the handheld's databases, restore a backup.\n"
                 "Runs the same synchronization as hotsync sync."};
    cli.set_version_flag("--version", std::string("hotsync-gui ") + NORV_VERSION + "\n" + kConduitVersionLine);
    std::string home, user, handheld, screenshot;
    cli.add_option("--home", home, "HotSync home (default $HOTSYNC_HOME, else ~/.local/share/hotsync)");
    cli.add_option("--user", user, "HotSync user chosen at start");
    cli.add_option("--handheld", handheld, "Handheld folder chosen at start");
    cli.add_option("--screenshot", screenshot, "")->group("");
    cli.footer("Exit status:\n"
               "  0    the window was closed\n"
               "  2    a usage error\n"
               "  69   no display: DISPLAY and WAYLAND_DISPLAY are unset, or no server answers there");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return cli.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return cli.exit(e);
    } catch (const CLI::ParseError& e) {
        cli.exit(e);
        return 2;
    }
    if (!platform::DisplayAvailable()) return platform::NoDisplay("hotsync-gui");

    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("hotsync-gui"));
    QApplication::setApplicationVersion(QStringLiteral(NORV_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("hotsync-gui"));
    platform::QtUiHost host;
    CHotSyncWindow::LoadLanguage();
    int rc = 0;
    {
        CHotSyncWindow window(home);
        if (!user.empty()) window.SelectUser(QString::fromStdString(user));
        if (!handheld.empty()) window.SetHandheld(QString::fromStdString(handheld));
        if (!screenshot.empty()) {
            window.show();
            return window.SaveScreenshot(QString::fromStdString(screenshot)) ? 0 : 1;
        }
        window.show();
        rc = QApplication::exec();
        host.SetClosing(true);
    }
    return rc;
}
