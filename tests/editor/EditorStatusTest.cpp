// Status marking and saving against a real trd-server: the status buttons and
// menu items, promotion on post, every save checked in the server's database,
// a refused save, refused inserts, deleting, and the enable table.
#include "EditorTestKit.h"

#include "Dispatch.h"
#include "ShowAvi.h"

#include <QApplication>
#include <QTest>
#include <QToolButton>

#include <sqlite3.h>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}, {"POR", "Portuguese"}};

// Source texts name the rows; programs keep them in this order in the grid.
const QList<Linha> kLinhas = {
    {"ENG", "P1", "c1", "Salvar", "Save", "T"},
    {"ENG", "P2", "c2", "Nome", "Nome", "N"}, // not translated yet: destination = source
    {"ENG", "P3", "c3", "Dúvida", "Doubt", "D"},
    {"ENG", "P4", "c4", "Abrir", "Open", "N"},
    {"ENG", "P5", "c5", "Fechar", "Close", "T"},
};

class EditorStatus : public EditorTest {
protected:
    TfrmTraducao* openWithRows() { return openLoaded(kIdiomas, kLinhas, QStringLiteral("ENG-English")); }
    QString status() const { return frmTraducao->cdsDestino->FieldByName("IDSITTRADUCAO")->AsString(); }
    QString destination() const { return frmTraducao->cdsDestino->FieldByName("STVALORPROP")->AsString(); }
    // Types a destination text and posts it, as the grid does when the row is left.
    void postDestination(const QString& text)
    {
        Dispatch([&] {
            frmTraducao->cdsDestino->Edit();
            frmTraducao->cdsDestino->FieldByName("STVALORPROP")->SetAsString(text);
            frmTraducao->cdsDestino->Post();
        });
    }
    void click(TButtonFlat* button)
    {
        Dispatch([button] { button->Click(); });
    }
};

TEST_F(EditorStatus, ClickingTheStatusTheRowAlreadyHasCallsNoServer)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    ASSERT_TRUE(locate("Salvar"));
    const int before = serverCalls("SetDestino");
    click(form->sbtTrad);
    form->mnuTrad->trigger();
    EXPECT_EQ(serverCalls("SetDestino"), before);
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(form->mnuTrad->isChecked()) << "triggering the checked item must not clear its mark";
}

TEST_F(EditorStatus, EachButtonSavesItsStatusAndTheUsersChoiceBeatsPromotion)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    ASSERT_TRUE(locate("Abrir")); // "N", texts differ
    click(form->sbtDuvida);
    EXPECT_EQ(status(), "D");
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open", "D"}));
    click(form->sbtNTrad);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open", "N"}));
    click(form->sbtTrad);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open", "T"}));
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0) << "a saved change is merged";
    EXPECT_TRUE(seam.errors().isEmpty());
    EXPECT_FALSE(ShowAviActive());

    // The menu items and their shortcuts run the same handlers.
    form->mnuNTrad->trigger();
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open", "N"}));
    form->dbgPadrao->setFocus();
    QTest::keyClick(form->dbgPadrao, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open", "D"}));
    QTest::keyClick(form->dbgPadrao, Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open", "T"}));
    QTest::keyClick(form->dbgPadrao, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open", "N"}));
}

TEST_F(EditorStatus, PostingPromotesAnUnchangedNOrDWhoseTextsNowDiffer)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);

    ASSERT_TRUE(locate("Nome")); // "N", destination equal to the source
    postDestination("Name");
    EXPECT_EQ(status(), "T");
    EXPECT_EQ(dbRow("ENG", "Nome"), QStringList({"Name", "T"}));

    ASSERT_TRUE(locate("Dúvida")); // "D", texts differ
    postDestination("Doubtful");
    EXPECT_EQ(dbRow("ENG", "Dúvida"), QStringList({"Doubtful", "T"}));

    ASSERT_TRUE(locate("Salvar")); // "T" stays "T" even with equal texts
    postDestination("Salvar");
    EXPECT_EQ(dbRow("ENG", "Salvar"), QStringList({"Salvar", "T"}));

    // Equal texts keep "N"; a difference of case alone counts as different.
    ASSERT_TRUE(locate("Abrir"));
    click(form->sbtNTrad); // already "N": nothing
    postDestination("Abrir");
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Abrir", "N"}));
    postDestination("abrir");
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"abrir", "T"}));
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
}

