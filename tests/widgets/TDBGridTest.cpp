// The data grid's binding: rows and columns from the data set, the current
// row followed both ways, and cell painting through OnDrawColumnCell.
#include "GridFixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QPointer>
#include <QTest>

#include <map>
#include <set>

using namespace trd;
using namespace trd::test;

namespace {
using GridBinding = GridTest;
using GridPainting = GridTest;
} // namespace

TEST_F(GridBinding, ShowsEveryRowAndThePersistentColumnsWithTheirTitlesAndWidths)
{
    defineColumns();
    load(5);
    QAbstractItemModel* model = grid->model();
    EXPECT_EQ(model->rowCount(), 5);
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Idioma Origem"));
    EXPECT_EQ(grid->horizontalHeader()->sectionSize(0), 60);
    EXPECT_EQ(grid->horizontalHeader()->sectionSize(2), 200);
    EXPECT_EQ(model->data(model->index(3, 2)).toString(), QStringLiteral("destino 4"));

    // Without persistent columns: one per field, titled by field name.
    grid->Columns().Clear();
    EXPECT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("CODIGO"));

    // A new packet replaces the rows; closing empties the grid.
    ds->SetData(samplePacket(2));
    EXPECT_EQ(model->rowCount(), 2);
    ds->Close();
    EXPECT_EQ(model->rowCount(), 0);
}

TEST_F(GridBinding, GridFollowsTheDataSetCursor)
{
    load(10);
    EXPECT_EQ(currentGridRow(), 0);
    ds->Next();
    ds->Next();
    EXPECT_EQ(currentGridRow(), 2);
    ds->Last();
    EXPECT_EQ(currentGridRow(), 9);
    ds->SetRecNo(4);
    EXPECT_EQ(currentGridRow(), 3);
}

TEST_F(GridBinding, DataSetFollowsTheGridWithItsScrollEvents)
{
    load(10);
    int scrolls = 0;
    ds->AfterScroll = [&](TClientDataSet*) { ++scrolls; };
    key(Qt::Key_Down);
    EXPECT_EQ(ds->RecNo(), 2);
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(ds->RecNo(), 10);
    EXPECT_FALSE(ds->Eof()); // moving onto the last row does not set Eof
    const QRect third = grid->visualRect(grid->model()->index(2, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_EQ(value("CODIGO"), QStringLiteral("C3"));
    key(Qt::Key_Up);
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(scrolls, 4);
}

TEST_F(GridBinding, WhileControlsAreDisabledTheGridNeitherFollowsNorMovesTheDataSet)
{
    load(10);
    ds->DisableControls();
    ds->Last();
    EXPECT_EQ(currentGridRow(), 0);
    grid->setCurrentIndex(grid->model()->index(5, 0));
    EXPECT_EQ(ds->RecNo(), 10);
    ds->EnableControls();
    EXPECT_EQ(currentGridRow(), 9);
}

TEST_F(GridBinding, ColumnEnterFiresWhenTheSelectedColumnChanges)
{
    defineColumns();
    load(3);
    std::vector<QString> entered;
    grid->OnColEnter = [&](QObject* sender) {
        EXPECT_EQ(sender, grid);
        entered.push_back(grid->SelectedField() ? grid->SelectedField()->FieldName() : QString());
    };
    EXPECT_EQ(grid->SelectedIndex(), 0);
    key(Qt::Key_Right);
    key(Qt::Key_Tab);
    key(Qt::Key_Left);
    key(Qt::Key_Down); // same column: no event
    EXPECT_EQ(entered,
              (std::vector<QString>{QStringLiteral("ORIGEM"), QStringLiteral("DESTINO"), QStringLiteral("ORIGEM")}));
    EXPECT_EQ(grid->SelectedColumn()->Title.Caption, QStringLiteral("Idioma Origem"));
}

TEST_F(GridPainting, HandlerReadsThePaintedRowThroughTheFieldsAndPaintsOnTheCanvas)
{
    defineColumns();
    load(6);
    grid->setFocus();
    ds->SetRecNo(2);
    std::map<int, QString> codes; // painted row -> CODIGO the handler read
    std::map<std::pair<int, int>, TGridDrawState> states;
    std::set<TColumn*> columns;
    grid->OnDrawColumnCell = [&](TDBGrid* sender, const QRect& rect, int dataCol, TColumn* column,
                                 TGridDrawState state) {
        const int row = sender->rowAt(rect.center().y());
        codes[row] = ds->FieldByName(QStringLiteral("CODIGO"))->AsString();
        states[{row, dataCol}] = state;
        columns.insert(column);
        TCanvas* canvas = sender->Canvas();
        canvas->Brush.Color = ds->FieldByName(QStringLiteral("CODIGO"))->AsString() == QStringLiteral("C4")
            ? QColor(0, 128, 0)
            : clInfoBk();
        canvas->FillRect(rect);
    };
    const QImage shot = grid->viewport()->grab().toImage();
    ASSERT_EQ(codes.size(), 6u);
    for (const auto& [row, code] : codes)
        EXPECT_EQ(code, QStringLiteral("C%1").arg(row + 1));
    EXPECT_EQ(columns.size(), 3u);
    // The current row is still the data set's after painting.
    EXPECT_EQ(value("CODIGO"), QStringLiteral("C2"));
    EXPECT_EQ(ds->ActiveRecord(), ds->CurrentIndex());

    const int sel = gdSelected | gdFocused;
    EXPECT_EQ(states[std::make_pair(1, 0)], sel); // the current cell
    EXPECT_EQ(states[std::make_pair(1, 1)], 0); // same row, other column
    EXPECT_EQ(states[std::make_pair(3, 0)], 0);

    const QPoint green = grid->visualRect(grid->model()->index(3, 1)).center();
    const QPoint info = grid->visualRect(grid->model()->index(4, 1)).center();
    EXPECT_EQ(shot.pixelColor(green), QColor(0, 128, 0));
    EXPECT_EQ(shot.pixelColor(info), clInfoBk());
}

TEST_F(GridPainting, SelectionShowsWithoutFocusOnlyWithAlwaysShowSelection)
{
    load(3);
    std::map<int, TGridDrawState> firstColumn;
    grid->OnDrawColumnCell = [&](TDBGrid* sender, const QRect& rect, int dataCol, TColumn*, TGridDrawState state) {
        if (dataCol == 0)
            firstColumn[sender->rowAt(rect.center().y())] = state;
    };
    grid->clearFocus();
    QApplication::processEvents();
    grid->viewport()->grab();
    EXPECT_EQ(firstColumn[0], 0);
    grid->SetOption(dgAlwaysShowSelection, true);
    grid->viewport()->grab();
    EXPECT_EQ(firstColumn[0], gdSelected);
    grid->SetOption(dgRowSelect, true);
    grid->setFocus();
    QApplication::processEvents();
    firstColumn.clear();
    std::map<int, TGridDrawState> lastColumn;
    grid->OnDrawColumnCell = [&](TDBGrid* sender, const QRect& rect, int dataCol, TColumn*, TGridDrawState state) {
        if (dataCol == 2)
            lastColumn[sender->rowAt(rect.center().y())] = state;
    };
    grid->viewport()->grab();
    EXPECT_TRUE(lastColumn[0] & gdSelected); // the whole row
    EXPECT_EQ(lastColumn[1], 0);
}

TEST_F(GridPainting, AFailingHandlerIsReportedOnceAfterThePaint)
{
    load(3);
    grid->OnDrawColumnCell = [](TDBGrid*, const QRect&, int, TColumn*, TGridDrawState) {
        throw Exception(QStringLiteral("falha ao pintar"));
    };
    grid->viewport()->grab();
    EXPECT_TRUE(seam.errors().isEmpty()); // never from inside the paint
    QApplication::processEvents();
    grid->viewport()->grab();
    QApplication::processEvents();
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("falha ao pintar")});
}

