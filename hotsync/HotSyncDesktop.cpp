#include "hotsync/HotSyncDesktop.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include "hotsync/FirstStartWizard.h"
#include "hotsync/HotSyncTray.h"
#include "hotsync/HotSyncWindow.h"
#include "hotsync/RunNotification.h"
#include "hotsync/RunText.h"
#include "hotsync/ScheduleDialog.h"
#include "hotsync/UserServiceSettings.h"
#include "seam/UiText.h"

using platform::UiText;

namespace {

QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

CHotSyncDesktop::CHotSyncDesktop(CHotSyncWindow& window) : m_Window(window)
{
    QMenu* settings = m_Window.menuBar()->addMenu(UiText(4378, "S&ettings"));
    settings->setObjectName(QStringLiteral("settingsMenu"));
    settings->addAction(UiText(4370, "Set &up..."), this, [this] { OpenSetUp(); })
        ->setObjectName(QStringLiteral("setUpAction"));
    settings->addAction(UiText(4371, "Synchronize &automatically..."), this, [this] { OpenSchedule(); })
        ->setObjectName(QStringLiteral("scheduleAction"));
    m_Tray = std::make_unique<CHotSyncTray>([this] { m_Window.StartSync(); },
                                            [this] { Show(m_Window.CurrentUser(), m_Window.Handheld()); },
                                            [this] { m_Window.close(); });
    connect(m_Tray->Menu(), &QMenu::aboutToShow, this, [this] { m_Tray->SetRunning(m_Window.IsRunning()); });
    m_Tray->SetVerdict(m_Window.OutcomeText());
    m_Window.OnFinished([this](const CSyncRun::Outcome& outcome) { Finished(outcome); });
}

CHotSyncDesktop::~CHotSyncDesktop()
{
    m_Window.OnFinished(nullptr);
}

void CHotSyncDesktop::Start(bool setUp)
{
    m_Note = Q(CUserServiceSettings::ApplyShippedDefaults());
    if (!m_Note.isEmpty()) m_Window.statusBar()->showMessage(m_Note);
    if (setUp && CFirstStartWizard::Needed(m_Window.Home(), m_Window.CurrentUser(), m_Window.Handheld()))
        QTimer::singleShot(0, this, [this] { OpenSetUp(); });
    m_Tray->SetVerdict(m_Window.OutcomeText());
}

std::unique_ptr<CFirstStartWizard> CHotSyncDesktop::MakeSetUp() const
{
    auto wizard = std::make_unique<CFirstStartWizard>(m_Window.Home(), &m_Window);
    wizard->SetNote(m_Note);
    if (!m_ProgramDir.isEmpty()) wizard->SetProgramDir(m_ProgramDir);
    wizard->Preselect(m_Window.CurrentUser(), m_Window.Handheld());
    return wizard;
}

void CHotSyncDesktop::OpenSetUp()
{
    if (m_Window.IsRunning()) return;
    std::unique_ptr<CFirstStartWizard> wizard = MakeSetUp();
    const bool done = wizard->exec() == QDialog::Accepted;
    // Users may have come and gone even when it was cancelled.
    const QString user = done ? wizard->User() : m_Window.CurrentUser();
    m_Window.LoadUsers();
    m_Window.SelectUser(user);
    if (done) {
        m_Window.SetHandheld(wizard->HandheldDir());
        m_Window.ShowLastRun();
    }
    m_Tray->SetVerdict(m_Window.OutcomeText());
}

void CHotSyncDesktop::OpenSchedule()
{
    const QString title = UiText(4371, "Synchronize automatically...").remove(QLatin1Char('&'));
    if (m_Window.CurrentUser().isEmpty() || m_Window.Handheld().isEmpty()) {
        QMessageBox::information(&m_Window, title, UiText(4028, "Choose the HotSync user and the handheld first."));
        return;
    }
    CScheduleDialog dialog(m_Window.Home(), m_Window.CurrentUser(), m_Window.Handheld(), &m_Window);
    if (!m_ProgramDir.isEmpty()) dialog.SetProgram((m_ProgramDir + QStringLiteral("/hotsync")).toStdString());
    dialog.exec();
}

void CHotSyncDesktop::Show(const QString& user, const QString& handheld)
{
    if (!m_Window.IsRunning()) {
        if (!user.isEmpty() && user != m_Window.CurrentUser()) m_Window.SelectUser(user);
        if (!handheld.isEmpty() && handheld != m_Window.Handheld()) m_Window.SetHandheld(handheld);
    }
    m_Window.showNormal();
    m_Window.raise();
    m_Window.activateWindow();
}

bool CHotSyncDesktop::Watched() const
{
    return m_Window.isVisible() && !m_Window.isMinimized();
}

void CHotSyncDesktop::Finished(const CSyncRun::Outcome& outcome)
{
    m_Tray->SetVerdict(m_Window.OutcomeText());
    if (Watched()) return;
    const std::string user = outcome.userName.empty() ? m_Window.CurrentUser().toStdString() : outcome.userName;
    const QString handheld = m_Window.Handheld();
    m_Notification = std::make_unique<CRunNotification>();
    m_Notification->OnClicked([this, user, handheld] { Show(Q(user), handheld); });
    std::string error;
    if (!m_Notification->Send(CRunNotification::For(outcome, user), &error)) {
        m_Window.statusBar()->showMessage(Q(RunText(4336, "no desktop notification: %s", error)));
        m_Notification.reset();
    }
}
