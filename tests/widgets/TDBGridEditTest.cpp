// Editing in the data grid: typing, posting, cancelling, appending at the last
// row (and its refusal), inserting, deleting, and the key events that the
// module's handlers extend.
#include "GridFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

using namespace trd;
using namespace trd::test;

namespace {
class GridEditing : public GridTest {
protected:
    void SetUp() override
    {
        GridTest::SetUp();
        defineColumns();
        load(3);
        grid->SetSelectedIndex(2); // DESTINO
    }
};
using GridKeys = GridEditing;
} // namespace

TEST_F(GridEditing, TypingPutsTheDataSetInEditAndEnterPosts)
{
    int posts = 0;
    ds->AfterPost = [&](TClientDataSet*) { ++posts; };
    type(QStringLiteral("novo"));
    ASSERT_NE(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    EXPECT_EQ(grid->InplaceEditor()->text(), QStringLiteral("novo")); // typing replaced the text
    EXPECT_EQ(value("DESTINO"), QStringLiteral("destino 1")); // not in the field yet
    key(Qt::Key_Return);
    EXPECT_EQ(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(value("DESTINO"), QStringLiteral("novo"));
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(ds->RecNo(), 1);
}

TEST_F(GridEditing, EscapeCancelsTheEdit)
{
    int cancels = 0;
    ds->AfterCancel = [&](TClientDataSet*) { ++cancels; };
    type(QStringLiteral("xyz"));
    key(Qt::Key_Escape);
    EXPECT_EQ(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(value("DESTINO"), QStringLiteral("destino 1"));
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(ds->ChangeCount(), 0);
}

TEST_F(GridEditing, LeavingTheRowPostsTheTypedTextToTheRowItWasTypedIn)
{
    type(QStringLiteral("um"));
    key(Qt::Key_Down);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(currentGridRow(), 1);
    EXPECT_EQ(value("DESTINO"), QStringLiteral("destino 2"));
    ds->First();
    EXPECT_EQ(value("DESTINO"), QStringLiteral("um"));

    // Clicking another row also posts.
    grid->SetSelectedIndex(2);
    type(QStringLiteral("dois"));
    const QRect third = grid->visualRect(grid->model()->index(2, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_EQ(ds->RecNo(), 3);
    ds->First();
    EXPECT_EQ(value("DESTINO"), QStringLiteral("dois"));
}

TEST_F(GridEditing, ADoubleClickOnAnotherRowEditsThatRow)
{
    // A click on the first row, Down, then a second click there soon enough
    // to make a double click with the first: the view gets no press of its
    // own for it, only the double click.
    const QPoint first = grid->visualRect(grid->model()->index(0, 2)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, first);
    key(Qt::Key_Down);
    ASSERT_EQ(ds->RecNo(), 2);
    QMouseEvent twice(QEvent::MouseButtonDblClick, first, grid->viewport()->mapToGlobal(first), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &twice);
    ASSERT_NE(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(ds->RecNo(), 1) << "the row the cell is on";
    EXPECT_EQ(currentGridRow(), 0);
    grid->InplaceEditor()->end(false);
    type(QStringLiteral(" editado"));
    key(Qt::Key_Return);
    EXPECT_EQ(value("DESTINO"), QStringLiteral("destino 1 editado"));
    ds->Next();
    EXPECT_EQ(value("DESTINO"), QStringLiteral("destino 2"));
}

TEST_F(GridEditing, ReadOnlyColumnsFieldsAndAGridWithoutEditingRefuseTyping)
{
    grid->SetSelectedIndex(0); // read-only column
    type(QStringLiteral("a"));
    EXPECT_EQ(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);

    grid->SetSelectedIndex(1);
    ds->FieldByName(QStringLiteral("ORIGEM"))->ReadOnly = true;
    type(QStringLiteral("a"));
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    ds->FieldByName(QStringLiteral("ORIGEM"))->ReadOnly = false;

    grid->SetOption(dgEditing, false);
    grid->SetSelectedIndex(2);
    type(QStringLiteral("a"));
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds->RecNo(), 1); // and no incremental search moved the row
    grid->SetOption(dgEditing, true);
    type(QStringLiteral("a"));
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
}

TEST_F(GridEditing, ARefusedPostKeepsTheEditAndShowsTheError)
{
    ds->BeforePost = [](TClientDataSet*) { throw Exception(QStringLiteral("Registro recusado.")); };
    type(QStringLiteral("x"));
    key(Qt::Key_Return);
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("Registro recusado.")});
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    key(Qt::Key_Down); // leaving the row tries again and stays
    EXPECT_EQ(seam.errors().size(), 2);
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_EQ(currentGridRow(), 0);
    key(Qt::Key_Escape);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(value("DESTINO"), QStringLiteral("destino 1"));
}

TEST_F(GridEditing, DownAtTheLastRowSetsEofAndTheRefusedAppendChangesNothing)
{
    int refusals = 0;
    ds->BeforeInsert = [&](TClientDataSet*) {
        ++refusals;
        Abort();
    };
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_FALSE(ds->Eof()); // moving onto the last row does not set it
    key(Qt::Key_Down);
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(currentGridRow(), 2);
    EXPECT_TRUE(seam.shown.empty()); // refused silently

    // Tab at the last cell of the last row does the same.
    key(Qt::Key_Tab);
    EXPECT_EQ(refusals, 2);
    EXPECT_EQ(ds->RecordCount(), 3);
    key(Qt::Key_Up);
    EXPECT_FALSE(ds->Eof());
    EXPECT_EQ(ds->RecNo(), 2);
}

TEST_F(GridEditing, WithoutEditingDownAtTheLastRowOnlySetsEof)
{
    int inserts = 0;
    ds->BeforeInsert = [&](TClientDataSet*) { ++inserts; };
    grid->SetOption(dgEditing, false);
    ds->Last();
    key(Qt::Key_Down);
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(inserts, 0);
    EXPECT_EQ(ds->RecordCount(), 3);
}

TEST_F(GridEditing, AnAllowedAppendAddsARowThatGoesAwayUntouched)
{
    ds->Last();
    key(Qt::Key_Down);
    EXPECT_EQ(ds->State(), TDataSetState::dsInsert);
    EXPECT_EQ(grid->model()->rowCount(), 4);
    EXPECT_EQ(currentGridRow(), 3);
    key(Qt::Key_Up); // nothing typed: the new row is dropped
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(grid->model()->rowCount(), 3);

    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(ds->State(), TDataSetState::dsInsert);
    type(QStringLiteral("C9"));
    key(Qt::Key_Return);
    EXPECT_EQ(ds->RecordCount(), 4);
    EXPECT_EQ(value("DESTINO"), QStringLiteral("C9"));
    EXPECT_EQ(ds->ChangeCount(), 1);
}

TEST_F(GridEditing, InsertKeyInsertsUnlessBeforeInsertRefuses)
{
    ds->BeforeInsert = [](TClientDataSet*) { Abort(); };
    key(Qt::Key_Insert);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_TRUE(seam.shown.empty());
    ds->BeforeInsert = nullptr;
    key(Qt::Key_Insert);
    EXPECT_EQ(ds->State(), TDataSetState::dsInsert);
    EXPECT_EQ(grid->model()->rowCount(), 4);
}

TEST_F(GridEditing, CtrlDeleteAsksFirstAndDeletesOnYes)
{
    seam.answers = {mrNo, mrYes};
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(ds->RecordCount(), 3);
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(value("CODIGO"), QStringLiteral("C2"));
    ASSERT_EQ(seam.messages().size(), 2);
    EXPECT_EQ(seam.messages()[0], QStringLiteral("Excluir registro?"));
    EXPECT_EQ(seam.shown[0].buttons, mbYes | mbNo);
    EXPECT_EQ(seam.shown[0].type, mtConfirmation);

    grid->SetOption(dgConfirmDelete, false);
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(seam.messages().size(), 2);
}

TEST_F(GridEditing, TextTheCodePageCannotHoldIsRefusedWithAMessage)
{
    type(QStringLiteral("a"));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("中"));
    QApplication::sendEvent(grid->InplaceEditor(), &press);
    EXPECT_EQ(grid->InplaceEditor()->text(), QStringLiteral("a"));
    ASSERT_EQ(seam.errors().size(), 1);
    EXPECT_TRUE(seam.errors()[0].contains(QStringLiteral("中")));
    // Accented letters of the code page are fine.
    QKeyEvent cedilla(QEvent::KeyPress, Qt::Key_Ccedilla, Qt::NoModifier, QStringLiteral("ç"));
    QApplication::sendEvent(grid->InplaceEditor(), &cedilla);
    EXPECT_EQ(grid->InplaceEditor()->text(), QStringLiteral("aç"));
}

TEST_F(GridKeys, KeyDownPressAndUpReachTheHandlersFromTheGridAndFromTheEditor)
{
    std::vector<int> downs, ups;
    QString pressed;
    grid->OnKeyDown = [&](QObject* sender, int& k, Qt::KeyboardModifiers) {
        EXPECT_EQ(sender, grid);
        downs.push_back(k);
    };
    grid->OnKeyPress = [&](QObject*, QChar& ch) { pressed += ch; };
    grid->OnKeyUp = [&](QObject*, int& k, Qt::KeyboardModifiers) {
        ups.push_back(k);
        if (grid->InplaceEditor())
            pressed += QStringLiteral("[%1]").arg(grid->InplaceEditor()->text());
    };
    type(QStringLiteral("ab")); // 'a' reaches the grid and opens the editor; 'b' the editor
    EXPECT_EQ(downs, (std::vector<int>{Qt::Key_A, Qt::Key_B}));
    EXPECT_EQ(ups, (std::vector<int>{Qt::Key_A, Qt::Key_B}));
    EXPECT_EQ(pressed, QStringLiteral("a[a]b[ab]"));
    key(Qt::Key_Tab);
    EXPECT_EQ(pressed.right(1), QStringLiteral("\t"));
    EXPECT_EQ(downs.back(), Qt::Key_Tab);
}

TEST_F(GridKeys, HandlersDiscardKeysAndCharacters)
{
    // As the editor does at the last row: Down and Tab are dropped while Eof.
    grid->OnKeyDown = [&](QObject*, int& k, Qt::KeyboardModifiers) {
        if (ds->Eof() && (k == Qt::Key_Tab || k == Qt::Key_Down))
            k = 0;
    };
    grid->OnKeyPress = [&](QObject*, QChar& ch) {
        if (ch == QLatin1Char('\t') && ds->Eof())
            ch = QChar();
        if (ch == QLatin1Char('z'))
            ch = QChar();
        if (ch == QLatin1Char('q'))
            ch = QLatin1Char('Q');
    };
    int inserts = 0;
    ds->BeforeInsert = [&](TClientDataSet*) {
        ++inserts;
        Abort();
    };
    ds->SetRecNo(3);
    ASSERT_FALSE(ds->Eof());
    key(Qt::Key_Down); // first: Next sets Eof, the append is refused
    EXPECT_EQ(inserts, 1);
    key(Qt::Key_Down);
    key(Qt::Key_Tab);
    EXPECT_EQ(inserts, 1);
    EXPECT_EQ(grid->SelectedIndex(), 2); // the Tab did not move either

    type(QStringLiteral("zqz")); // z dropped; q becomes Q in the editor
    ASSERT_NE(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(grid->InplaceEditor()->text(), QStringLiteral("Q"));
    type(QStringLiteral("qz"));
    EXPECT_EQ(grid->InplaceEditor()->text(), QStringLiteral("QQ"));
    key(Qt::Key_Left); // other keys pass
    key(Qt::Key_Backspace);
    EXPECT_EQ(grid->InplaceEditor()->text(), QStringLiteral("Q"));
}

TEST_F(GridEditing, AnUntouchedNewRowIsCancelledWhenTheFocusLeavesTheGrid)
{
    auto* other = new QLineEdit(window.get());
    window->layout()->addWidget(other);
    other->show();
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Down); // appends
    ASSERT_EQ(ds->State(), TDataSetState::dsInsert);
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(grid->model()->rowCount(), 3);
}

TEST_F(GridEditing, WithoutTabsTheTabKeyLeavesTheGridAfterWritingTheEditor)
{
    auto* other = new QLineEdit(window.get());
    window->layout()->addWidget(other);
    other->show();
    grid->SetOption(dgTabs, false);
    type(QStringLiteral("abc"));
    key(Qt::Key_Tab);
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit); // written, not posted
    EXPECT_EQ(value("DESTINO"), QStringLiteral("abc"));
}

TEST_F(GridKeys, KeysSentToTheGridWhileEditingGoToTheEditor)
{
    int downs = 0;
    grid->OnKeyDown = [&](QObject*, int&, Qt::KeyboardModifiers) { ++downs; };
    QTest::keyClicks(grid, QStringLiteral("novo"));
    ASSERT_NE(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(grid->InplaceEditor()->text(), QStringLiteral("novo"));
    EXPECT_EQ(downs, 4);
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(value("DESTINO"), QStringLiteral("novo"));
}

TEST_F(GridKeys, AKeyHandlerThatAbortsAbandonsTheKey)
{
    grid->OnKeyPress = [&](QObject*, QChar& ch) {
        if (ch == QLatin1Char('!'))
            Abort(); // as MensErro does after showing its message
    };
    grid->OnKeyDown = [&](QObject*, int& k, Qt::KeyboardModifiers) {
        if (k == Qt::Key_Down)
            throw Exception(QStringLiteral("Não permitido."));
    };
    type(QStringLiteral("a!b"));
    EXPECT_EQ(grid->InplaceEditor()->text(), QStringLiteral("ab"));
    key(Qt::Key_Return);
    key(Qt::Key_Down);
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("Não permitido.")});
}

