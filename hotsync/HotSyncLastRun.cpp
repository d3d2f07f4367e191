// The HotSync window opens on the last run of the chosen user: its log, as
// the user's HotSync.log keeps it, and its verdict.
#include <QDateTime>
#include <QLabel>
#include <QListWidget>

#include "hotsync/HotSyncLogReader.h"
#include "hotsync/HotSyncWindow.h"
#include "seam/UiText.h"

namespace {

struct EarlierVerdict {
    QString text;
    bool failed = false;
};

// What an earlier run came to, from the entries that close it.
EarlierVerdict VerdictOf(const CHotSyncLogReader::Run& run)
{
    using platform::UiText;
    // A run of this version ends with its verdict.
    for (auto e = run.entries.rbegin(); e != run.entries.rend(); ++e) {
        CRunVerdict::Kind kind;
        if (CRunVerdict::KindOfActivity(e->activity, &kind))
            return {QString::fromStdString(e->text), kind != CRunVerdict::Kind::Synchronized};
    }
    for (const palmkit::LogEntry& e : run.entries)
        if (e.activity == slSyncFailed)
            return {UiText(4340, "not synchronized: %s", e.text), true};
    for (const palmkit::LogEntry& e : run.entries)
        if (e.activity == slSyncDone) return {UiText(4341, "synchronized"), false};
    return {UiText(4342, "the run ended without its closing entry (it was stopped, or the program ended)"), true};
}

} // namespace

QString CHotSyncWindow::WithUsersNote(const QString& text) const
{
    return m_UsersNote.isEmpty() ? text : m_UsersNote + QLatin1Char('\n') + text;
}

void CHotSyncWindow::ShowLastRun()
{
    using platform::UiText;
    const QString user = CurrentUser();
    // Without a user the window says what to do instead.
    if (user.isEmpty()) return;
    m_Log->clear();
    m_Outcome->setStyleSheet(QString());
    const std::string dir = UserDir();
    const auto run = dir.empty() ? std::nullopt : CHotSyncLogReader::LastRun(dir + "/HotSync.log");
    if (!run) {
        m_Outcome->setText(WithUsersNote(UiText(4343, "%s has not synchronized a handheld yet.", user.toStdString())));
        return;
    }
    ShowLog(run->entries);
    const EarlierVerdict v = VerdictOf(*run);
    const QString when = QDateTime::fromSecsSinceEpoch(qint64(run->began)).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    m_Outcome->setStyleSheet(v.failed ? QStringLiteral("color: #b40000; font-weight: bold;")
                                      : QStringLiteral("color: #006e28;"));
    m_Outcome->setText(
        WithUsersNote(UiText(4339, "Last synchronization, %s: %s", when.toStdString(), v.text.toStdString())));
}
