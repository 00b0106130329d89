// The keyboard on a real display: the cell editor keeps the editing keys a
// Windows user expects and nothing else, the module's shortcuts reach their
// commands from inside a cell, the keyboard always has a control to go to, a
// sorted grid keeps the user on the row below the one just posted, a typed
// "¶" is not taken for a line break, and a new editor starts on its language
// list. Every key and click is made by the X server; every save is checked
// in the server's database.
#include "XcbEditorTest.h"

#include "Cli_Trd09306.h"

#include <QMenu>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};

class EditorTeclado : public XcbEditorTest {
protected:
    void closeFindReplace()
    {
        if (boIdCriado && frmSubstituir)
            Dispatch([] { frmSubstituir->Close(); });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(QTest::qWaitFor([] { return !boIdCriado; }));
        activate();
    }
    bool findReplaceOpen() const { return boIdCriado && frmSubstituir && frmSubstituir->isVisible(); }
};

const QList<Linha> kLinhas = {
    {"ENG", "P1", "c1", "Alíquota de ICMS (%)", "Alíquota de ICMS (%)", "N"},
    {"ENG", "P2", "c2", "Abrir", "Open", "T"},
    {"ENG", "P3", "c3", "Fechar", "Close", "T"},
    {"ENG", "P4", "c4", "Salvar", "Save", "D"},
};

TEST_F(EditorTeclado, InTheCellCtrlUIsOffAndNoKeyDeletesALineOrClosesTheWindow)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    ASSERT_EQ(dbRow("ENG", "Alíquota de ICMS (%)"), QStringList({"Alíquota de ICMS (%)", "N"}));
    ASSERT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open", "T"}));

    // Ctrl+U in a cell: find/replace is off while a row is edited, so the
    // key does nothing and the text stays (it used to erase it, and Down
    // saved it empty). From the grid it opens find/replace.
    QPointer<QLineEdit> editor = editCell("Alíquota de ICMS (%)");
    ASSERT_TRUE(editor);
    input.key("ctrl+u");
    EXPECT_FALSE(findReplaceOpen());
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), "Alíquota de ICMS (%)");
    input.key("Escape");
    input.key("ctrl+u");
    EXPECT_TRUE(findReplaceOpen());
    ASSERT_NO_FATAL_FAILURE(closeFindReplace());
    EXPECT_EQ(dbRow("ENG", "Alíquota de ICMS (%)"), QStringList({"Alíquota de ICMS (%)", "N"}));

    // The line deletions of other desktops edit nothing; Enter saves the text.
    editor = editCell("Abrir");
    ASSERT_TRUE(editor);
    input.type("ed");
    input.key("Home");
    input.key("ctrl+k");
    EXPECT_EQ(editor->text(), "Opened");
    input.key("Return");
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Opened", "T"}));

    // Ctrl+W closes no window from inside a cell; undo and redo work as on Windows.
    editor = editCell("Abrir");
    ASSERT_TRUE(editor);
    input.type("!");
    input.key("ctrl+w");
    EXPECT_TRUE(frmTraducao) << "Ctrl+W closed the editor's window";
    ASSERT_TRUE(editor) << "Ctrl+W closed the cell";
    EXPECT_EQ(editor->text(), "Opened!");
    input.key("ctrl+z");
    EXPECT_EQ(editor->text(), "Opened");
    input.key("ctrl+y");
    EXPECT_EQ(editor->text(), "Opened!");
    input.key("Escape");
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Opened", "T"}));
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
}

TEST_F(EditorTeclado, AltMFromTheCellSavesItOpensTheMenuAndEscapeTwiceLeavesTheKeyboardWorking)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    ASSERT_EQ(dbRow("ENG", "Fechar"), QStringList({"Close", "T"}));
    QPointer<QLineEdit> editor = editCell("Fechar");
    ASSERT_TRUE(editor);
    input.type("d");
    input.key("alt+m");
    EXPECT_EQ(dbRow("ENG", "Fechar"), QStringList({"Closed", "T"}));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu) << "the menu is open";
    EXPECT_FALSE(form->mnuCancelar->isEnabled()) << "nothing left to throw away";
    input.key("Escape");
    input.key("Escape");
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus) << "no control has the keyboard";
    EXPECT_TRUE(form->isAncestorOf(focus)) << focus->metaObject()->className();
    input.key("Down");
    EXPECT_EQ(current(), "Salvar");
    input.type("S");
    ASSERT_TRUE(form->dbgPadrao->InplaceEditor()) << "typing opens the cell";
    EXPECT_EQ(form->dbgPadrao->InplaceEditor()->text(), "S");

    // Ctrl+T from the cell is off (no status is set while a row is edited):
    // the text stays in the cell, unsaved; the post saves it once, promoted.
    ASSERT_EQ(dbRow("ENG", "Salvar"), QStringList({"Save", "D"}));
    input.type("aved");
    const int gravacoes = serverCalls("SetDestino");
    input.key("ctrl+t");
    EXPECT_EQ(dbRow("ENG", "Salvar"), QStringList({"Save", "D"}));
    ASSERT_TRUE(form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(form->dbgPadrao->InplaceEditor()->text(), "Saved");
    input.key("Return");
    EXPECT_EQ(dbRow("ENG", "Salvar"), QStringList({"Saved", "T"}));
    EXPECT_EQ(serverCalls("SetDestino"), gravacoes + 1);
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
}

