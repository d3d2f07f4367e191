// The HotSync window: choose the HotSync user and the handheld folder, press
// one button to synchronize through the same run as `hotsync sync`, watch the
// progress dialog, then read the run's log and the handheld's databases.
// Restoring a backup is in the File menu.
#pragma once
#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hotsync/SyncRun.h"
#include "seam/GuiQueue.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

class CHotSyncWindow final : public QMainWindow {
public:
    explicit CHotSyncWindow(std::string home, QWidget* parent = nullptr);
    ~CHotSyncWindow() override;

    // Loads the message catalog the conduit will use (MsgDll, else the
    // locale's), so that the window and the run speak one language; false
    // when it cannot be loaded and the window keeps its English texts.
    static bool LoadLanguage();

    // Reads users.dat again; false (and the reason shown) when it cannot.
    bool LoadUsers();
    bool SelectUser(const QString& name);
    QString CurrentUser() const;
    void SetHandheld(const QString& dir);
    QString Handheld() const;
    const std::string& Home() const { return m_Home; }
    // The handheld folder remembered for each user of a home.
    static QString RememberedHandheld(const std::string& home, const QString& user);
    static void RememberHandheld(const std::string& home, const QString& user, const QString& dir);
    // Shows the last run kept in the user's HotSync log, and its verdict.
    void ShowLastRun();
    // What the window says of the last run (its verdict), or why none can start.
    QString OutcomeText() const;
    // Called at the end of each run, after the window shows it.
    void OnFinished(std::function<void(const CSyncRun::Outcome&)> fn) { m_OnFinished = std::move(fn); }
    // What the button does; false when a run is going on or nothing is chosen.
    bool StartSync();
    bool IsRunning() const { return m_Run.joinable(); }
    // The outcome of the last run (code -1 before any).
    const CSyncRun::Outcome& LastOutcome() const { return m_Last; }
    // Asks which backup to put back, and does it.
    void RestoreBackup();
    // Pictures of the window, for the documentation.
    bool SaveScreenshot(const QString& path);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    class Front;
    void UserChanged();
    void Browse();
    void Finished(CSyncRun::Outcome outcome, std::vector<std::string> notes);
    void ShowLog(const std::vector<palmkit::LogEntry>& entries);
    void ShowVerdict(const CRunVerdict& verdict);
    void ShowDatabases();
    QString SettingsPath() const;
    std::string UserDir() const;

    std::string m_Home;
    platform::GuiQueue m_Queue;
    QComboBox* m_Users;
    QLineEdit* m_Handheld;
    QPushButton* m_Sync;
    QLabel* m_Outcome;
    QString m_UsersNote; // what LoadUsers left out, and why
    QString WithUsersNote(const QString& text) const;
    QListWidget* m_Log;
    QTreeWidget* m_Databases;
    std::thread m_Run;
    std::unique_ptr<Front> m_Front;
    CSyncRun::Outcome m_Last;
    std::function<void(const CSyncRun::Outcome&)> m_OnFinished;
};
