#pragma once
// The drawing surface handed to owner-draw handlers: a brush, a font and the
// few drawing operations the module's painting uses, over a QPainter that is
// valid while the grid paints a cell.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

class QPainter;

namespace trd {

// System colours the module names, read from the application palette.
QColor clInfoBk(); // info-tip background
QColor clHighlight(); // selection background
// Text of an active window's caption. Qt has no caption colour of its own;
// the selection text colour (white on most styles) is what Qt styles draw on
// the highlight, which is where the module uses it.
QColor clCaptionText();
QColor clHighlightText();
QColor clWindowText();
QColor clWindow();
QColor clBtnFace();

// Fixed colours the module names: the same on every palette and style.
inline constexpr QColor clOlive{128, 128, 0};
inline constexpr QColor clGreen{0, 128, 0};
inline constexpr QColor clYellow{255, 255, 0};
inline constexpr QColor clRed{255, 0, 0};
inline constexpr QColor clBlack{0, 0, 0};
inline constexpr QColor clWhite{255, 255, 255};

struct TBrush {
    QColor Color = Qt::white;
};

struct TFont {
    QColor Color = Qt::black;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    QString Name; // empty: the control's font family
    int Size = 0; // points; 0: the control's size
};

class TCanvas {
public:
    // painter may be null: the canvas then ignores drawing (a handler called
    // outside painting).
    explicit TCanvas(QPainter* painter = nullptr, const QFont& baseFont = QFont());

    TBrush Brush;
    TFont Font;

    void FillRect(const QRect& rect);
    // Writes text with its top-left at (x, y), clipped to rect.
    void TextRect(const QRect& rect, int x, int y, const QString& text);
    void TextOut(int x, int y, const QString& text);
    // Width in pixels of text in the canvas's current font (0 outside painting).
    int TextWidth(const QString& text) const;
    // A dotted rectangle along the inside of rect.
    void DrawFocusRect(const QRect& rect);
    // Copies source of bitmap into dest (scaled when the sizes differ), the
    // pixels of transparentColor replaced by the brush colour.
    void BrushCopy(const QRect& dest, const QImage& bitmap, const QRect& source, const QColor& transparentColor);
    void Draw(int x, int y, const QImage& image);

    QPainter* Painter() const { return m_painter; }
    void SetPainter(QPainter* painter) { m_painter = painter; }
    void SetBaseFont(const QFont& font);

private:
    QFont currentFont() const;

    QPainter* m_painter;
    QFont m_baseFont;
};

} // namespace trd