// Rows whose shortcut marks the checks guard: a translation that drops the
// mark breaks the screen, and the editor asks before saving it.
const QList<Linha> kAtalhos = {
    {"ENG", "P1", "sbtSalvar", "&Salvar", "&Salvar", "N"}, // not translated yet: the source copied
    {"ENG", "P1", "sbtAbrir", "&Abrir", "&Open", "T"},
    {"ENG", "P2", "lblNome", "Nome", "Nome", "N"},
    {"ENG", "P2", "lblCodigo", "Código", "Code", "T"},
};

TEST_F(EditorTeclado, ANoToTheChecksQuestionLeavesTheRowAsItWasWithTheTextStillInItsCell)
{
    TfrmTraducao* form = open(kIdiomas, kAtalhos);
    ASSERT_TRUE(form);
    QPointer<QLineEdit> editor = editCell("&Salvar");
    ASSERT_TRUE(editor);
    input.key("ctrl+a");
    input.type("Save");
    // No, and a letter typed ahead into the question is not taken as "Sim".
    boxes.replies = {{Qt::Key_S, Qt::Key_Escape}};
    input.key("Down");
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown[0].contains("Gravar assim mesmo?")) << boxes.shown[0].toStdString();
    EXPECT_EQ(dbRow("ENG", "&Salvar"), QStringList({"&Salvar", "N"}));
    EXPECT_EQ(serverCalls("SetDestino"), 0);
    // Exactly as before the post: the row being edited, still N with its red
    // lamp, and the text in an open cell that goes on where it was.
    EXPECT_EQ(current(), "&Salvar");
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);
    EXPECT_EQ(form->cdsDestino->FieldByName("IDSITTRADUCAO")->AsString(), "N");
    EXPECT_EQ(form->sbtNTrad->Tag, 1);
    EXPECT_EQ(form->sbtTrad->Tag, 0);
    editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor) << "the cell's editor is open again";
    EXPECT_EQ(editor->text(), "Save");
    // The window gets the activation back from the question, and the cell the keyboard.
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor && editor->hasFocus(); }, 10000));
    input.type("!");
    EXPECT_EQ(editor->text(), "Save!");
    // Cleared and left: a blank is no translation, the row stays N.
    input.key("ctrl+a");
    input.key("BackSpace");
    input.key("Down");
    EXPECT_EQ(dbRow("ENG", "&Salvar"), QStringList({"", "N"}));
    EXPECT_EQ(boxes.shown.size(), 1);
}

TEST_F(EditorTeclado, AClickOnTheDetailPanelKeepsTheTypedTextAndTheNextKeyContinuesIt)
{
    TfrmTraducao* form = open(kIdiomas, kAtalhos);
    ASSERT_TRUE(form);
    QPointer<QLineEdit> editor = editCell("Nome");
    ASSERT_TRUE(editor);
    input.key("ctrl+a");
    input.type("Nam");
    // A click on the source text (to copy a word from it), then back on the cell.
    input.click(form->lblOrigem, QPoint(4, form->lblOrigem->height() / 2));
    input.doubleClick(form->lblOrigem, QPoint(4, form->lblOrigem->height() / 2));
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);
    EXPECT_EQ(dbRow("ENG", "Nome"), QStringList({"Nome", "N"}));
    clickCell("Nome");
    input.key("End");
    input.type("e");
    // The same editor, with its text and its undo, not a new one over it.
    ASSERT_TRUE(editor);
    EXPECT_EQ(form->dbgPadrao->InplaceEditor(), editor.data());
    EXPECT_EQ(editor->text(), "Name");
    input.key("Down");
    EXPECT_EQ(dbRow("ENG", "Nome"), QStringList({"Name", "T"}));
    EXPECT_EQ(serverCalls("SetDestino"), 1);
}

