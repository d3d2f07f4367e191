#include "password/FocusFrame.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

TFocusFrame::TFocusFrame(QWidget* target) : QWidget(target->parentWidget()), m_Target(target)
{
    setObjectName(target->objectName() + QStringLiteral("Focus"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    target->installEventFilter(this);
    Follow();
    hide();
}

bool TFocusFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_Target) {
        switch (event->type()) {
        case QEvent::FocusIn: Follow(); setVisible(m_Target->isVisible()); raise(); break;
        case QEvent::FocusOut:
        case QEvent::Hide: hide(); break;
        case QEvent::Move:
        case QEvent::Resize: Follow(); break;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFocusFrame::Follow()
{
    setGeometry(m_Target->geometry());
}

void TFocusFrame::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect().adjusted(3, 3, -3, -3);
    option.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    // Some styles draw no focus rectangle of their own: a dotted one then.
    p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
    p.drawRect(option.rect.adjusted(0, 0, -1, -1));
}
