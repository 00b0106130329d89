#pragma once
// The flat tool-bar button: 21 by 21 pixels, no frame until the mouse is over
// it, a glyph image holding its normal and disabled pictures side by side, an
// integer tag, a hint, and a click handler.
#include "FormEvents.h"

#include <QImage>
#include <QToolButton>

namespace trd {

class TButtonFlat : public QToolButton {
    Q_OBJECT
public:
    explicit TButtonFlat(QWidget* parent = nullptr);

    // Replaces the image. With NumGlyphs 2 (the default) the bitmap holds the
    // normal picture on its left half and the disabled one on its right half.
    void SetGlyph(const QImage& bitmap);
    const QImage& Glyph() const { return m_glyph; }
    int NumGlyphs = 2;

    QString Hint() const { return toolTip(); }
    void SetHint(const QString& hint) { setToolTip(hint); }
    void SetBounds(int left, int top, int width, int height)
    {
        setFixedSize(width, height);
        move(left, top);
    }

    int Tag = 0;

    // Runs the click handler as a click by the user would, enabled or not
    // (code that clicks a button means it). Exceptions reach the caller; a
    // click by the user enters the handler through Dispatch.
    void Click();
    TNotifyEvent OnClick;

private:
    QImage m_glyph;
};

} // namespace trd
