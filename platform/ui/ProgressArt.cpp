#include "ProgressArt.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace platform {

namespace {

void DrawHandheld(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(QColor(40, 40, 48), r.width() / 16));
    p.setBrush(QColor(96, 100, 112));
    p.drawRoundedRect(r, r.width() / 6, r.width() / 6);
    const QRectF screen(r.left() + r.width() * 0.16, r.top() + r.height() * 0.12, r.width() * 0.68,
                        r.height() * 0.52);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(170, 200, 150));
    p.drawRect(screen);
    p.setBrush(QColor(200, 204, 212));
    const double d = r.width() * 0.18;
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QRectF(r.left() + r.width() * (0.14 + 0.27 * i), r.bottom() - r.height() * 0.26, d, d));
}

void DrawDesktop(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(QColor(40, 40, 48), 1.5));
    p.setBrush(QColor(220, 222, 228));
    p.drawRect(QRectF(r.left(), r.top(), r.width(), r.height() * 0.72));
    p.setBrush(QColor(60, 110, 190));
    p.drawRect(QRectF(r.left() + 3, r.top() + 3, r.width() - 6, r.height() * 0.72 - 6));
    p.setBrush(QColor(160, 160, 170));
    p.drawRect(QRectF(r.center().x() - r.width() * 0.2, r.top() + r.height() * 0.8, r.width() * 0.4,
                      r.height() * 0.12));
}

} // namespace

QPixmap ProgressIcon(int id, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    DrawHandheld(p, QRectF(s * 0.3, s * 0.16, s * 0.4, s * 0.68));
    // The arrow goes round in six steps of 60 degrees.
    const int step = (id - kFirstProgressIcon) % 6;
    const QRectF ring(s * 0.08, s * 0.08, s * 0.84, s * 0.84);
    const double start = 90.0 - 60.0 * step;
    QPen pen(QColor(30, 140, 60), s / 10, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, int(start * 16), int(-120 * 16));
    const double end = (start - 120) * M_PI / 180.0;
    const QPointF tip(ring.center().x() + std::cos(end) * ring.width() / 2,
                      ring.center().y() - std::sin(end) * ring.height() / 2);
    // The head points along the clockwise tangent.
    const QPointF along(std::sin(end), std::cos(end));
    const QPointF across(-along.y(), along.x());
    QPainterPath head;
    head.moveTo(tip + along * (s * 0.14));
    head.lineTo(tip + across * (s * 0.1));
    head.lineTo(tip - across * (s * 0.1));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 140, 60));
    p.drawPath(head);
    return pm;
}

QImage ProgressBitmap(int width, int height)
{
    QImage img(qMax(width, 1), qMax(height, 1), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    const double w = img.width(), h = img.height();
    // A wave under the name, in the product's blue and orange.
    QPainterPath wave;
    wave.moveTo(0, h * 0.8);
    for (int x = 0; x <= int(w); x += 2) wave.lineTo(x, h * 0.8 + std::sin(x / w * 2 * M_PI) * h * 0.1);
    p.setPen(QPen(QColor(240, 140, 20), qMax(1.0, h / 12)));
    p.drawPath(wave);
    QFont f;
    f.setBold(true);
    f.setPixelSize(qMax(6, int(h * 0.55)));
    p.setFont(f);
    p.setPen(QColor(20, 60, 150));
    p.drawText(QRectF(0, 0, w, h * 0.75), Qt::AlignCenter, QStringLiteral("Norvelia"));
    return img;
}

QPixmap AnimationFrame(int frame, int width, int height)
{
    QPixmap pm(qMax(width, 1), qMax(height, 1));
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = pm.width(), h = pm.height();
    const QRectF handheld(w * 0.04, h * 0.12, h * 0.45, h * 0.76);
    const QRectF desktop(w * 0.96 - h * 0.95, h * 0.08, h * 0.95, h * 0.86);
    DrawHandheld(p, handheld);
    DrawDesktop(p, desktop);
    // The page flies along an arc from one to the other.
    const double t = double(((frame % kAnimationFrames) + kAnimationFrames) % kAnimationFrames) / kAnimationFrames;
    const double x0 = handheld.right(), x1 = desktop.left() - h * 0.25;
    const double x = x0 + (x1 - x0) * t;
    const double y = h * 0.55 - std::sin(t * M_PI) * h * 0.4;
    p.setPen(QPen(QColor(80, 80, 90), 1));
    p.setBrush(Qt::white);
    const QRectF page(x, y - h * 0.16, h * 0.24, h * 0.32);
    p.drawRect(page);
    for (int i = 1; i <= 3; ++i)
        p.drawLine(QPointF(page.left() + 2, page.top() + page.height() * i / 4.5),
                   QPointF(page.right() - 2, page.top() + page.height() * i / 4.5));
    return pm;
}

} // namespace platform
