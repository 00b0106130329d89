// The editor shows the truth and can be reached: after every undo (Escape, a
// refused save, a refused delete, rows that could not be loaded) the current
// row and the detail panel agree; with the rows closed the filter is reached
// by its button and by leaving the language panel, as the enable table gives;
// and every way to delete a row goes through the editor's own rule.
#include "EditorTestKit.h"

#include "Dispatch.h"
#include "TDBNavigator.h"
#include "TDateEditPlus.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};
const QList<Linha> kLinhas = {
    {"ENG", "P1", "c1", "Nome", "Nome", "N"},
    {"ENG", "P2", "c2", "Abrir", "Open", "T"},
    {"ENG", "P3", "c3", "Fechar", "Close", "D"},
};

class EditorAlcance : public EditorTest {
protected:
    TfrmTraducao* open() { return openLoaded(kIdiomas, kLinhas, QStringLiteral("ENG-English")); }
    void focusRow(TfrmTraducao* form, const QString& origem, int column = 2)
    {
        ASSERT_TRUE(locate(origem));
        form->dbgPadrao->setFocus();
        form->dbgPadrao->setCurrentIndex(form->dbgPadrao->model()->index(form->cdsDestino->RecNo() - 1, column));
        QApplication::processEvents();
    }
    // The grid's row, the data set's row and the panel name the same row.
    void expectAgree(TfrmTraducao* form, const QString& origem)
    {
        ASSERT_TRUE(form->cdsDestino->Active());
        EXPECT_EQ(form->cdsDestino->FieldByName("STAGRVALPROP")->AsString(), origem);
        EXPECT_EQ(form->dbgPadrao->currentIndex().row(), form->cdsDestino->RecNo() - 1);
        EXPECT_EQ(form->lblOrigem->text(), origem);
        EXPECT_EQ(form->lblDestino->text(), form->cdsDestino->FieldByName("STVALORPROP")->AsString());
        EXPECT_EQ(form->lblCodigo->text(), form->cdsDestino->FieldByName("CDPROGTRAD")->AsString());
    }
};

TEST_F(EditorAlcance, AfterEveryUndoTheCurrentRowAndTheDetailPanelAgree)
{
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);

    // Escape after typing: the panel followed the typing, then the row again.
    focusRow(form, "Abrir");
    QTest::keyClicks(form->dbgPadrao, "Xyz");
    ASSERT_EQ(form->lblDestino->text(), "Xyz");
    QTest::keyClick(form->dbgPadrao->InplaceEditor(), Qt::Key_Escape);
    expectAgree(form, "Abrir");
    EXPECT_EQ(form->lblDestino->text(), "Open");

    // A refused save: the typed text waits in the cell and the panel shows
    // it; given up, the row as the server has it.
    changeBehindTheEditor("Abrir", "Opened elsewhere");
    QTest::keyClicks(form->dbgPadrao, "Abc");
    QTest::keyClick(form->dbgPadrao->InplaceEditor(), Qt::Key_Return);
    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    EXPECT_EQ(form->cdsDestino->FieldByName("STAGRVALPROP")->AsString(), "Abrir");
    EXPECT_EQ(form->dbgPadrao->currentIndex().row(), form->cdsDestino->RecNo() - 1);
    EXPECT_EQ(form->lblOrigem->text(), "Abrir");
    EXPECT_EQ(form->lblDestino->text(), "Abc");
    ASSERT_TRUE(form->dbgPadrao->InplaceEditor());
    QTest::keyClick(form->dbgPadrao->InplaceEditor(), Qt::Key_Escape);
    expectAgree(form, "Abrir");
    EXPECT_EQ(form->lblDestino->text(), "Opened elsewhere");

    // A refused delete: the row comes back as the current one.
    changeBehindTheEditor("Nome", "Name elsewhere");
    focusRow(form, "Nome", 1);
    seam.defaultAnswer = mrYes;
    Dispatch([form] { form->sbtExcluir->Click(); });
    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 2);
    EXPECT_EQ(form->cdsDestino->RecordCount(), 3);
    expectAgree(form, "Nome");
    EXPECT_EQ(dbCount("ENG"), 3);

    // Rows that could not be loaded: the row set is closed, the panel empty.
    seam.onModal = [this](TForm& f) {
        auto& filtro = static_cast<TfrmFiltroTraducao&>(f);
        filtro.depDtInicial->setText("01/01/2020");
        filtro.depDtFinal->setText(QDate::currentDate().toString("dd/MM/yyyy"));
        server->kill9();
        QTest::mouseClick(filtro.sbtConfirma, Qt::LeftButton);
    };
    Dispatch([form] { form->sbtFiltro->Click(); });
    EXPECT_EQ(seam.count(RecordingDialogSeam::Error), 3);
    EXPECT_FALSE(form->cdsDestino->Active());
    for (QLabel* label : {form->lblOrigem, form->lblDestino, form->lblCodigo, form->lblNome})
        EXPECT_TRUE(label->text().isEmpty()) << label->objectName().toStdString();
}

