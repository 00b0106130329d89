#include "InfoGlyphs.h"

#include "Glyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace trd::infoglyphs {

QImage Calcular()
{
    return glyphs::DrawnPair([](QPainter& p) {
        p.setPen(QPen(QColor(50, 50, 60), 1));
        p.setBrush(QColor(200, 200, 190));
        p.drawRoundedRect(QRectF(2.5, 0.5, 11, 15), 1.5, 1.5);
        p.setBrush(QColor(190, 225, 170));
        p.drawRect(QRectF(4.5, 2.5, 7, 3));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 60, 70));
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                p.drawRect(QRectF(4.5 + c * 2.5, 7.5 + r * 2.5, 1.6, 1.6));
    });
}

QImage Revisado()
{
    return glyphs::DrawnPair([](QPainter& p) {
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 0.5, 10, 14));
        p.setPen(QPen(QColor(160, 160, 160), 1));
        for (int y = 3; y <= 7; y += 2)
            p.drawLine(QPointF(4.5, y + 0.5), QPointF(10.5, y + 0.5));
        QPainterPath tick;
        tick.moveTo(5.0, 10.5);
        tick.lineTo(8.0, 13.5);
        tick.lineTo(15.0, 5.5);
        p.setPen(QPen(QColor(0, 128, 0), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    });
}

} // namespace trd::infoglyphs
