// What the HotSync window does for the desktop it runs on: the set-up of a
// first start, the schedule setting, the tray icon, and the notification at
// the end of a run the person did not watch (the window minimised or hidden).
#pragma once
#include <QObject>
#include <QString>

#include <memory>

#include "hotsync/SyncRun.h"

class CFirstStartWizard;
class CHotSyncTray;
class CHotSyncWindow;
class CRunNotification;

class CHotSyncDesktop final : public QObject {
public:
    explicit CHotSyncDesktop(CHotSyncWindow& window);
    ~CHotSyncDesktop() override;

    // Applies the shipped defaults when the store lacks them (and says so in
    // the status bar); with `setUp`, opens the set-up once the window shows
    // when a synchronization lacks something.
    void Start(bool setUp);
    // The set-up as a dialog over the window; the window then shows what was chosen.
    void OpenSetUp();
    std::unique_ptr<CFirstStartWizard> MakeSetUp() const;
    // The window's schedule setting, for its user and handheld.
    void OpenSchedule();
    // Brings the window up on a user's log (a notification clicked, or
    // another hotsync-gui started).
    void Show(const QString& user, const QString& handheld);
    // Where NvPassword and hotsync are: beside this program unless set.
    void SetProgramDir(const QString& dir) { m_ProgramDir = dir; }
    // Whether the person sees the window: shown, not minimised.
    bool Watched() const;
    CHotSyncTray& Tray() const { return *m_Tray; }
    // The notification of the last run nobody watched, if any.
    CRunNotification* Notification() const { return m_Notification.get(); }

private:
    void Finished(const CSyncRun::Outcome& outcome);

    CHotSyncWindow& m_Window;
    std::unique_ptr<CHotSyncTray> m_Tray;
    std::unique_ptr<CRunNotification> m_Notification;
    QString m_Note;
    QString m_ProgramDir;
};
