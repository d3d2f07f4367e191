#include "hotsync/HotSyncGuiInstance.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "hotsync/SessionBus.h"

extern char** environ;

bool CHotSyncGuiInstance::Claim(std::function<void(const QString&, const QString&)> show)
{
    if (!SessionBusThere()) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    if (!bus.registerService(QString::fromLatin1(kService))) return false;
    m_Show = std::move(show);
    bus.registerObject(QString::fromLatin1(kPath), this, QDBusConnection::ExportScriptableSlots);
    return true;
}

void CHotSyncGuiInstance::Show(const QString& user, const QString& handheld)
{
    if (m_Show) m_Show(user, handheld);
}

bool CHotSyncGuiInstance::ShowInRunning(const std::string& user, const std::string& handheld)
{
    if (!SessionBusThere()) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(QString::fromLatin1(kService))) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                       QString::fromLatin1(kService), QStringLiteral("Show"));
    call.setArguments({QString::fromStdString(user), QString::fromStdString(handheld)});
    return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

bool CHotSyncGuiInstance::StartWindow(const std::string& program, const std::string& user,
                                      const std::string& handheld, std::string* error)
{
    std::vector<std::string> args;
    // A service's leftover processes end with it: a window of its own unit.
    if (const char* invocation = std::getenv("INVOCATION_ID"); invocation && *invocation)
        args = {"systemd-run", "--user", "--quiet", "--collect", "--"};
    args.insert(args.end(), {program, "--user=" + user, "--handheld=" + handheld});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own session: a Ctrl-C or hang-up of this terminal is not the window's.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        if (error) *error = "cannot start " + args.front() + ": " + std::strerror(rc);
        return false;
    }
    // systemd-run returns once the unit is started; the window itself is waited for by nobody.
    if (args.front() == "systemd-run") {
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            if (error) *error = "systemd-run could not start " + program;
            return false;
        }
    }
    return true;
}
