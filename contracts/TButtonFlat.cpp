#include "TButtonFlat.h"

#include "Dispatch.h"
#include "EnabledRepaint.h"

#include <QIcon>
#include <QPixmap>

namespace trd {

TButtonFlat::TButtonFlat(QWidget* parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus); // a tool-bar button never takes the focus from the grid
    setIconSize(QSize(16, 16));
    // A fixed size, as the buttons are placed by position: a new glyph then
    // repaints the button alone instead of laying out the form again.
    setFixedSize(21, 21);
    CoalesceEnabledRepaints(this);
    connect(this, &QToolButton::clicked, this, [this] {
        if (OnClick)
            Dispatch([this] { OnClick(this); });
    });
}

void TButtonFlat::SetGlyph(const QImage& bitmap)
{
    m_glyph = bitmap;
    QIcon icon;
    if (NumGlyphs >= 2 && bitmap.width() >= 2) {
        const int w = bitmap.width() / NumGlyphs;
        icon.addPixmap(QPixmap::fromImage(bitmap.copy(0, 0, w, bitmap.height())), QIcon::Normal);
        icon.addPixmap(QPixmap::fromImage(bitmap.copy(w, 0, w, bitmap.height())), QIcon::Disabled);
    } else if (!bitmap.isNull()) {
        icon.addPixmap(QPixmap::fromImage(bitmap), QIcon::Normal);
    }
    setIcon(icon);
}

void TButtonFlat::Click()
{
    if (OnClick)
        OnClick(this);
}

} // namespace trd
