// The desktop notification at the end of a run nobody watched (a scheduled
// one, or the HotSync window minimised): the verdict and each order's fate, a
// line each, through the freedesktop notification service on the session
// bus. A failure's notification can be clicked: its default action opens the
// HotSync window on the run's log.
#pragma once
#include <QObject>

#include <chrono>
#include <functional>
#include <string>

#include "hotsync/SyncRun.h"

class CRunNotification final : public QObject {
    Q_OBJECT
public:
    struct Text {
        std::string summary;
        std::string body;
        bool failed = false;
    };
    // What the notification of a run says; the one place that decides it.
    static Text For(const CSyncRun::Outcome& outcome, const std::string& user);

    CRunNotification();
    ~CRunNotification() override;

    // False, with the reason, when no notification service answers. A
    // failure's notification offers its default action.
    bool Send(const Text& text, std::string* error = nullptr);
    unsigned Id() const { return m_Id; }
    // Called once when the person clicks the notification of a failure.
    void OnClicked(std::function<void()> fn) { m_OnClicked = std::move(fn); }
    // Runs an event loop until the notification is clicked or closed, at most
    // `bound`; true when it was clicked. Returns at once for one that offers
    // no action.
    bool WaitForClick(std::chrono::milliseconds bound);

    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

private slots:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);

private:
    unsigned m_Id = 0;
    bool m_Actions = false;
    bool m_Ended = false;
    bool m_Clicked = false;
    std::function<void()> m_OnClicked;
};