TEST_F(GridPainting, DefaultDrawingWritesTheFieldText)
{
    defineColumns();
    load(2);
    grid->clearFocus();
    QApplication::processEvents();
    const QImage shot = grid->viewport()->grab().toImage();
    const QRect cell = grid->visualRect(grid->model()->index(1, 1));
    int dark = 0;
    for (int x = cell.left(); x <= cell.right(); ++x)
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            dark += shot.pixelColor(x, y).lightness() < 128 ? 1 : 0;
    EXPECT_GT(dark, 10);
    grid->DefaultDrawing = false;
    const QImage empty = grid->viewport()->grab().toImage();
    dark = 0;
    for (int x = cell.left() + 1; x < cell.right(); ++x)
        for (int y = cell.top() + 1; y < cell.bottom(); ++y)
            dark += empty.pixelColor(x, y).lightness() < 128 ? 1 : 0;
    EXPECT_EQ(dark, 0);
}

TEST_F(GridPainting, RowsDeletedWhileControlsAreDisabledArePaintedBlankNotRead)
{
    load(5);
    int painted = 0;
    grid->OnDrawColumnCell = [&](TDBGrid*, const QRect&, int, TColumn*, TGridDrawState) { ++painted; };
    ds->DisableControls();
    ds->Last();
    ds->Delete();
    ds->Delete();
    grid->viewport()->grab(); // the view still has five rows
    EXPECT_EQ(painted, 3 * 3);
    EXPECT_FALSE(grid->model()->data(grid->model()->index(4, 0)).isValid());
    ds->EnableControls();
    EXPECT_EQ(grid->model()->rowCount(), 3);
}

TEST_F(GridBinding, TheIndicatorMarksTheCurrentRowAndItsState)
{
    load(3);
    QAbstractItemModel* model = grid->model();
    auto mark = [&](int row) { return model->headerData(row, Qt::Vertical).toString(); };
    EXPECT_EQ(mark(0), QStringLiteral("\u25B8"));
    EXPECT_EQ(mark(1), QString());
    ds->Next();
    EXPECT_EQ(mark(0), QString());
    EXPECT_EQ(mark(1), QStringLiteral("\u25B8"));
    ds->Edit();
    EXPECT_EQ(mark(1), QStringLiteral("I"));
    ds->Cancel();
    ds->Insert();
    EXPECT_EQ(mark(ds->CurrentIndex()), QStringLiteral("*"));
}