TEST_F(EditorStatus, ARefusedSaveShowsTheServersRowAndKeepsTheTypedTextInItsCell)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    ASSERT_TRUE(locate("Abrir"));
    changeBehindTheEditor("Abrir", "Opened by someone else");
    form->dbgPadrao->setFocus();
    form->dbgPadrao->setCurrentIndex(form->dbgPadrao->model()->index(form->cdsDestino->RecNo() - 1, 2));
    QApplication::processEvents();
    QTest::keyClicks(form->dbgPadrao, "Meu texto");
    ASSERT_TRUE(form->dbgPadrao->InplaceEditor());
    QTest::keyClick(form->dbgPadrao->InplaceEditor(), Qt::Key_Return);

    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    const QString shown = seam.errors().first();
    EXPECT_TRUE(shown.startsWith("O registro foi alterado por outro usuário")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("O texto digitado não foi gravado e continua na célula")) << shown.toStdString();
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0) << "nothing of the refused save is left logged";
    EXPECT_FALSE(ShowAviActive());
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Opened by someone else", "N"}));
    // The text waits, unposted, in the cell; the colleague's is beside it.
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);
    ASSERT_TRUE(form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(form->dbgPadrao->InplaceEditor()->text(), "Meu texto");
    EXPECT_TRUE(form->panTextoColega->Mostrando());
    EXPECT_EQ(form->panTextoColega->Texto(), "Opened by someone else");

    // Given up, the row shows what the server holds.
    QTest::keyClick(form->dbgPadrao->InplaceEditor(), Qt::Key_Escape);
    EXPECT_EQ(destination(), "Opened by someone else");
    EXPECT_EQ(status(), "N");
    EXPECT_FALSE(form->panTextoColega->Mostrando());

    // A refused status change has no typed text to report.
    changeBehindTheEditor("Abrir", "Changed once more");
    seam.clear();
    click(form->sbtTrad);
    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    EXPECT_FALSE(seam.errors().first().contains("não foi gravado"));
    EXPECT_EQ(status(), "N");
    EXPECT_EQ(destination(), "Changed once more");
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
    EXPECT_FALSE(form->panTextoColega->Mostrando());
    // Clicked again, it is checked against the row as the server has it.
    click(form->sbtTrad);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Changed once more", "T"}));
}

TEST_F(EditorStatus, InsertsAreRefusedSilentlyFromEveryWhere)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    form->cdsDestino->Last();
    const int rows = form->cdsDestino->RecordCount();
    form->dbgPadrao->setFocus();
    QTest::keyClick(form->dbgPadrao, Qt::Key_Insert);
    form->dbnPadrao->BtnClick(nbInsert);
    Dispatch([form] { form->cdsDestino->Append(); });
    // The inherited insert action is disabled, and its handler refuses too.
    EXPECT_FALSE(form->sbtIncluir->isEnabled());
    Dispatch([form] { form->sbtIncluir->Click(); });
    EXPECT_EQ(form->cdsDestino->RecordCount(), rows);
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(seam.shown.empty()) << "no message for a refused insert";
    EXPECT_EQ(dbCount("ENG"), rows);
}

TEST_F(EditorStatus, DeletingNeedsRowsBrowseModeAndAYes)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    ASSERT_TRUE(locate("Fechar"));
    seam.answers = {mrNo};
    Dispatch([form] { form->sbtExcluirClick(form->sbtExcluir); });
    ASSERT_EQ(seam.messages(), QStringList{form->msgMensagensPadroes->Msg("Excl")});
    EXPECT_EQ(dbCount("ENG"), 5);

    form->cdsDestino->Edit();
    Dispatch([form] { form->sbtExcluirClick(form->sbtExcluir); });
    EXPECT_EQ(seam.count(RecordingDialogSeam::Message), 1) << "no question while editing";
    form->cdsDestino->Cancel();

    seam.answers = {mrYes};
    Dispatch([form] { form->sbtExcluirClick(form->sbtExcluir); });
    EXPECT_EQ(form->cdsDestino->RecordCount(), 4);
    EXPECT_TRUE(dbRow("ENG", "Fechar").isEmpty()) << "the deleted row is gone from the server";
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);

    // A deletion the server refuses brings the row back.
    ASSERT_TRUE(locate("Salvar"));
    changeBehindTheEditor("Salvar", "Saved elsewhere");
    seam.answers = {mrYes};
    Dispatch([form] { form->sbtExcluirClick(form->sbtExcluir); });
    EXPECT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    EXPECT_EQ(form->cdsDestino->RecordCount(), 4);
    EXPECT_TRUE(locate("Salvar"));
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
    EXPECT_EQ(dbRow("ENG", "Salvar"), QStringList({"Saved elsewhere", "T"}));

    // With no rows there is nothing to ask about.
    chooseLanguage("POR-Portuguese");
    reload();
    ASSERT_TRUE(form->cdsDestino->IsEmpty());
    seam.clear();
    Dispatch([form] { form->sbtExcluirClick(form->sbtExcluir); });
    EXPECT_TRUE(seam.shown.empty());
}