TEST_F(EditorTeclado, StatusKeysInACellDoNothingAndAltLettersNeverTypeIntoACell)
{
    TfrmTraducao* form = open(kIdiomas, kAtalhos);
    ASSERT_TRUE(form);
    QPointer<QLineEdit> editor = editCell("Nome");
    ASSERT_TRUE(editor);
    input.key("ctrl+a");
    input.type("Name");
    // Each of these is off while the row is edited: nothing posted, nothing
    // marked, no dialog, the text where it was.
    for (const char* key : {"ctrl+t", "ctrl+d", "ctrl+n", "ctrl+l", "F5", "alt+p", "alt+q"}) {
        SCOPED_TRACE(key);
        input.key(key);
        ASSERT_TRUE(editor);
        EXPECT_EQ(form->dbgPadrao->InplaceEditor(), editor.data());
        EXPECT_EQ(editor->text(), "Name");
        EXPECT_FALSE(QApplication::activeModalWidget());
    }
    EXPECT_EQ(serverCalls("SetDestino"), 0);
    input.key("Down");
    EXPECT_EQ(dbRow("ENG", "Nome"), QStringList({"Name", "T"}));
    EXPECT_EQ(serverCalls("SetDestino"), 1) << "one change, one save";

    // On the grid, Alt with a letter that no control takes opens no cell.
    ASSERT_TRUE(locate("Código"));
    form->dbgPadrao->setFocus();
    input.key("alt+p");
    input.key("alt+q");
    EXPECT_FALSE(form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    input.key("Down");
    EXPECT_EQ(dbRow("ENG", "Código"), QStringList({"Code", "T"}));
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
}

TEST_F(EditorTeclado, ADestinationLeftBlankKeepsItsStatus)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    ASSERT_EQ(dbRow("ENG", "Alíquota de ICMS (%)"), QStringList({"Alíquota de ICMS (%)", "N"}));
    QPointer<QLineEdit> editor = editCell("Alíquota de ICMS (%)");
    ASSERT_TRUE(editor);
    input.key("ctrl+a");
    input.key("BackSpace");
    EXPECT_TRUE(editor->text().isEmpty());
    input.key("Down");
    EXPECT_EQ(dbRow("ENG", "Alíquota de ICMS (%)"), QStringList({"", "N"}));
    // Blanks are no translation either; a real one is promoted.
    editor = editCell("Alíquota de ICMS (%)");
    ASSERT_TRUE(editor);
    input.type("  ");
    EXPECT_EQ(editor->text(), "  ");
    input.key("Return");
    EXPECT_EQ(dbRow("ENG", "Alíquota de ICMS (%)"), QStringList({"  ", "N"}));
    editor = editCell("Alíquota de ICMS (%)");
    ASSERT_TRUE(editor);
    input.key("ctrl+a");
    input.type("ICMS-Steuersatz (%)");
    input.key("Return");
    EXPECT_EQ(dbRow("ENG", "Alíquota de ICMS (%)"), QStringList({"ICMS-Steuersatz (%)", "T"}));
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
}

TEST_F(EditorTeclado, ANewEditorStartsWithTheKeyboardOnTheLanguageList)
{
    startServer({{"ENG", "English"}, {"POR", "Português"}}, {{"ENG", "P1", "c1", "Abrir", "Open", "T"}});
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    ASSERT_TRUE(input.ok());
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus);
    EXPECT_TRUE(focus == form->cbbIdioma || form->cbbIdioma->isAncestorOf(focus)) << focus->metaObject()->className();
    input.key("Down");
    EXPECT_EQ(form->cbbIdioma->currentText(), "ENG-English");
    EXPECT_EQ(stIdioma, "ENG");
}