TEST_F(GridPainting, ASavedRowRepaintsAloneAndAMergeRepaintsNothing)
{
    load(8);
    std::set<QString> painted; // CODIGO of every row painted since the last clear
    grid->OnDrawColumnCell = [&](TDBGrid*, const QRect&, int, TColumn*, TGridDrawState) {
        painted.insert(ds->FieldByName(QStringLiteral("CODIGO"))->AsString());
    };
    grid->viewport()->repaint();
    ASSERT_EQ(painted.size(), 8u);
    auto edit = [&](const QString& text) {
        ds->Edit();
        ds->FieldByName(QStringLiteral("DESTINO"))->SetAsString(text);
        ds->Post();
    };

    ds->SetRecNo(3);
    QApplication::processEvents();
    painted.clear();
    edit(QStringLiteral("revisto"));
    QApplication::processEvents();
    // The row's rectangle takes in the grid line below it, which the view
    // counts into the next row: at most that neighbour comes along.
    EXPECT_TRUE(painted.count(QStringLiteral("C3")));
    EXPECT_LE(painted.size(), 2u);
    EXPECT_FALSE(painted.count(QStringLiteral("C2")) || painted.count(QStringLiteral("C5")));

    painted.clear();
    ds->MergeChangeLog();
    QApplication::processEvents();
    EXPECT_TRUE(painted.empty());
    EXPECT_EQ(ds->ChangeCount(), 0);

    // Under an index too a post leaves its row in place: it alone repaints,
    // and the grid stays on it.
    ds->SetIndexFieldNames(QStringLiteral("DESTINO"));
    ds->First(); // "destino 1"
    QApplication::processEvents();
    painted.clear();
    edit(QStringLiteral("destino 6a"));
    QApplication::processEvents();
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_TRUE(painted.count(QStringLiteral("C1")));
    EXPECT_LE(painted.size(), 2u);
    const QAbstractItemModel* model = grid->model();
    EXPECT_EQ(model->data(model->index(0, 2)).toString(), QStringLiteral("destino 6a"));
}

TEST_F(GridPainting, RowsTheServerTellsOfRepaintAloneAndARowLeavingKeepsTheViewAndTheOpenEditor)
{
    load(300);
    grid->SetOption(dgEditing, true);
    std::set<QString> painted;
    grid->OnDrawColumnCell = [&](TDBGrid*, const QRect&, int, TColumn*, TGridDrawState) {
        painted.insert(ds->FieldByName(QStringLiteral("CODIGO"))->AsString());
    };
    ds->SetRecNo(150);
    QApplication::processEvents();
    const int top = grid->rowAt(0);
    ASSERT_GT(top, 100) << "the grid must have scrolled for the check to mean something";
    const QString topCode = ds->ValueAt(top, ds->FieldByName(QStringLiteral("CODIGO"))->Index()).toString();

    // The user types in the current row's cell.
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    type(QStringLiteral("meu texto"));
    QPointer<QWidget> editor = keyTarget();
    ASSERT_EQ(ds->State(), TDataSetState::dsEdit);
    ASSERT_NE(editor.data(), grid);

    // Another row changes: it alone repaints, the editor stays with its text.
    const int destino = ds->FieldByName(QStringLiteral("DESTINO"))->Index();
    grid->viewport()->repaint();
    painted.clear();
    ds->RefreshRow(top + 2, {{destino, QStringLiteral("do colega")}});
    QApplication::processEvents();
    EXPECT_TRUE(painted.count(ds->ValueAt(top + 2, 0).toString()));
    painted.erase(ds->FieldByName(QStringLiteral("CODIGO"))->AsString()); // under the editor, which repaints itself
    EXPECT_LE(painted.size(), 2u);
    EXPECT_EQ(grid->model()->data(grid->model()->index(top + 2, 2)).toString(), QStringLiteral("do colega"));
    ASSERT_TRUE(editor);
    EXPECT_EQ(keyTarget(), editor.data());
    EXPECT_EQ(ds->ChangeCount(), 0);
    // The row being edited cannot be written under the user.
    EXPECT_THROW(ds->RefreshRow(ds->CurrentIndex(), {{destino, QStringLiteral("x")}}), EDBClient);
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);
    ASSERT_EQ(ds->State(), TDataSetState::dsBrowse);

    // A row above the view leaves: the same rows stay in view, the cursor on its row.
    const QString current = ds->FieldByName(QStringLiteral("CODIGO"))->AsString();
    ds->ForgetRow(10);
    QApplication::processEvents();
    EXPECT_EQ(ds->RecordCount(), 299);
    EXPECT_EQ(ds->FieldByName(QStringLiteral("CODIGO"))->AsString(), current);
    EXPECT_EQ(grid->currentIndex().row(), ds->CurrentIndex());
    EXPECT_EQ(ds->ValueAt(grid->rowAt(0), 0).toString(), topCode);
    EXPECT_EQ(ds->ChangeCount(), 0);
}
