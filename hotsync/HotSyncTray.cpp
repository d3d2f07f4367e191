#include "hotsync/HotSyncTray.h"

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

#include "seam/UiText.h"

using platform::UiText;

CHotSyncTray::CHotSyncTray(std::function<void()> synchronize, std::function<void()> open, std::function<void()> quit)
    : m_Menu(std::make_unique<QMenu>())
{
    m_Menu->setObjectName(QStringLiteral("trayMenu"));
    m_Synchronize = m_Menu->addAction(QIcon(QStringLiteral(":/hotsync-gui/HotSyncGui.png")),
                                      UiText(4376, "&Synchronize now"), this, synchronize);
    m_Open = m_Menu->addAction(UiText(4377, "&Open"), this, open);
    m_Menu->addSeparator();
    m_Menu->addAction(UiText(4004, "&Quit"), this, quit);
    m_Menu->setDefaultAction(m_Open);
    SetVerdict(QString());
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    m_Icon = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/hotsync-gui/HotSyncGui.png")));
    m_Icon->setContextMenu(m_Menu.get());
    m_Icon->setToolTip(m_ToolTip);
    // A click on the icon itself opens the window.
    connect(m_Icon.get(), &QSystemTrayIcon::activated, this, [open](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) open();
    });
    m_Icon->show();
}

CHotSyncTray::~CHotSyncTray()
{
    // The icon holds the menu: it goes first.
    m_Icon.reset();
}

void CHotSyncTray::SetVerdict(const QString& verdict)
{
    m_ToolTip = UiText(4000, "HotSync");
    if (!verdict.isEmpty()) m_ToolTip += QLatin1Char('\n') + verdict;
    if (m_Icon) m_Icon->setToolTip(m_ToolTip);
}

void CHotSyncTray::SetRunning(bool running)
{
    m_Synchronize->setEnabled(!running);
}
