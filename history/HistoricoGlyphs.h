#pragma once
// The history's button picture, drawn in code as the other glyphs: an arrow
// turning back, for undo.
#include <QImage>

namespace trd::historicoglyphs {

QImage Desfazer();

} // namespace trd::historicoglyphs
