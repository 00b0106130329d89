#include "EditorGlyphs.h"

#include "Glyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace trd::editorglyphs {

QImage Substituir()
{
    return glyphs::DrawnPair([](QPainter& p) {
        QFont font = p.font();
        font.setPixelSize(8);
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(30, 30, 120));
        p.drawText(QRect(0, 0, 8, 8), Qt::AlignCenter, QStringLiteral("A"));
        p.setPen(QColor(150, 30, 30));
        p.drawText(QRect(8, 0, 8, 8), Qt::AlignCenter, QStringLiteral("B"));
        p.setPen(QPen(QColor(40, 40, 40), 1.4));
        p.setBrush(QColor(200, 230, 255, 200));
        p.drawEllipse(QPointF(6.5, 10.0), 3.6, 3.6);
        p.setPen(QPen(QColor(90, 60, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9.3, 12.8), QPointF(13.5, 15.0));
    });
}

QImage Filtro()
{
    return glyphs::DrawnPair([](QPainter& p) {
        QPainterPath funnel;
        funnel.moveTo(1.5, 2.5);
        funnel.lineTo(14.5, 2.5);
        funnel.lineTo(9.5, 8.5);
        funnel.lineTo(9.5, 14.0);
        funnel.lineTo(6.5, 12.5);
        funnel.lineTo(6.5, 8.5);
        funnel.closeSubpath();
        p.setPen(QPen(QColor(40, 60, 100), 1));
        p.setBrush(QColor(90, 150, 220));
        p.drawPath(funnel);
    });
}

QImage Informacoes()
{
    return glyphs::DrawnPair([](QPainter& p) {
        p.setPen(QPen(QColor(20, 60, 140), 1));
        p.setBrush(QColor(50, 110, 210));
        p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(8, 4.6), 1.3, 1.3);
        p.drawRect(QRectF(7, 7, 2, 5.5));
    });
}

} // namespace trd::editorglyphs
