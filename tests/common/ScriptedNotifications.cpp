// A scripted freedesktop notification service for the tests, on the session
// bus the test runs (dbus-run-session): it records each call as a line of its
// log and, when told, clicks or closes each notification it shows.
//   scripted-notifications --log FILE [--click] [--close] [--no-actions] [--markup]
// Log lines: "ready", "Notify<TAB>app<TAB>icon<TAB>summary<TAB>body<TAB>actions
// (comma-separated)<TAB>urgency<TAB>desktop-entry", "Close<TAB>id"; the body's
// newlines are written as \n.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <cstdio>
#include <cstring>

class ScriptedNotifications final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QString log;
    bool click = false, close = false, actions = true, markup = false;

    void Write(const QString& line)
    {
        QFile file(log);
        if (file.open(QIODevice::Append)) file.write((line + QLatin1Char('\n')).toUtf8());
    }

public slots:
    Q_SCRIPTABLE QStringList GetCapabilities()
    {
        QStringList caps{QStringLiteral("body")};
        if (actions) caps << QStringLiteral("actions");
        if (markup) caps << QStringLiteral("body-markup");
        return caps;
    }
    Q_SCRIPTABLE uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                             const QString& body, const QStringList& requested, const QVariantMap& hints, int)
    {
        const uint id = ++m_Last;
        QString escaped = body;
        escaped.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        Write(QStringList{QStringLiteral("Notify"), app, icon, summary, escaped, requested.join(QLatin1Char(',')),
                          QString::number(hints.value(QStringLiteral("urgency")).toUInt()),
                          hints.value(QStringLiteral("desktop-entry")).toString()}
                  .join(QLatin1Char('\t')));
        if (click && requested.contains(QStringLiteral("default")))
            QTimer::singleShot(100, this, [this, id] { emit ActionInvoked(id, QStringLiteral("default")); });
        else if (close)
            QTimer::singleShot(100, this, [this, id] { emit NotificationClosed(id, 2); });
        return id;
    }
    Q_SCRIPTABLE void CloseNotification(uint id)
    {
        Write(QStringLiteral("Close\t") + QString::number(id));
        emit NotificationClosed(id, 3);
    }
    Q_SCRIPTABLE QString GetServerInformation(QString& vendor, QString& version, QString& protocolVersion)
    {
        vendor = QStringLiteral("norvelia-tests");
        version = QStringLiteral("1");
        protocolVersion = QStringLiteral("1.2");
        return QStringLiteral("scripted");
    }

signals:
    Q_SCRIPTABLE void ActionInvoked(uint id, const QString& action);
    Q_SCRIPTABLE void NotificationClosed(uint id, uint reason);

private:
    uint m_Last = 0;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ScriptedNotifications server;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--log") == 0 && i + 1 < argc) server.log = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(a, "--click") == 0) server.click = true;
        else if (std::strcmp(a, "--close") == 0) server.close = true;
        else if (std::strcmp(a, "--no-actions") == 0) server.actions = false;
        else if (std::strcmp(a, "--markup") == 0) server.markup = true;
        else {
            std::fprintf(stderr, "scripted-notifications: unknown argument %s\n", a);
            return 2;
        }
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (server.log.isEmpty() || !bus.isConnected() ||
        !bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "scripted-notifications: no session bus, or the name is taken\n");
        return 1;
    }
    server.Write(QStringLiteral("ready"));
    // A test that was killed cannot stop it: it ends with the test's bus, or
    // after ten minutes at most.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&bus] {
        if (!bus.isConnected()) QCoreApplication::exit(0);
    });
    watch.start(500);
    QTimer::singleShot(10 * 60 * 1000, &app, [] { QCoreApplication::exit(0); });
    return QCoreApplication::exec();
}

#include "ScriptedNotifications.moc"
