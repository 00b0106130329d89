#include "GridLines.h"

#include <QHeaderView>
#include <QPainter>
#include <QRegion>
#include <QTableView>

namespace trd {

void FillGridLines(const QTableView& view, QPainter& painter, const QRegion& region, const QColor& colour)
{
    const QHeaderView* rows = view.verticalHeader();
    const QHeaderView* columns = view.horizontalHeader();
    if (columns->count() == 0 || rows->count() == 0)
        return;
    // The last pixel that holds a cell, across and down.
    const int lastX = columns->length() - columns->offset() - 1;
    const int lastY = rows->length() - rows->offset() - 1;
    for (QRect area : region) {
        area.setBottom(qMin(area.bottom(), lastY));
        area.setRight(qMin(area.right(), lastX));
        if (!area.isValid())
            continue;
        int left = columns->visualIndexAt(area.left());
        int right = columns->visualIndexAt(area.right());
        if (left == -1)
            left = 0;
        if (right == -1)
            right = columns->count() - 1;
        int bottom = rows->visualIndexAt(area.bottom());
        if (bottom == -1)
            bottom = rows->count() - 1;
        const int top = rows->visualIndexAt(area.top());
        if (top == -1 || top > bottom)
            continue;
        for (int visual = top; visual <= bottom; ++visual) {
            const int row = rows->logicalIndex(visual);
            if (rows->isSectionHidden(row))
                continue;
            const int y = view.rowViewportPosition(row) + view.rowHeight(row) - 1;
            painter.fillRect(QRect(area.left(), y, area.width(), 1), colour);
        }
        for (int visual = left; visual <= right; ++visual) {
            const int column = columns->logicalIndex(visual);
            if (columns->isSectionHidden(column))
                continue;
            const int x = view.columnViewportPosition(column) + view.columnWidth(column) - 1;
            painter.fillRect(QRect(x, area.top(), 1, area.height()), colour);
        }
    }
}

} // namespace trd