struct Expected {
    bool status, filtro, mnuFiltro, infor, substituir, imprimir, excluir;
};

void expectState(TfrmTraducao* form, const Expected& e, const char* where)
{
    SCOPED_TRACE(where);
    for (TButtonFlat* b : {form->sbtNTrad, form->sbtDuvida, form->sbtTrad})
        EXPECT_EQ(b->isEnabled(), e.status) << b->objectName().toStdString();
    for (QAction* a : {form->mnuNTrad, form->mnuDuvida, form->mnuTrad})
        EXPECT_EQ(a->isEnabled(), e.status) << a->objectName().toStdString();
    EXPECT_EQ(form->sbtFiltro->isEnabled(), e.filtro);
    EXPECT_EQ(form->mnuFiltro->isEnabled(), e.mnuFiltro);
    EXPECT_EQ(form->sbtInfor->isEnabled(), e.infor);
    EXPECT_EQ(form->mnuInfor->isEnabled(), e.infor);
    EXPECT_EQ(form->sbtSubstituir->isEnabled(), e.substituir);
    EXPECT_EQ(form->mnuSubstituir->isEnabled(), e.substituir);
    EXPECT_EQ(form->sbtImprimir->isEnabled(), e.imprimir);
    EXPECT_EQ(form->sbtExcluir->isEnabled(), e.excluir);
    EXPECT_EQ(form->mnuExcluir->isEnabled(), e.excluir);
    for (QAction* a : {form->mnuIncluir, form->mnuProcurar})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_FALSE(form->sbtIncluir->isEnabled());
    EXPECT_FALSE(form->sbtProcurar->isEnabled());
}

TEST_F(EditorStatus, ButtonsAndMenuItemsFollowTheStateOfTheRowSet)
{
    startServer(kIdiomas, kLinhas);
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    expectState(form, {false, false, false, false, false, false, false}, "new editor, as created");

    loadLanguage("ENG-English");
    expectState(form, {true, true, true, true, true, true, true}, "open, browsing, rows");

    form->cdsDestino->Edit();
    expectState(form, {false, false, false, false, false, false, false}, "editing");
    form->cdsDestino->Cancel();
    expectState(form, {true, true, true, true, true, true, true}, "after cancelling");

    // Closed by a language change: the filter button on, its menu item (and
    // Ctrl+L) off, and the reload off, as the base form gives it.
    chooseLanguage("POR-Portuguese");
    expectState(form, {false, true, false, false, false, false, false}, "closed by a language change");
    EXPECT_FALSE(form->sbtVerificar->isEnabled());
    EXPECT_FALSE(form->mnuVerificar->isEnabled());

    reload();
    ASSERT_TRUE(form->cdsDestino->Active());
    ASSERT_TRUE(form->cdsDestino->IsEmpty());
    expectState(form, {false, true, true, false, false, false, false}, "open, no rows");
}

TEST_F(EditorStatus, LampsAndCheckMarksFollowTheCurrentRow)
{
    TfrmTraducao* form = openWithRows();
    ASSERT_TRUE(form);
    auto lit = [](TButtonFlat* b, TImage* litImage, TImage* dimImage) {
        return b->Tag == 1 ? b->Glyph() == litImage->Picture() : (b->Glyph() == dimImage->Picture() ? false : true);
    };
    auto expectLamps = [&](bool n, bool d, bool t) {
        EXPECT_EQ(form->sbtNTrad->Tag, n ? 1 : 0);
        EXPECT_EQ(form->sbtDuvida->Tag, d ? 1 : 0);
        EXPECT_EQ(form->sbtTrad->Tag, t ? 1 : 0);
        EXPECT_EQ(lit(form->sbtNTrad, form->imgNTrad1, form->imgNTrad2), n);
        EXPECT_EQ(lit(form->sbtDuvida, form->imgDuvida1, form->imgDuvida2), d);
        EXPECT_EQ(lit(form->sbtTrad, form->imgTrad1, form->imgTrad2), t);
        EXPECT_EQ(form->mnuNTrad->isChecked(), n);
        EXPECT_EQ(form->mnuDuvida->isChecked(), d);
        EXPECT_EQ(form->mnuTrad->isChecked(), t);
    };
    ASSERT_TRUE(locate("Salvar"));
    expectLamps(false, false, true);
    form->cdsDestino->Next(); // "Nome", "N"
    expectLamps(true, false, false);
    form->cdsDestino->Next(); // "Dúvida", "D"
    expectLamps(false, true, false);
    click(form->sbtTrad);
    expectLamps(false, false, true);

    // Closing keeps the last lamps and marks.
    chooseLanguage("POR-Portuguese");
    expectLamps(false, false, true);
}

} // namespace