TEST_F(EditorTeclado, InASortedGridDownGoesToTheRowThatWasBelowThePostedOne)
{
    TfrmTraducao* form = open(kIdiomas,
                              {
                                  {"ENG", "P1", "c1", "s1", "Mango", "T"},
                                  {"ENG", "P2", "c2", "s2", "Banana", "T"},
                                  {"ENG", "P3", "c3", "s3", "Cherry", "T"},
                                  {"ENG", "P4", "c4", "s4", "Date", "T"},
                                  {"ENG", "P5", "c5", "s5", "Elder", "T"},
                              });
    ASSERT_TRUE(form);
    clickTitle(2);
    ASSERT_EQ(form->cdsDestino->IndexFieldNames(), "STVALORPROP");
    ASSERT_EQ(rowOf("s3"), 1); // Banana, Cherry, Date, Elder, Mango

    QLineEdit* editor = editCell("s3");
    ASSERT_TRUE(editor);
    input.key("ctrl+a");
    input.type("AAA");
    input.key("Down");
    EXPECT_EQ(dbRow("ENG", "s3"), QStringList({"AAA", "T"}));
    EXPECT_EQ(current(), "s4") << "the row that was below on the screen";
    EXPECT_EQ(form->dbgPadrao->currentIndex().row(), 2);
    EXPECT_EQ(rowOf("s3"), 1) << "the posted row keeps its place until the user sorts again";
    EXPECT_EQ(shownDestination(1), "AAA");
    EXPECT_EQ(form->cdsDestino->RecordCount(), 5);

    // The next text typed goes into that row.
    input.key("F2");
    input.key("End");
    input.type("s");
    input.key("Return");
    EXPECT_EQ(dbRow("ENG", "s4"), QStringList({"Dates", "T"}));
    EXPECT_EQ(dbRow("ENG", "s2"), QStringList({"Banana", "T"}));

    // Sorting again puts it in its place.
    clickTitle(2);
    EXPECT_EQ(form->cdsDestino->IndexFieldNames(), "STVALORPROP DESC");
    EXPECT_EQ(rowOf("s3"), 4);
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
}

TEST_F(EditorTeclado, SortedByStatusEachCtrlTMarksTheRowThatWasBelow)
{
    TfrmTraducao* form = open(kIdiomas,
                              {
                                  {"ENG", "P1", "c1", "s1", "One", "T"},
                                  {"ENG", "P2", "c2", "s2", "Two", "D"},
                                  {"ENG", "P3", "c3", "s3", "Three", "N"},
                                  {"ENG", "P4", "c4", "s4", "Four", "D"},
                                  {"ENG", "P5", "c5", "s5", "Five", "D"},
                              });
    ASSERT_TRUE(form);
    clickTitle(0);
    ASSERT_EQ(form->cdsDestino->IndexFieldNames(), "IDSITTRADUCAO");
    clickCell(QStringLiteral("s2"), 1);
    ASSERT_EQ(form->dbgPadrao->currentIndex().row(), 0);
    for (int i = 0; i < 3; ++i) {
        input.key("ctrl+t");
        input.key("Down");
    }
    EXPECT_EQ(dbRow("ENG", "s2"), QStringList({"Two", "T"}));
    EXPECT_EQ(dbRow("ENG", "s4"), QStringList({"Four", "T"}));
    EXPECT_EQ(dbRow("ENG", "s5"), QStringList({"Five", "T"}));
    EXPECT_EQ(dbRow("ENG", "s3"), QStringList({"Three", "N"})) << "the row after the three D rows";
    EXPECT_EQ(current(), "s3");
    EXPECT_EQ(form->dbgPadrao->currentIndex().row(), 3);
}

TEST_F(EditorTeclado, ATypedPilcrowIsNotTakenForALineBreak)
{
    TfrmTraducao* form = open(kIdiomas,
                              {
                                  {"ENG", "P1", "c1", "s1", "Error.\nCheck", "T"},
                                  {"ENG", "P2", "c2", "s2", "x", "T"},
                                  {"ENG", "P3", "c3", "s3", "Other", "T"},
                              });
    ASSERT_TRUE(form);
    QLineEdit* editor = editCell("s2");
    ASSERT_TRUE(editor);
    input.key("ctrl+a");
    input.type("Error.¶Check");
    ASSERT_EQ(editor->text(), "Error.¶Check");
    input.key("Return");
    EXPECT_EQ(dbRow("ENG", "s2"), QStringList({"Error.¶Check", "T"}));
    EXPECT_EQ(dbRow("ENG", "s1"), QStringList({"Error.\nCheck", "T"}));
    clickCell("s3");

    // The two texts are stored as typed, the same length; on screen they differ.
    const QImage image = form->dbgPadrao->viewport()->grab().toImage();
    const QRect quebra = cellRect(rowOf("s1"), 2), pilcrow = cellRect(rowOf("s2"), 2);
    ASSERT_EQ(quebra.size(), pilcrow.size());
    EXPECT_FALSE(image.copy(quebra) == image.copy(pilcrow));
}

} // namespace
