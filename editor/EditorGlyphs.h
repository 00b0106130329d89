#pragma once
// The editor's own tool-bar pictures, drawn in code as 32 by 16 glyph pairs
// (normal on the left, disabled on the right): find/replace, filter and the
// translation information. The status lamps are in StatusLamps.
#include <QImage>

namespace trd::editorglyphs {

QImage Substituir(); // a magnifier over an "A" turning into a "B"
QImage Filtro(); // a funnel
QImage Informacoes(); // an "i" in a blue disc

} // namespace trd::editorglyphs
