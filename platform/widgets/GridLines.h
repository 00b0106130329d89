#pragma once
// The lines between a table view's cells, drawn as the view draws them (one
// pixel under each row and at the right of each column, across the part of
// each dirty rectangle that holds cells) but filled as one-pixel rectangles:
// the view strokes each line with a pen, pixel by pixel, across every dirty
// rectangle of every paint. Left to right views without spans only.
#include <QColor>

class QPainter;
class QRegion;
class QTableView;

namespace trd {

void FillGridLines(const QTableView& view, QPainter& painter, const QRegion& region, const QColor& colour);

} // namespace trd
