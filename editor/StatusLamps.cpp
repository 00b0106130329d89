#include "StatusLamps.h"

#include "Glyphs.h"

#include <QPainter>
#include <QRadialGradient>

namespace trd::lamps {

namespace {

QColor lampColour(Lamp lamp)
{
    switch (lamp) {
    case Vermelha:
        return QColor(230, 20, 20);
    case Amarela:
        return QColor(250, 220, 0);
    case Verde:
        return QColor(20, 190, 40);
    }
    return Qt::gray;
}

// A lamp in a dark housing, filling a 16 by 16 cell. A dim lamp keeps its hue
// so the user still tells the three apart when none is lit.
void paintLamp(QPainter& p, Lamp lamp, bool lit)
{
    // The housing has hard edges: blended rim pixels would be neither olive
    // nor housing, and the grid would paint them as a greenish fringe.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(40, 40, 40));
    p.setBrush(QColor(70, 70, 70));
    p.drawRect(1, 1, 13, 13);
    p.setRenderHint(QPainter::Antialiasing, true);

    const QColor base = lampColour(lamp);
    QRadialGradient glass(QPointF(6.5, 6.0), 6.5);
    if (lit) {
        glass.setColorAt(0.0, base.lighter(175));
        glass.setColorAt(0.45, base);
        glass.setColorAt(1.0, base.darker(130));
    } else {
        const QColor dim = base.darker(260);
        glass.setColorAt(0.0, dim.lighter(130));
        glass.setColorAt(1.0, dim.darker(120));
    }
    p.setPen(QPen(QColor(25, 25, 25), 0.8));
    p.setBrush(glass);
    p.drawEllipse(QPointF(8, 8), 5.2, 5.2);
    if (lit) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawEllipse(QPointF(6.4, 6.2), 1.5, 1.2);
    }
}

QImage lampPicture(Lamp lamp, bool lit, const QColor& background)
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter p(&image);
    paintLamp(p, lamp, lit);
    return image;
}

} // namespace

QImage LampGlyphs(Lamp lamp, bool lit)
{
    return glyphs::GlyphPair(lampPicture(lamp, lit, Qt::transparent));
}

QImage LampIcon(Lamp lamp)
{
    return lampPicture(lamp, true, Oliva()).convertToFormat(QImage::Format_RGB32);
}

} // namespace trd::lamps
