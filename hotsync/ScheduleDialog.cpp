#include "hotsync/ScheduleDialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QMessageBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "hotsync/HotSyncHome.h"
#include "seam/UiText.h"

namespace {

using platform::UiText;

QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString Plain(int number, const char* english)
{
    return UiText(number, english).remove(QLatin1Char('&'));
}

} // namespace

CScheduleDialog::CScheduleDialog(std::string home, const QString& user, const QString& handheld, QWidget* parent)
    : QDialog(parent), m_User(user.toStdString()), m_Handheld(handheld.toStdString())
{
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::absolute(CHotSyncHome::Resolve(home), ec);
    m_Home = ec ? CHotSyncHome::Resolve(home) : resolved.lexically_normal().string();
    m_Program = (QCoreApplication::applicationDirPath() + QStringLiteral("/hotsync")).toStdString();
    setObjectName(QStringLiteral("schedule"));
    setWindowTitle(Plain(4371, "Synchronize automatically...").remove(QStringLiteral("...")));
    auto* layout = new QVBoxLayout(this);
    auto* explain = new QLabel(UiText(4372, "%s's handheld %s is then synchronized without questions, while you are "
                                            "logged in; the verdict of each run shows as a notification.",
                                      m_User, m_Handheld),
                               this);
    explain->setWordWrap(true);
    layout->addWidget(explain);
    auto* grid = new QGridLayout;
    m_Off = new QRadioButton(UiText(4373, "Only when I press \"%s\"", Plain(4009, "Synchronize").toStdString()), this);
    m_Off->setObjectName(QStringLiteral("scheduleOff"));
    m_Every = new QRadioButton(UiText(4374, "&Every"), this);
    m_Every->setObjectName(QStringLiteral("scheduleEvery"));
    m_Hours = new QSpinBox(this);
    m_Hours->setObjectName(QStringLiteral("scheduleHours"));
    m_Hours->setRange(1, CSyncSchedule::kMaxEveryMinutes / 60);
    m_Hours->setSuffix(QStringLiteral(" h"));
    m_Daily = new QRadioButton(UiText(4375, "Every &day at"), this);
    m_Daily->setObjectName(QStringLiteral("scheduleDaily"));
    m_At = new QTimeEdit(this);
    m_At->setObjectName(QStringLiteral("scheduleAt"));
    m_At->setDisplayFormat(QStringLiteral("HH:mm"));
    grid->addWidget(m_Off, 0, 0, 1, 2);
    grid->addWidget(m_Every, 1, 0);
    grid->addWidget(m_Hours, 1, 1);
    grid->addWidget(m_Daily, 2, 0);
    grid->addWidget(m_At, 2, 1);
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);
    m_Current = new QLabel(this);
    m_Current->setObjectName(QStringLiteral("scheduleCurrent"));
    m_Current->setWordWrap(true);
    layout->addWidget(m_Current);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(UiText(4037, "OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(UiText(4379, "Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_Hours, &QSpinBox::valueChanged, this, [this] { m_Every->setChecked(true); });
    connect(m_At, &QTimeEdit::timeChanged, this, [this] { m_Daily->setChecked(true); });

    m_Hours->setValue(24);
    m_At->setTime(QTime(12, 0));
    const auto current = CSyncSchedule::Read(m_User);
    if (current) {
        Choose(current->when);
        m_Current->setText(UiText(4337, "%s's handheld %s is synchronized %s (timer %s).", m_User, current->handheld,
                                  CSyncSchedule::WhenText(current->when), CSyncSchedule::UnitName(m_User) + ".timer"));
    } else {
        Choose({});
        m_Current->setText(UiText(4324, "%s has no scheduled synchronization.", m_User));
    }
}

CSyncSchedule::When CScheduleDialog::Chosen() const
{
    if (m_Every->isChecked()) return {CSyncSchedule::When::Kind::Every, m_Hours->value() * 60};
    if (m_Daily->isChecked())
        return {CSyncSchedule::When::Kind::Daily, m_At->time().hour() * 60 + m_At->time().minute()};
    return {};
}

void CScheduleDialog::Choose(const CSyncSchedule::When& when)
{
    switch (when.kind) {
    case CSyncSchedule::When::Kind::Off: m_Off->setChecked(true); break;
    case CSyncSchedule::When::Kind::Every:
        // The window offers whole hours; a shorter interval set by hand reads as one hour.
        m_Hours->setValue(std::max(1, when.minutes / 60));
        m_Every->setChecked(true);
        break;
    case CSyncSchedule::When::Kind::Daily:
        m_At->setTime(QTime(when.minutes / 60, when.minutes % 60));
        m_Daily->setChecked(true);
        break;
    }
}

CSyncSchedule::Result CScheduleDialog::Apply() const
{
    const CSyncSchedule::When when = Chosen();
    if (when.kind == CSyncSchedule::When::Kind::Off) return CSyncSchedule::Remove(m_User);
    return CSyncSchedule::Install({m_User, m_Handheld, m_Home, when, {}}, m_Program);
}

void CScheduleDialog::accept()
{
    const CSyncSchedule::Result r = Apply();
    if (r.status == 0)
        QMessageBox::information(this, windowTitle(), Q(r.text));
    else
        QMessageBox::warning(this, windowTitle(), Q(r.text));
    QDialog::accept();
}
