// The string grid: cells, sizes, fixed cells and the cell-drawing event.
#include "TStringGrid.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <map>

using namespace trd;

TEST(StringGrid, CellsKeepTheirTextAcrossResizes)
{
    TStringGrid grid;
    grid.SetColCount(4);
    grid.SetRowCount(6);
    grid.SetCells(1, 0, QStringLiteral("Linhas"));
    grid.SetCells(0, 1, QStringLiteral("Traduzido"));
    grid.SetCells(3, 5, QStringLiteral("12,50"));
    EXPECT_EQ(grid.Cells(1, 0), QStringLiteral("Linhas"));
    EXPECT_EQ(grid.Cells(3, 5), QStringLiteral("12,50"));
    EXPECT_EQ(grid.Cells(9, 9), QString()); // outside: empty, no crash
    grid.SetCells(9, 9, QStringLiteral("x"));

    grid.SetColCount(5);
    grid.SetRowCount(7);
    EXPECT_EQ(grid.Cells(0, 1), QStringLiteral("Traduzido"));
    EXPECT_EQ(grid.Cells(3, 5), QStringLiteral("12,50"));
    grid.SetColCount(2);
    EXPECT_EQ(grid.Cells(1, 0), QStringLiteral("Linhas"));
    EXPECT_EQ(grid.Cells(3, 5), QString());
}

TEST(StringGrid, WidthsHeightsAndTheCurrentCellStayOffTheFixedOnes)
{
    TStringGrid grid;
    grid.SetColCount(4);
    grid.SetRowCount(6);
    const int widths[] = {100, 100, 103, 100};
    const int heights[] = {24, 26, 24, 24, 24, 24};
    for (int c = 0; c < 4; ++c)
        grid.SetColWidths(c, widths[c]);
    for (int r = 0; r < 6; ++r)
        grid.SetRowHeights(r, heights[r]);
    EXPECT_EQ(grid.ColWidths(2), 103);
    EXPECT_EQ(grid.RowHeights(1), 26);
    EXPECT_EQ(grid.Col(), 1);
    EXPECT_EQ(grid.Row(), 1);
    grid.SetCol(0); // fixed: refused
    EXPECT_EQ(grid.Col(), 1);
    grid.SetRow(3);
    grid.SetCol(2);
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_EQ(grid.Col(), 2);
}

TEST(StringGrid, DrawCellReceivesEveryVisibleCellWithItsState)
{
    TStringGrid grid;
    grid.resize(500, 200);
    grid.SetColCount(4);
    grid.SetRowCount(6);
    grid.SetDefaultRowHeight(24);
    grid.SetCells(2, 3, QStringLiteral("42"));
    std::map<std::pair<int, int>, TGridDrawState> states;
    grid.Color = clInfoBk();
    grid.OnDrawCell = [&](TStringGrid* sender, int col, int row, const QRect& rect, TGridDrawState state) {
        EXPECT_EQ(sender, &grid);
        states[{col, row}] = state;
        sender->Canvas()->Brush.Color = QColor(0, 0, 255);
        if (col == 2 && row == 3)
            sender->Canvas()->FillRect(rect);
    };
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    grid.setFocus();
    grid.SetRow(2);
    const QImage shot = grid.viewport()->grab().toImage();
    ASSERT_EQ(states.size(), 24u);
    EXPECT_EQ(states[std::make_pair(0, 0)], gdFixed);
    EXPECT_EQ(states[std::make_pair(0, 3)], gdFixed);
    EXPECT_EQ(states[std::make_pair(2, 0)], gdFixed);
    EXPECT_TRUE(states[std::make_pair(1, 2)] & gdSelected);
    EXPECT_EQ(states[std::make_pair(2, 3)], 0);
    EXPECT_EQ(states[std::make_pair(3, 5)], 0);

    const QRect cell = grid.visualRect(grid.model()->index(3, 2));
    EXPECT_EQ(shot.pixelColor(cell.center()), QColor(0, 0, 255));
    const QRect plain = grid.visualRect(grid.model()->index(4, 3));
    EXPECT_EQ(shot.pixelColor(plain.center()), clInfoBk()); // the default drawing
}
