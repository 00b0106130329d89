#pragma once
// The find/replace dialog's own button pictures, drawn in code as 32 by 16
// glyph pairs (normal on the left, disabled on the right).
#include <QImage>

namespace trd::substituirglyphs {

QImage Substituir(); // an "A" with an arrow to a "B"
QImage SubstituirTodos(); // two rows of "A" to "B"
QImage Interromper(); // a red stop square

} // namespace trd::substituirglyphs