TEST_F(EditorAlcance, WithTheRowsClosedTheFilterIsReachedByItsButtonAndByLeavingThePanel)
{
    startServer(kIdiomas, kLinhas);
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    chooseLanguage("ENG-English");
    leaveLanguagePanel(); // the filter dialog opens; the user cancels it
    ASSERT_EQ(seam.count(RecordingDialogSeam::Modal), 1);
    ASSERT_FALSE(form->cdsDestino->Active());
    // No state change yet: every button and menu item as created, off.
    for (QWidget* b : {static_cast<QWidget*>(form->sbtFiltro), static_cast<QWidget*>(form->sbtVerificar)})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(form->mnuFiltro->isEnabled());

    // Ctrl+L follows its menu item; leaving the panel opens the filter again.
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    form->dbgPadrao->setFocus();
    QTest::keyClick(form->dbgPadrao, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 1);
    leaveLanguagePanel();
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 2);

    // Closed by a language change after rows: the filter button on, its menu
    // item, Ctrl+L and the reload off; the button opens the filter.
    reload();
    ASSERT_TRUE(form->cdsDestino->Active());
    chooseLanguage("ENG-English");
    form->cbbIdioma->setCurrentIndex(-1);
    chooseLanguage("ENG-English");
    ASSERT_FALSE(form->cdsDestino->Active());
    EXPECT_TRUE(form->sbtFiltro->isEnabled());
    EXPECT_FALSE(form->mnuFiltro->isEnabled());
    EXPECT_FALSE(form->sbtVerificar->isEnabled());
    EXPECT_FALSE(form->mnuVerificar->isEnabled());
    form->dbgPadrao->setFocus();
    QTest::keyClick(form->dbgPadrao, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 2);
    QTest::mouseClick(form->sbtFiltro, Qt::LeftButton);
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 3);
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
}

// An answer larger than the connection takes is refused before it is held,
// and the user gets the catalog's advice (a narrower range), not a raw error.
TEST_F(EditorAlcance, AnAnswerOverTheLimitIsTheInsufficientMemoryCaseAndLeavesTheRowsClosed)
{
    startServer(kIdiomas, kLinhas);
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    chooseLanguage("ENG-English");
    leaveLanguagePanel(); // the filter dialog opens; the user cancels it
    form->netTraducao->Close();
    form->netTraducao->MaxAnswerBytes = 256; // far below the three rows' packet

    reload();
    EXPECT_FALSE(form->cdsDestino->Active());
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
    ASSERT_EQ(seam.messages().size(), 1) << seam.messages().join('|').toStdString();
    EXPECT_TRUE(seam.messages().first().startsWith(
        QStringLiteral("Não foi possível retornar todos os registros selecionados.")))
        << seam.messages().first().toStdString();
    EXPECT_TRUE(form->lblOrigem->text().isEmpty());

    // Within the limit again, the same reload brings the rows.
    form->netTraducao->Close();
    form->netTraducao->MaxAnswerBytes = qint64(1) << 30;
    seam.clear();
    reload();
    ASSERT_TRUE(form->cdsDestino->Active());
    EXPECT_EQ(form->cdsDestino->RecordCount(), 3);
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
}

TEST_F(EditorAlcance, EveryDeleteGoesThroughTheEditorsRule)
{
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);
    QToolButton* excluir = form->dbnPadrao->Button(nbDelete);
    ASSERT_TRUE(excluir);

    // While a row is being edited, no delete of any kind asks or deletes, and
    // the cell's editor stays as the user left it: a click on the navigator or
    // on the detail panel takes no focus from it.
    focusRow(form, "Abrir");
    QTest::keyClicks(form->dbgPadrao, "Abr");
    QLineEdit* editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor);
    QTest::keyClick(editor, Qt::Key_Delete, Qt::ControlModifier);
    if (excluir->isEnabled())
        QTest::mouseClick(excluir, Qt::LeftButton);
    QTest::mouseClick(form->lblTela, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(seam.shown.empty()) << seam.messages().join('|').toStdString();
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);
    ASSERT_EQ(form->dbgPadrao->InplaceEditor(), editor);
    EXPECT_TRUE(editor->hasFocus());
    QTest::keyClicks(editor, "ir!");
    EXPECT_EQ(editor->text(), "Abrir!");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Abrir!", "T"}));
    form->dbgPadrao->setFocus();

    // Browsing: the grid's Ctrl+Delete and the navigator ask the editor's question.
    seam.defaultAnswer = mrNo;
    QTest::keyClick(form->dbgPadrao, Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(seam.messages(), QStringList{"Confirma a exclusão do registro?"});
    EXPECT_EQ(form->cdsDestino->RecordCount(), 3);
    seam.defaultAnswer = mrYes;
    ASSERT_TRUE(excluir->isEnabled());
    QTest::mouseClick(excluir, Qt::LeftButton);
    EXPECT_EQ(seam.messages().size(), 2);
    EXPECT_EQ(seam.messages().last(), "Confirma a exclusão do registro?");
    EXPECT_EQ(form->cdsDestino->RecordCount(), 2);
    EXPECT_EQ(dbCount("ENG"), 2);
    EXPECT_TRUE(dbRow("ENG", "Abrir").isEmpty());
}

} // namespace
