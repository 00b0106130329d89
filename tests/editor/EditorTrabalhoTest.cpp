// Nothing typed is lost: a destination text typed and not yet posted is saved
// when the rows go (a language change, the editor closing); a save the server
// refuses then keeps the language, the rows and the text in the cell's editor.
#include "EditorTestKit.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}, {"SPA", "Español"}};
const QList<Linha> kLinhas = {
    {"ENG", "P1", "c1", "Nome", "Nome", "N"},
    {"ENG", "P2", "c2", "Abrir", "Open", "T"},
    {"SPA", "P1", "c1", "Nome", "", "N"},
};

class EditorTrabalho : public EditorTest {
protected:
    TfrmTraducao* open() { return openLoaded(kIdiomas, kLinhas, QStringLiteral("ENG-English")); }
    // Types into the destination cell of that row and stays in the cell.
    QLineEdit* type(TfrmTraducao* form, const QString& origem, const QString& text)
    {
        EXPECT_TRUE(locate(origem));
        form->dbgPadrao->setFocus();
        form->dbgPadrao->setCurrentIndex(form->dbgPadrao->model()->index(form->cdsDestino->RecNo() - 1, 2));
        QApplication::processEvents(); // the focus has left the language panel
        QTest::keyClicks(form->dbgPadrao, text);
        QLineEdit* editor = form->dbgPadrao->InplaceEditor();
        EXPECT_TRUE(editor);
        if (editor) {
            EXPECT_EQ(editor->text(), text);
        }
        return editor;
    }
};

TEST_F(EditorTrabalho, ATextTypedInTheCellIsSavedWhenTheLanguageChanges)
{
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);
    type(form, "Nome", "Name");
    chooseLanguage("SPA-Español");
    EXPECT_TRUE(seam.shown.empty()) << seam.errors().join('|').toStdString();
    EXPECT_EQ(dbRow("ENG", "Nome"), QStringList({"Name", "T"})) << "posted, promoted and saved";
    EXPECT_EQ(stIdioma, "SPA");
    EXPECT_FALSE(form->cdsDestino->Active());
}

TEST_F(EditorTrabalho, ARefusedSaveOnALanguageChangeKeepsTheLanguageTheRowsAndTheText)
{
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);
    changeBehindTheEditor("Nome", "Nombre de otro");
    type(form, "Nome", "Name");
    chooseLanguage("SPA-Español");

    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    EXPECT_TRUE(seam.errors().first().contains("O texto digitado não foi gravado e continua na célula"));
    EXPECT_EQ(form->cbbIdioma->currentText(), "ENG-English");
    EXPECT_EQ(stIdioma, "ENG");
    ASSERT_TRUE(form->cdsDestino->Active());
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);
    EXPECT_EQ(form->cdsDestino->FieldByName("STAGRVALPROP")->AsString(), "Nome");
    QLineEdit* editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor) << "the text is back in the cell's editor";
    EXPECT_EQ(editor->text(), "Name");
    EXPECT_EQ(dbRow("ENG", "Nome"), QStringList({"Nombre de otro", "N"}));

    // The user gives up the text: the row shows what the server holds.
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(form->cdsDestino->FieldByName("STVALORPROP")->AsString(), "Nombre de otro");
    chooseLanguage("SPA-Español");
    EXPECT_EQ(stIdioma, "SPA");
    EXPECT_EQ(seam.count(RecordingDialogSeam::Error), 1);
}

TEST_F(EditorTrabalho, ClosingTheEditorSavesTheTypedTextOrStaysOpenWithIt)
{
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);
    changeBehindTheEditor("Abrir", "Opened elsewhere");
    type(form, "Abrir", "Abrir!");
    closeEditor();
    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    ASSERT_TRUE(frmTraducao) << "a refused save keeps the editor open";
    EXPECT_TRUE(boStCriado);
    QLineEdit* editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), "Abrir!");

    // Closed again, the text is saved over the other user's on purpose: it is
    // checked against the row as the server has it now.
    editor->setText("Open!");
    closeEditor();
    EXPECT_FALSE(frmTraducao);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open!", "T"}));
    EXPECT_EQ(seam.count(RecordingDialogSeam::Error), 1);
}

} // namespace
