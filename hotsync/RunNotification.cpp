#include "hotsync/RunNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include "hotsync/RunText.h"
#include "hotsync/SessionBus.h"

namespace {

QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

constexpr int kCallMilliseconds = 5000;

QDBusMessage Call(const char* method, const QList<QVariant>& args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(CRunNotification::kService, CRunNotification::kPath,
                                                       CRunNotification::kService, QString::fromLatin1(method));
    call.setArguments(args);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, kCallMilliseconds);
}

} // namespace

CRunNotification::Text CRunNotification::For(const CSyncRun::Outcome& outcome, const std::string& user)
{
    // The verdict, then each order's fate, one line each.
    Text t;
    const CRunVerdict& v = outcome.verdict;
    std::vector<std::string> lines{v.Headline()};
    for (const std::string& order : v.OrderLines()) lines.push_back(order);
    for (const std::string& line : lines) t.body += (t.body.empty() ? "" : "\n") + line;
    switch (v.GetKind()) {
    case CRunVerdict::Kind::Synchronized: t.summary = RunText(4330, "HotSync of %s: synchronized", user); break;
    case CRunVerdict::Kind::WithProblems:
        t.summary = RunText(4192, "HotSync of %s: synchronized with problems", user);
        t.failed = true;
        break;
    case CRunVerdict::Kind::Abandoned:
        t.summary = RunText(4331, "HotSync of %s: abandoned", user);
        t.failed = true;
        break;
    case CRunVerdict::Kind::Failed:
        t.summary = RunText(4332, "HotSync of %s: not synchronized", user);
        t.failed = true;
        break;
    }
    return t;
}

CRunNotification::CRunNotification() = default;

CRunNotification::~CRunNotification()
{
    if (!m_Actions) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.disconnect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                       SLOT(ActionInvoked(uint, QString)));
        bus.disconnect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                       SLOT(NotificationClosed(uint, uint)));
    }
}

bool CRunNotification::Send(const Text& text, std::string* error)
{
    if (!SessionBusThere()) {
        if (error) *error = "no session bus (DBUS_SESSION_BUS_ADDRESS is not set)";
        return false;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (error) *error = "no session bus: " + bus.lastError().message().toStdString();
        return false;
    }
    const QDBusMessage caps = Call("GetCapabilities");
    if (caps.type() != QDBusMessage::ReplyMessage) {
        if (error) *error = "no notification service answers: " + caps.errorMessage().toStdString();
        return false;
    }
    const QStringList capabilities = caps.arguments().value(0).toStringList();
    m_Actions = text.failed && capabilities.contains(QStringLiteral("actions"));
    QString body = Q(text.body);
    // A server that reads markup would take "<" in a reason for a tag.
    if (capabilities.contains(QStringLiteral("body-markup"))) body = body.toHtmlEscaped();
    if (m_Actions) {
        bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                    SLOT(ActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                    SLOT(NotificationClosed(uint, uint)));
    }
    QStringList actions;
    if (m_Actions) actions << QStringLiteral("default") << Q(RunText(4333, "Open the log"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(text.failed ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("hotsync-gui"));
    const QDBusMessage reply =
        Call("Notify", {QStringLiteral("HotSync"), 0u, QStringLiteral("hotsync-gui"), Q(text.summary), body, actions,
                        hints, -1});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (error) *error = "the notification service refused it: " + reply.errorMessage().toStdString();
        return false;
    }
    m_Id = reply.arguments().value(0).toUInt();
    m_Ended = !m_Actions;
    return true;
}

bool CRunNotification::WaitForClick(std::chrono::milliseconds bound)
{
    if (m_Ended) return m_Clicked;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(int(std::min<long long>(bound.count(), 24LL * 3600 * 1000)));
    // Checked every 50 ms: the slots below end the wait.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (m_Ended) loop.quit();
    });
    poll.start(50);
    loop.exec();
    return m_Clicked;
}

void CRunNotification::ActionInvoked(uint id, const QString& action)
{
    if (id != m_Id || m_Ended || action != QStringLiteral("default")) return;
    m_Clicked = true;
    m_Ended = true;
    Call("CloseNotification", {m_Id});
    if (m_OnClicked) m_OnClicked();
}

void CRunNotification::NotificationClosed(uint id, uint)
{
    if (id == m_Id) m_Ended = true;
}
