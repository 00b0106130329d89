#include "SubstituirGlyphs.h"

#include "Glyphs.h"

#include <QPainter>

namespace trd::substituirglyphs {

namespace {

// "A -> B" in a band of the picture, top at `y`, `h` high.
void troca(QPainter& p, int y, int h)
{
    QFont font = p.font();
    font.setPixelSize(h);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(30, 30, 120));
    p.drawText(QRect(0, y, 6, h), Qt::AlignCenter, QStringLiteral("A"));
    p.setPen(QColor(150, 30, 30));
    p.drawText(QRect(10, y, 6, h), Qt::AlignCenter, QStringLiteral("B"));
    p.setPen(QPen(QColor(40, 40, 40), 1));
    const qreal mid = y + h / 2.0;
    p.drawLine(QPointF(5.5, mid), QPointF(10, mid));
    p.drawLine(QPointF(8, mid - 2), QPointF(10, mid));
    p.drawLine(QPointF(8, mid + 2), QPointF(10, mid));
}

} // namespace

QImage Substituir()
{
    return glyphs::DrawnPair([](QPainter& p) { troca(p, 3, 10); });
}

QImage SubstituirTodos()
{
    return glyphs::DrawnPair([](QPainter& p) {
        troca(p, 0, 8);
        troca(p, 8, 8);
    });
}

QImage Interromper()
{
    return glyphs::DrawnPair([](QPainter& p) {
        p.setPen(QPen(QColor(120, 0, 0), 1));
        p.setBrush(QColor(210, 40, 40));
        p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 2, 2);
    });
}

} // namespace trd::substituirglyphs
