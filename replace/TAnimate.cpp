#include "TAnimate.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace trd {

TAnimate::TAnimate(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(sizeHint());
}

void TAnimate::SetActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (active)
        m_clock.start();
    update();
}

int TAnimate::Frame() const
{
    if (!m_active)
        return StopFrame;
    return static_cast<int>((m_clock.elapsed() / FrameMs) % FrameCount);
}

void TAnimate::paintEvent(QPaintEvent*)
{
    const int frame = Frame();
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setRenderHint(QPainter::Antialiasing);

    // The sheet, with lines of text.
    const QRectF sheet(10.5, 3.5, 26, 33);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawRect(sheet);
    p.setPen(QPen(QColor(120, 120, 160), 1.5));
    for (int line = 0; line < 6; ++line) {
        const qreal y = sheet.top() + 6 + line * 4.5;
        const qreal end = sheet.right() - 4 - ((line * 7) % 9);
        p.drawLine(QPointF(sheet.left() + 4, y), QPointF(end, y));
    }

    // The magnifier, one step of its circle per frame.
    const double angle = 2 * std::numbers::pi * frame / FrameCount;
    const QPointF centre(23 + 8 * std::cos(angle), 19 + 7 * std::sin(angle));
    const qreal radius = 7;
    p.setPen(QPen(QColor(60, 60, 60), 3, Qt::SolidLine, Qt::RoundCap));
    const QPointF handle = centre + QPointF(radius * 0.72, radius * 0.72);
    p.drawLine(handle, handle + QPointF(6, 6));
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(200, 225, 255, 170));
    p.drawEllipse(centre, radius, radius);
}

} // namespace trd
