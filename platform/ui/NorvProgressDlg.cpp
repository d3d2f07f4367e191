#include "NorvProgressDlg.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <climits>
#include <cstring>

#include "ProgressArt.h"

namespace {

const char kInitialStatus[] = "Synchronisation Norvelia en cours";
constexpr int kAnimationPeriodMs = 100;

// Icon shown for each index of the timer.
constexpr int kIconOfIndex[6] = {138, 134, 135, 136, 137, 133};

int ClampToInt(long v)
{
    return int(std::clamp<long>(v, INT_MIN, INT_MAX));
}

QString ObjectName(int id)
{
    return QStringLiteral("ctl%1").arg(id);
}

} // namespace

CNorvProgressDlg::CNorvProgressDlg(QWidget* parent) : QDialog(parent), m_DialogFont(QStringLiteral("MS Sans Serif"), 8)
{
    setFont(m_DialogFont);
    setWindowTitle(QStringLiteral("Progression"));
    setModal(false);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    setFixedSize(FromDialogUnits(QRect(0, 0, kWidthUnits, kHeightUnits)).size());

    // In the resource's order.
    m_Abandon = new QPushButton(tr("&Abandon"), this);
    m_Abandon->setObjectName(ObjectName(kAbandon));
    m_Abandon->setGeometry(FromDialogUnits(QRect(80, 146, 50, 14)));
    m_Abandon->setAutoDefault(false);
    connect(m_Abandon, &QPushButton::clicked, this, [this] { OnAbandon(); });

    // The placeholder only gives the place where bitmap 130 is painted.
    QLabel* place = AddLabel(kBitmapPlace, QRect(49, 6, 119, 25), QString());
    m_BitmapRect = place->geometry();
    place->hide();
    const QImage bitmap = platform::ProgressBitmap(m_BitmapRect.width(), m_BitmapRect.height());
    // White is the transparent colour.
    m_Bitmap = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QImage mask = bitmap.createMaskFromColor(qRgb(255, 255, 255), Qt::MaskOutColor);
    for (int y = 0; y < m_Bitmap.height(); ++y)
        for (int x = 0; x < m_Bitmap.width(); ++x)
            if (mask.pixelIndex(x, y) == 0) m_Bitmap.setPixel(x, y, qRgba(0, 0, 0, 0));

    m_Bar1 = AddBar(kBar1, QRect(8, 104, 194, 7));
    m_IconLabel = AddLabel(kIcon, QRect(38, 5, 21, 20), QString());
    m_IconLabel->setAlignment(Qt::AlignCenter);
    m_ShownIcon = kIconOfIndex[0];
    m_IconLabel->setPixmap(platform::ProgressIcon(m_ShownIcon, std::min(m_IconLabel->width(), m_IconLabel->height())));
    AddFrame(QRect(34, 3, 144, 32), false);
    m_Status1 = AddLabel(kStatus1, QRect(9, 88, 189, 10), QString::fromUtf8(kInitialStatus));
    m_Animation = AddLabel(kAnimation, QRect(17, 38, 174, 38), QString());
    AddFrame(QRect(5, 83, 198, 18), true);
    m_Bar2 = AddBar(kBar2, QRect(7, 136, 194, 7));
    AddFrame(QRect(5, 115, 198, 18), true);
    m_Status2 = AddLabel(kStatus2, QRect(9, 120, 189, 10), QString::fromUtf8(kInitialStatus));
    for (QLabel* l : {m_Status1, m_Status2}) {
        l->setAlignment(Qt::AlignCenter);
        // Status texts may come from the network: never read as markup.
        l->setTextFormat(Qt::PlainText);
    }

    m_IconTimer = startTimer(kIconPeriodMs);
    // The animation plays from its first to its last frame, without end.
    m_AnimationTimer = new QTimer(this);
    m_AnimationTimer->setObjectName(QStringLiteral("animation"));
    connect(m_AnimationTimer, &QTimer::timeout, this, [this] { NextFrame(); });
    m_AnimationTimer->start(kAnimationPeriodMs);
    m_Frame = -1;
    NextFrame();
}

CNorvProgressDlg::~CNorvProgressDlg()
{
    if (m_IconTimer) killTimer(m_IconTimer);
}

QRect CNorvProgressDlg::FromDialogUnits(const QRect& units) const
{
    // Dialog units: a quarter of the font's average character width across,
    // an eighth of its height down.
    const QFontMetrics fm(m_DialogFont);
    const int chars = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = std::max(1, (chars / 26 + 1) / 2);
    const int baseY = std::max(1, fm.height());
    const auto x = [&](int u) { return (u * baseX + 2) / 4; };
    const auto y = [&](int u) { return (u * baseY + 4) / 8; };
    return QRect(x(units.x()), y(units.y()), x(units.width()), y(units.height()));
}