TEST_F(GridEditing, HidingAndShowingTheGridKeepsWhatIsBeingTyped)
{
    // A hidden focused view is asked to pass the focus on, and answers with a
    // Tab of its own: that must not move, post or append.
    type(QStringLiteral("meio"));
    grid->hide();
    grid->show();
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    EXPECT_EQ(ds->RecNo(), 1);
    ASSERT_NE(grid->InplaceEditor(), nullptr);
    EXPECT_EQ(grid->InplaceEditor()->text(), QStringLiteral("meio"));
    EXPECT_EQ(grid->SelectedIndex(), 2);
    key(Qt::Key_Return);
    EXPECT_EQ(value("DESTINO"), QStringLiteral("meio"));
    // A column changed while hidden is picked up when shown.
    grid->hide();
    grid->Columns().Items(1)->Title.Caption = QStringLiteral("Origem");
    grid->Columns().Items(1)->FieldName = QStringLiteral("CODIGO");
    grid->show();
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Origem"));
    EXPECT_EQ(grid->model()->data(grid->model()->index(0, 1)).toString(), QStringLiteral("C1"));
}

// A lone modifier is a key the in-place editor ignores; it used to travel back
// to the grid, which handed it to the editor again until the stack ran out.
TEST_F(GridKeys, AModifierAloneWhileEditingIsHarmless)
{
    type(QStringLiteral("novo"));
    ASSERT_NE(grid->InplaceEditor(), nullptr);
    QTest::keyPress(grid->InplaceEditor(), Qt::Key_Shift);
    QTest::keyRelease(grid->InplaceEditor(), Qt::Key_Shift);
    QTest::keyClicks(grid->InplaceEditor(), QStringLiteral("R"));
    EXPECT_EQ(grid->InplaceEditor()->text(), QStringLiteral("novoR"));
    key(Qt::Key_Return);
    EXPECT_EQ(value("DESTINO"), QStringLiteral("novoR"));
}
