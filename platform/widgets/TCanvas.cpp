#include "TCanvas.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace trd {

namespace {
QColor paletteColor(QPalette::ColorRole role)
{
    return QApplication::palette().color(QPalette::Active, role);
}
} // namespace

QColor clInfoBk()
{
    return paletteColor(QPalette::ToolTipBase);
}
QColor clHighlight()
{
    return paletteColor(QPalette::Highlight);
}
QColor clCaptionText()
{
    return paletteColor(QPalette::HighlightedText);
}
QColor clHighlightText()
{
    return paletteColor(QPalette::HighlightedText);
}
QColor clWindowText()
{
    return paletteColor(QPalette::WindowText);
}
QColor clWindow()
{
    return paletteColor(QPalette::Base);
}
QColor clBtnFace()
{
    return paletteColor(QPalette::Button);
}

TCanvas::TCanvas(QPainter* painter, const QFont& baseFont) : m_painter(painter)
{
    SetBaseFont(baseFont);
}

void TCanvas::SetBaseFont(const QFont& font)
{
    m_baseFont = font;
    Font.Bold = font.bold();
    Font.Italic = font.italic();
    Font.Underline = font.underline();
}

QFont TCanvas::currentFont() const
{
    QFont font = m_baseFont;
    font.setBold(Font.Bold);
    font.setItalic(Font.Italic);
    font.setUnderline(Font.Underline);
    if (!Font.Name.isEmpty())
        font.setFamily(Font.Name);
    if (Font.Size > 0)
        font.setPointSize(Font.Size);
    return font;
}

void TCanvas::FillRect(const QRect& rect)
{
    if (m_painter)
        m_painter->fillRect(rect, Brush.Color);
}

void TCanvas::TextRect(const QRect& rect, int x, int y, const QString& text)
{
    if (!m_painter)
        return;
    m_painter->save();
    m_painter->setClipRect(rect, Qt::IntersectClip);
    m_painter->setFont(currentFont());
    m_painter->setPen(Font.Color);
    // The framework places the text's top, not its baseline, at y. Drawing
    // at a point (clipped) skips the text formatting a rectangle would cost.
    m_painter->drawText(QPoint(x, y + m_painter->fontMetrics().ascent()), text);
    m_painter->restore();
}

void TCanvas::TextOut(int x, int y, const QString& text)
{
    if (!m_painter)
        return;
    m_painter->save();
    m_painter->setFont(currentFont());
    m_painter->setPen(Font.Color);
    m_painter->drawText(QPoint(x, y + m_painter->fontMetrics().ascent()), text);
    m_painter->restore();
}

int TCanvas::TextWidth(const QString& text) const
{
    if (!m_painter)
        return 0;
    return QFontMetrics(currentFont(), m_painter->device()).horizontalAdvance(text);
}

void TCanvas::DrawFocusRect(const QRect& rect)
{
    if (!m_painter)
        return;
    m_painter->save();
    QPen pen(Brush.Color.lightness() < 128 ? Qt::white : Qt::black);
    pen.setStyle(Qt::DotLine);
    m_painter->setPen(pen);
    m_painter->setBrush(Qt::NoBrush);
    m_painter->drawRect(rect.adjusted(0, 0, -1, -1));
    m_painter->restore();
}

void TCanvas::BrushCopy(const QRect& dest, const QImage& bitmap, const QRect& source, const QColor& transparentColor)
{
    if (!m_painter || bitmap.isNull())
        return;
    QImage part = bitmap.copy(source).convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = transparentColor.rgb() | 0xff000000u;
    const QRgb brush = Brush.Color.rgba();
    for (int row = 0; row < part.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(part.scanLine(row));
        for (int col = 0; col < part.width(); ++col)
            if ((line[col] | 0xff000000u) == transparent && qAlpha(line[col]) == 255)
                line[col] = brush;
    }
    m_painter->drawImage(dest, part);
}

void TCanvas::Draw(int x, int y, const QImage& image)
{
    if (m_painter)
        m_painter->drawImage(QPoint(x, y), image);
}

} // namespace trd
