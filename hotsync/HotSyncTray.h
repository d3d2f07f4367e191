// The HotSync window's icon in the desktop's tray, while hotsync-gui runs and
// the desktop has a tray: the last verdict in its tooltip, "Synchronize now"
// and "Open" in its menu.
#pragma once
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

class CHotSyncTray final : public QObject {
public:
    // The menu is made whether or not a tray is there; the icon only with one.
    CHotSyncTray(std::function<void()> synchronize, std::function<void()> open, std::function<void()> quit);
    ~CHotSyncTray() override;

    bool Shown() const { return m_Icon != nullptr; }
    void SetVerdict(const QString& verdict);
    QString ToolTip() const { return m_ToolTip; }
    // "Synchronize now" is offered only while no run goes on.
    void SetRunning(bool running);
    QMenu* Menu() const { return m_Menu.get(); }
    QAction* SynchronizeAction() const { return m_Synchronize; }
    QAction* OpenAction() const { return m_Open; }

private:
    std::unique_ptr<QMenu> m_Menu;
    QAction* m_Synchronize;
    QAction* m_Open;
    std::unique_ptr<QSystemTrayIcon> m_Icon;
    QString m_ToolTip;
};
