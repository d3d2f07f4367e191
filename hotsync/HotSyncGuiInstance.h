// One HotSync window per session: the first hotsync-gui takes a name on the
// session bus, and a later one, or the notification of a scheduled run that
// is clicked, asks it to show a user's log instead of opening another window.
#pragma once
#include <QObject>
#include <QString>

#include <functional>
#include <string>

class CHotSyncGuiInstance final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.norvelia.HotSync")
public:
    static constexpr const char* kService = "org.norvelia.HotSync";
    static constexpr const char* kPath = "/org/norvelia/HotSync";

    // Takes the name; false when another window holds it (or there is no bus).
    bool Claim(std::function<void(const QString& user, const QString& handheld)> show);
    // Asks the window that holds the name to show the log of `user`; false
    // when none answers.
    static bool ShowInRunning(const std::string& user, const std::string& handheld);
    // Starts hotsync-gui on that log, detached from this process (and, under
    // systemd, from the service that runs it, which ends with its process).
    static bool StartWindow(const std::string& program, const std::string& user, const std::string& handheld,
                            std::string* error);

public slots:
    Q_SCRIPTABLE void Show(const QString& user, const QString& handheld);

private:
    std::function<void(const QString&, const QString&)> m_Show;
};