QLabel* CNorvProgressDlg::AddLabel(int id, const QRect& units, const QString& text)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(ObjectName(id));
    label->setGeometry(FromDialogUnits(units));
    return label;
}

QProgressBar* CNorvProgressDlg::AddBar(int id, const QRect& units)
{
    auto* bar = new QProgressBar(this);
    bar->setObjectName(ObjectName(id));
    bar->setGeometry(FromDialogUnits(units));
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    return bar;
}

void CNorvProgressDlg::AddFrame(const QRect& units, bool etched)
{
    auto* frame = new QFrame(this);
    frame->setGeometry(FromDialogUnits(units));
    frame->setFrameStyle(etched ? QFrame::Box | QFrame::Sunken : QFrame::Box | QFrame::Plain);
    frame->setLineWidth(1);
    frame->setMidLineWidth(0);
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    frame->lower();
}

void CNorvProgressDlg::SetStatus1(const QString& text)
{
    m_Status1->setText(text);
}

void CNorvProgressDlg::SetStatus2(const QString& text)
{
    m_Status2->setText(text);
}

void CNorvProgressDlg::SetRange1(long low, long high)
{
    m_Bar1->setRange(ClampToInt(low), ClampToInt(high));
}

void CNorvProgressDlg::SetRange2(long low, long high)
{
    m_Bar2->setRange(ClampToInt(low), ClampToInt(high));
}

void CNorvProgressDlg::SetPos1(long position)
{
    m_Bar1->setValue(std::clamp(ClampToInt(position), m_Bar1->minimum(), m_Bar1->maximum()));
    if (m_Bar1->isVisible()) m_Bar1->repaint();
}

void CNorvProgressDlg::SetPos2(long position)
{
    m_Bar2->setValue(std::clamp(ClampToInt(position), m_Bar2->minimum(), m_Bar2->maximum()));
    if (m_Bar2->isVisible()) m_Bar2->repaint();
}

void CNorvProgressDlg::ShowBar1(bool show)
{
    m_Bar1->setVisible(show);
}

void CNorvProgressDlg::ShowBar2(bool show)
{
    m_Bar2->setVisible(show);
}

void CNorvProgressDlg::ShowCentred()
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    show();
    raise();
    activateWindow();
    repaint();
}

void CNorvProgressDlg::SetCancel(bool cancelled)
{
    m_Cancel.store(cancelled);
    if (!cancelled) m_Abandon->setEnabled(true);
}

void CNorvProgressDlg::OnAbandon()
{
    m_Cancel.store(true);
    m_Abandon->setEnabled(false);
}

LRESULT CNorvProgressDlg::OnCopyData(const COPYDATASTRUCT& data)
{
    if (data.cbData != kDataMessageSize || data.lpData == nullptr) return 0;
    const auto* bytes = static_cast<const unsigned char*>(data.lpData);
    const DWORD kind = DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
    if (kind != 1 && kind != 2) return 0;
    const char* text = reinterpret_cast<const char*>(bytes + 4);
    SetStatus1(QString::fromUtf8(text, qsizetype(strnlen(text, kDataMessageSize - 4))));
    if (m_Status1->isVisible()) m_Status1->repaint();
    QThread::msleep(kind == 1 ? 100 : 300);
    return 1;
}

void CNorvProgressDlg::OnTimer()
{
    m_ShownIcon = kIconOfIndex[m_IconIndex];
    m_IconLabel->setPixmap(platform::ProgressIcon(m_ShownIcon, std::min(m_IconLabel->width(), m_IconLabel->height())));
    m_IconIndex = (m_IconIndex + 1) % 6;
}

void CNorvProgressDlg::NextFrame()
{
    m_Frame = (m_Frame + 1) % platform::kAnimationFrames;
    m_Animation->setPixmap(platform::AnimationFrame(m_Frame, m_Animation->width(), m_Animation->height()));
}

void CNorvProgressDlg::timerEvent(QTimerEvent* e)
{
    if (e->timerId() == m_IconTimer) {
        OnTimer();
        return;
    }
    QDialog::timerEvent(e);
}

void CNorvProgressDlg::paintEvent(QPaintEvent* e)
{
    QDialog::paintEvent(e);
    QPainter p(this);
    p.drawImage(QRect(m_BitmapRect.x(), 5, m_BitmapRect.width(), m_BitmapRect.height()), m_Bitmap);
}

void CNorvProgressDlg::closeEvent(QCloseEvent* e)
{
    // Closing the window asks the run to stop; the run removes the window.
    OnAbandon();
    e->ignore();
}
