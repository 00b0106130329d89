// The sortable grid: a title click sorts by that column, a second one
// descending, and the current row stays current.
#include "GridFixture.h"

#include <QHeaderView>
#include <QTest>

using namespace trd;
using namespace trd::test;

namespace {
using SortGrid = GridTest;

void clickTitle(TDBGrid* grid, int section)
{
    QHeaderView* header = grid->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}
} // namespace

TEST_F(SortGrid, TitleClicksSortAscendingThenDescendingKeepingTheCurrentRow)
{
    defineColumns();
    load(12); // codes C1..C12: as text C1 < C10 < C11 < C12 < C2 ...
    ds->SetRecNo(2); // C2
    clickTitle(grid, 0);
    EXPECT_EQ(ds->IndexFieldNames(), QStringLiteral("CODIGO"));
    EXPECT_EQ(value("CODIGO"), QStringLiteral("C2"));
    EXPECT_EQ(currentGridRow(), ds->RecNo() - 1);
    EXPECT_EQ(grid->model()->data(grid->model()->index(1, 0)).toString(), QStringLiteral("C10"));

    clickTitle(grid, 0);
    EXPECT_EQ(ds->IndexFieldNames(), QStringLiteral("CODIGO DESC"));
    EXPECT_EQ(value("CODIGO"), QStringLiteral("C2"));
    EXPECT_EQ(grid->model()->data(grid->model()->index(0, 0)).toString(), QStringLiteral("C9"));
    EXPECT_EQ(currentGridRow(), ds->RecNo() - 1);
    EXPECT_EQ(grid->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    clickTitle(grid, 1);
    EXPECT_EQ(ds->IndexFieldNames(), QStringLiteral("ORIGEM"));
}

TEST_F(SortGrid, SortingPostsAPendingEditFirst)
{
    defineColumns();
    load(3);
    grid->SetSelectedIndex(2);
    type(QStringLiteral("aaa"));
    clickTitle(grid, 2);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(value("DESTINO"), QStringLiteral("aaa"));
    EXPECT_EQ(ds->RecNo(), 1); // "aaa" sorts first
}
