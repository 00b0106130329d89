// The editor on a real X display with the real message boxes: a message box
// takes the focus and hands it back when it closes, and a paste comes from the
// real clipboard. What the in-place editor holds must survive both.
#include "EditorTestKit.h"

#include "MessageBoxAnswerer.h"
#include "TApplication.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};
const QList<Linha> kLinhas = {
    {"ENG", "P1", "c1", "Nome", "Nome", "N"},
    {"ENG", "P2", "c2", "Abrir", "Open", "T"},
};

class EditorXcb : public EditorTest {
protected:
    TfrmTraducao* open()
    {
        TfrmTraducao* form = openLoaded(kIdiomas, kLinhas, QStringLiteral("ENG-English"));
        // The real dialogs from here on.
        Application()->SetDialogSeam(nullptr);
        main.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
        return form;
    }
    QLineEdit* editCell(TfrmTraducao* form, const QString& origem)
    {
        EXPECT_TRUE(locate(origem));
        form->dbgPadrao->setFocus();
        form->dbgPadrao->setCurrentIndex(form->dbgPadrao->model()->index(form->cdsDestino->RecNo() - 1, 2));
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->dbgPadrao->hasFocus(); }));
        QTest::keyClick(form->dbgPadrao, Qt::Key_Return); // opens the cell's editor
        return form->dbgPadrao->InplaceEditor();
    }
};

TEST_F(EditorXcb, ARefusedTypedCharacterLeavesTheEditorOpenWithItsTextAndCursor)
{
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);
    MessageBoxAnswerer boxes;
    QPointer<QLineEdit> editor = editCell(form, QStringLiteral("Nome"));
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Nam"));
    ASSERT_EQ(editor->text(), QStringLiteral("Nam"));

    QKeyEvent arrow(QEvent::KeyPress, 0x2192, Qt::NoModifier, QStringLiteral("→"));
    QApplication::sendEvent(editor, &arrow);
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown.first().contains(QStringLiteral("→"))) << boxes.shown.first().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor && editor->hasFocus(); }))
        << "the editor is still open and has the focus back";
    EXPECT_EQ(form->dbgPadrao->InplaceEditor(), editor.data());
    EXPECT_EQ(editor->text(), QStringLiteral("Nam"));
    EXPECT_EQ(editor->cursorPosition(), 3);

    // The next keys go on where the user was, not over the whole text.
    QTest::keyClick(editor, Qt::Key_E);
    EXPECT_EQ(editor->text(), QStringLiteral("Name"));
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_EQ(dbRow("ENG", "Nome"), QStringList({"Name", "T"}));
    EXPECT_EQ(boxes.shown.size(), 1);
}

TEST_F(EditorXcb, APasteTheFieldCannotHoldIsRefusedAtThePasteWithOneMessage)
{
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);
    MessageBoxAnswerer boxes;
    QPointer<QLineEdit> editor = editCell(form, QStringLiteral("Abrir"));
    ASSERT_TRUE(editor);
    editor->end(false);

    QApplication::clipboard()->setText(QString(4001, QLatin1Char('a')));
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() == 1; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor && editor->hasFocus(); }));
    QTest::qWait(200);
    ASSERT_EQ(boxes.shown.size(), 1) << "one message, not one at the paste and another on leaving";
    EXPECT_TRUE(boxes.shown.first().contains(QStringLiteral("4005"))) << boxes.shown.first().toStdString();
    EXPECT_EQ(editor->text(), QStringLiteral("Open")) << "the editor keeps the text it had";

    QApplication::clipboard()->setText(QStringLiteral(" Ω"));
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() == 2; }));
    EXPECT_TRUE(boxes.shown.last().contains(QStringLiteral("Ω"))) << boxes.shown.last().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor && editor->hasFocus(); }));
    EXPECT_EQ(editor->text(), QStringLiteral("Open"));

    QApplication::clipboard()->setText(QStringLiteral(" it"));
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor->text(), QStringLiteral("Open it"));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open it", "T"}));
    EXPECT_EQ(boxes.shown.size(), 2);
}

} // namespace
