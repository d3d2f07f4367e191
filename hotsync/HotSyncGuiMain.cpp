// hotsync-gui: the HotSync window. A synchronization with a button, its
// progress dialog, then the log and the handheld's databases.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>

#include "hotsync/DataViewDialog.h"
#include "hotsync/FirstStartWizard.h"
#include "hotsync/HotSyncDesktop.h"
#include "hotsync/HotSyncGuiInstance.h"
#include "hotsync/HotSyncTray.h"
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
    std::string home, user, handheld, screenshot, screenshotSetUp, screenshotTray, view;
    cli.add_option("--home", home, "HotSync home (default $HOTSYNC_HOME, else ~/.local/share/hotsync)");
    cli.add_option("--user", user, "HotSync user chosen at start");
    cli.add_option("--handheld", handheld, "Handheld folder chosen at start");
    cli.add_option("--screenshot", screenshot, "")->group("");
    // With --screenshot: the picture of that database's view instead.
    cli.add_option("--view", view, "")->group("");
    cli.add_option("--screenshot-setup", screenshotSetUp, "")->group("");
    cli.add_option("--screenshot-tray", screenshotTray, "")->group("");
    cli.footer("What a synchronization lacks (a user, a handheld folder, the login) is asked in the window.\n\n"
               "Exit status:\n"
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
    const bool picture = !screenshot.empty() || !screenshotSetUp.empty() || !screenshotTray.empty();
    // One window per session: a second start brings the first one up.
    CHotSyncGuiInstance instance;
    CHotSyncDesktop* shown = nullptr;
    const bool first = picture || instance.Claim([&shown](const QString& u, const QString& h) {
        if (shown) shown->Show(u, h);
    });
    if (!first && CHotSyncGuiInstance::ShowInRunning(user, handheld)) return 0;
    int rc = 0;
    {
        CHotSyncWindow window(home);
        if (!user.empty()) window.SelectUser(QString::fromStdString(user));
        if (!handheld.empty()) window.SetHandheld(QString::fromStdString(handheld));
        CHotSyncDesktop desktop(window);
        shown = &desktop;
        if (!screenshot.empty()) {
            window.show();
            if (!view.empty()) {
                bool damaged = false;
                std::string error;
                std::unique_ptr<CDataView> data = CDataView::Load(handheld, view, damaged, error);
                if (!data) {
                    std::fprintf(stderr, "hotsync-gui: %s\n", error.c_str());
                    return 1;
                }
                CDataViewDialog dialog(std::move(data), damaged, &window);
                dialog.show();
                return dialog.grab().save(QString::fromStdString(screenshot)) ? 0 : 1;
            }
            return window.SaveScreenshot(QString::fromStdString(screenshot)) ? 0 : 1;
        }
        if (!screenshotSetUp.empty()) {
            // Each page of the set-up as it first shows: PREFIX-user.png, -handheld, -login, -done.
            window.show();
            desktop.Start(false);
            auto wizard = desktop.MakeSetUp();
            wizard->show();
            const std::pair<int, const char*> pages[] = {{CFirstStartWizard::kUserPage, "user"},
                                                         {CFirstStartWizard::kHandheldPage, "handheld"},
                                                         {CFirstStartWizard::kLoginPage, "login"},
                                                         {CFirstStartWizard::kDonePage, "done"}};
            bool saved = true;
            for (const auto& [id, name] : pages) {
                wizard->setStartId(id);
                wizard->restart();
                QApplication::processEvents();
                saved = wizard->grab().save(QString::fromStdString(screenshotSetUp + "-" + name + ".png")) && saved;
            }
            return saved ? 0 : 1;
        }
        if (!screenshotTray.empty()) {
            QMenu* menu = desktop.Tray().Menu();
            menu->popup(QPoint(20, 20));
            QApplication::processEvents();
            return menu->grab().save(QString::fromStdString(screenshotTray)) ? 0 : 1;
        }
        desktop.Start(true);
        window.show();
        rc = QApplication::exec();
        host.SetClosing(true);
        shown = nullptr;
    }
    return rc;
}
