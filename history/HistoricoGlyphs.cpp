#include "HistoricoGlyphs.h"

#include "Glyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace trd::historicoglyphs {

QImage Desfazer()
{
    return glyphs::DrawnPair([](QPainter& p) {
        QPainterPath volta;
        volta.moveTo(4, 6);
        volta.lineTo(10, 6);
        volta.cubicTo(15, 6, 15, 13, 10, 13);
        volta.lineTo(6, 13);
        p.setPen(QPen(QColor(30, 60, 140), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(volta);
        QPainterPath ponta;
        ponta.moveTo(1.5, 6);
        ponta.lineTo(6, 2);
        ponta.lineTo(6, 10);
        ponta.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 60, 140));
        p.drawPath(ponta);
    });
}

} // namespace trd::historicoglyphs
