#pragma once
// The signal lamps that stand for a translation status wherever the editor
// shows one: red for "N", yellow for "D", green for "T". Drawn in code so the
// package carries no image files.
//
// - LampGlyphs: a 32 by 16 tool-bar bitmap, the button's normal picture on
//   the left half and its disabled (grey) picture on the right half, the lamp
//   lit or dim. Transparent background: the flat buttons draw it as it stands.
// - LampIcon: the 16 by 16 grid icon, the lamp lit on an olive background
//   (red 128, green 128, blue 0); the grid paints olive as transparent.
#include <QColor>
#include <QImage>

namespace trd::lamps {

enum Lamp { Vermelha, Amarela, Verde };

// The colour whose pixels the grid icons treat as transparent.
inline QColor Oliva()
{
    return QColor(128, 128, 0);
}

QImage LampGlyphs(Lamp lamp, bool lit);
QImage LampIcon(Lamp lamp);

} // namespace trd::lamps
