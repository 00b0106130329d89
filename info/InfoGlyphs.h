#pragma once
// The information dialog's button pictures, drawn in code as 32 by 16 glyph
// pairs (normal on the left, disabled on the right): Calcular and Revisado.
#include <QImage>

namespace trd::infoglyphs {

QImage Calcular(); // a pocket calculator
QImage Revisado(); // a sheet with a green tick

} // namespace trd::infoglyphs
