#include "Glyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace trd::glyphs {

namespace {

void drawPlus(QPainter& p, QColor c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(7, 2, 3, 12);
    p.drawRect(2, 7, 12, 3);
}

void drawMinus(QPainter& p, QColor c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(2, 7, 12, 3);
}

void drawCross(QPainter& p, QColor c)
{
    p.setPen(QPen(c, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

void drawCheck(QPainter& p, QColor c)
{
    p.setPen(QPen(c, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5)}));
}

void drawPencil(QPainter& p)
{
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(240, 190, 40));
    QPolygonF body({QPointF(3, 11), QPointF(11, 3), QPointF(13, 5), QPointF(5, 13)});
    p.drawPolygon(body);
    p.setBrush(QColor(60, 60, 60));
    p.drawPolygon(QPolygonF({QPointF(3, 11), QPointF(5, 13), QPointF(2, 14)}));
}

void drawMagnifier(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1.6));
    p.setBrush(QColor(200, 230, 255));
    p.drawEllipse(QPointF(6.5, 6.5), 4.2, 4.2);
    p.setPen(QPen(QColor(90, 60, 30), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.8, 9.8), QPointF(14, 14));
}

void drawRefresh(QPainter& p)
{
    p.setPen(QPen(QColor(20, 110, 40), 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 280 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 110, 40));
    p.drawPolygon(QPolygonF({QPointF(10, 1), QPointF(15, 4), QPointF(10, 7.5)}));
}

void drawPrinter(QPainter& p)
{
    p.setPen(QPen(QColor(50, 50, 50), 1));
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 8, 5);
    p.setBrush(QColor(150, 150, 160));
    p.drawRect(1, 6, 14, 6);
    p.setBrush(Qt::white);
    p.drawRect(4, 10, 8, 5);
    p.setPen(QColor(60, 160, 60));
    p.drawPoint(13, 8);
}

void drawQuestion(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 80, 180));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(Qt::white);
    QFont f;
    f.setPixelSize(12);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
}

void drawExit(QPainter& p)
{
    p.setPen(QPen(QColor(80, 50, 20), 1));
    p.setBrush(QColor(170, 110, 50));
    p.drawRect(2, 1, 8, 14);
    p.setPen(QPen(QColor(180, 20, 20), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(8, 8), QPointF(15, 8));
    p.drawPolyline(QPolygonF({QPointF(12, 5), QPointF(15, 8), QPointF(12, 11)}));
}

QImage normalGlyph(Kind kind)
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case Incluir:
        drawPlus(p, QColor(20, 130, 40));
        break;
    case Alterar:
        drawPencil(p);
        break;
    case Excluir:
        drawMinus(p, QColor(200, 30, 30));
        break;
    case Procurar:
        drawMagnifier(p);
        break;
    case Verificar:
        drawRefresh(p);
        break;
    case Cancelar:
        drawCross(p, QColor(200, 30, 30));
        break;
    case Confirmar:
        drawCheck(p, QColor(20, 130, 40));
        break;
    case Imprimir:
        drawPrinter(p);
        break;
    case Ajuda:
        drawQuestion(p);
        break;
    case Fechar:
        drawExit(p);
        break;
    case Confirma:
        drawCheck(p, QColor(20, 130, 40));
        break;
    case Cancela:
        drawCross(p, QColor(200, 30, 30));
        break;
    }
    return image;
}

} // namespace

QImage Disabled(const QImage& normal)
{
    QImage out = normal.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb px = line[x];
            const int grey = 128 + qGray(px) / 2;
            line[x] = qRgba(grey, grey, grey, qAlpha(px) * 3 / 4);
        }
    }
    return out;
}

QImage GlyphPair(const QImage& normal)
{
    QImage both(32, 16, QImage::Format_ARGB32_Premultiplied);
    both.fill(Qt::transparent);
    QPainter p(&both);
    p.drawImage(0, 0, normal);
    p.drawImage(16, 0, Disabled(normal));
    return both;
}

QImage DrawnPair(const std::function<void(QPainter&)>& draw)
{
    QImage normal(16, 16, QImage::Format_ARGB32_Premultiplied);
    normal.fill(Qt::transparent);
    {
        QPainter p(&normal);
        p.setRenderHint(QPainter::Antialiasing, true);
        draw(p);
    }
    return GlyphPair(normal);
}

QImage TwoGlyphs(Kind kind)
{
    return GlyphPair(normalGlyph(kind));
}

} // namespace trd::glyphs
