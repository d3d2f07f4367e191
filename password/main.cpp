// NvPassword: the settings program. Takes no argument; --help and --version
// answer on the terminal without opening a window.
#include <QApplication>

#include <CLI/CLI.hpp>

#include "password/FrmPassword.h"
#include "seam/Display.h"

namespace {
constexpr int kExitUsage = 2;
}

int main(int argc, char** argv)
{
    CLI::App cli{"NvPassword - Norvelia settings: each HotSync user's service login and password, the connection "
                 "mode and proxy credentials, and the servers"};
    cli.set_version_flag("--version", std::string("NvPassword ") + NORV_VERSION);
    std::string screenshots;
    // Pictures of the pages and dialogs, for the documentation.
    cli.add_option("--screenshot", screenshots, "")->group("");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return cli.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return cli.exit(e);
    } catch (const CLI::ParseError& e) {
        cli.exit(e);
        return kExitUsage;
    }

    if (!platform::DisplayAvailable()) return platform::NoDisplay("NvPassword");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("NvPassword"));
    TfrmPassword frmPassword;
    if (!frmPassword.FormCreate()) return 1;
    if (!screenshots.empty()) return frmPassword.SaveScreenshots(QString::fromLocal8Bit(screenshots.c_str())) ? 0 : 1;
    frmPassword.show();
    return QApplication::exec();
}
