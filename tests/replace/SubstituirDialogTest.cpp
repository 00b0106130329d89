// The find/replace dialog driven through its real widgets, opened from the
// real editor's tool bar, against a real trd-server: find next with its modes,
// its wrapping and its stop at the start text; replace with the moving of
// the shortcut mark; replace-all to the end of every row, stopped, and
// failing in the middle. Every saved text is read back from the server's
// database.
#include "EditorTestKit.h"

#include "Cli_Trd09306.h"
#include "Dispatch.h"
#include "TAnimate.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}, {"POR", "Portuguese"}, {"SPA", "Spanish"}};

class Substituicao : public EditorTest {
protected:
    ~Substituicao() override
    {
        if (frmSubstituir)
            frmSubstituir->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The editor on these rows of ENG, and the dialog opened from its tool bar.
    TfrmSubstituir* abre(const QList<Linha>& linhas)
    {
        TfrmTraducao* editor = openLoaded(kIdiomas, linhas, QStringLiteral("ENG-English"));
        if (!editor)
            return nullptr;
        return abreDialogo();
    }
    TfrmSubstituir* abreDialogo()
    {
        EXPECT_TRUE(frmTraducao->sbtSubstituir->isEnabled());
        QTest::mouseClick(frmTraducao->sbtSubstituir, Qt::LeftButton);
        EXPECT_TRUE(frmSubstituir);
        if (!frmSubstituir)
            return nullptr;
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == frmSubstituir; }));
        return frmSubstituir;
    }
    void busca(const QString& texto, int tipo, bool ignoraCaixa = false)
    {
        frmSubstituir->edtLocalizar->setText(texto);
        frmSubstituir->SetTpBuscaIndex(tipo);
        frmSubstituir->chbNoCase->setChecked(ignoraCaixa);
    }
    void clica(QWidget* botao) { QTest::mouseClick(botao, Qt::LeftButton); }
    void procura() { clica(frmSubstituir->sbtProcurar); }
    QString destinoAtual() const { return frmTraducao->cdsDestino->FieldByName("STVALORPROP")->AsString(); }
    QString origemAtual() const { return frmTraducao->cdsDestino->FieldByName("STAGRVALPROP")->AsString(); }
    int linhaDaGrade() const { return frmTraducao->dbgPadrao->currentIndex().row(); }
    // What the user was told since the last look, and forget it.
    QStringList avisos()
    {
        const QStringList m = seam.messages();
        seam.clear();
        return m;
    }
    // Another user saves the row meanwhile.
    void mudaPorOutro(const QString& origem, const QString& destino)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(server->dbPath().toUtf8().constData(), &db), SQLITE_OK);
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "UPDATE TRADUCAO SET STVALORPROP = ? WHERE STAGRVALPROP = ?", -1, &st, nullptr);
        const QByteArray d = destino.toUtf8(), o = origem.toUtf8();
        sqlite3_bind_text(st, 1, d.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, o.constData(), -1, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    // The dialog is back to its resting state after replace-all, however it ended.
    void esperaRepouso()
    {
        EXPECT_FALSE(boTraduzindo);
        EXPECT_FALSE(frmSubstituir->panMove1->isVisible());
        EXPECT_FALSE(frmSubstituir->anmAnima->Active());
        EXPECT_TRUE(frmSubstituir->sbtSubstAll->isEnabled());
        EXPECT_TRUE(frmSubstituir->sbtProcurar->isEnabled());
        EXPECT_TRUE(frmSubstituir->edtLocalizar->isEnabled());
        EXPECT_EQ(frmSubstituir->cursor().shape(), Qt::ArrowCursor) << "the form's normal cursor is back";
        EXPECT_FALSE(frmTraducao->cdsDestino->ControlsDisabled());
        EXPECT_EQ(frmTraducao->cdsDestino->State(), TDataSetState::dsBrowse);
        EXPECT_EQ(frmTraducao->cdsDestino->ChangeCount(), 0);
    }
};

const QString kNaoEncIdentico = QStringLiteral("Texto Idêntico não encontrado");
const QString kNaoEncParte = QStringLiteral("Texto Parecido não encontrado");
const QString kSucesso = QStringLiteral("Substituição efetuada com sucesso");
const QString kNaoInformado = QStringLiteral("Texto não informado");

} // namespace

TEST_F(Substituicao, OpensFromTheToolBarAndMenuOnceWithItsDefaults)
{
    TfrmSubstituir* dlg = abre({{"ENG", "P1", "c", "Abrir", "Open", "N"}});
    ASSERT_TRUE(dlg);
    EXPECT_EQ(dlg->Caption(), QStringLiteral("Localizar/Substituir"));
    EXPECT_EQ(dlg->lblCodTela->text(), QStringLiteral("TRD09306"));
    EXPECT_TRUE(boIdCriado);
    EXPECT_EQ(dlg->cbbIdioma->currentText(), QStringLiteral("Destino"));
    EXPECT_TRUE(dlg->rbtIdentico->isChecked());
    EXPECT_FALSE(dlg->chbNoCase->isChecked());
    EXPECT_EQ(dlg->cdsSubstituir, frmTraducao->cdsDestino);
    EXPECT_TRUE(dlg->edtLocalizar->hasFocus());

    // "Origem" searches only: the replacement and its buttons go.
    dlg->cbbIdioma->setCurrentIndex(0);
    EXPECT_FALSE(dlg->edtSubstituir->isEnabled());
    EXPECT_FALSE(dlg->lblSubstituir->isEnabled());
    EXPECT_FALSE(dlg->sbtConfirma->isEnabled());
    EXPECT_FALSE(dlg->sbtSubstAll->isEnabled());
    EXPECT_TRUE(dlg->sbtProcurar->isEnabled());
    dlg->SetTpBuscaIndex(1);

    // The menu item brings the same instance forward with its settings.
    frmTraducao->mnuSubstituir->trigger();
    EXPECT_EQ(frmSubstituir, dlg);
    EXPECT_EQ(dlg->cbbIdioma->currentIndex(), 0);
    EXPECT_EQ(dlg->TpBuscaIndex(), 1);

    // Closed, it is built again with the defaults.
    clica(dlg->sbtCancel);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(boIdCriado);
    EXPECT_FALSE(frmSubstituir);
    TfrmSubstituir* nova = abreDialogo();
    ASSERT_TRUE(nova);
    EXPECT_EQ(nova->cbbIdioma->currentIndex(), 1);
    EXPECT_EQ(nova->TpBuscaIndex(), 0);
}

TEST_F(Substituicao, FindNextFollowsTheModeMarksAndCaseAndWraps)
{
    TfrmSubstituir* dlg = abre({
        {"ENG", "P1", "c", "o1", "Abrir", "T"},
        {"ENG", "P2", "c", "o2", "Arquivo", "T"},
        {"ENG", "P3", "c", "o3", "Abrir Arquivo", "T"},
        {"ENG", "P4", "c", "o4", QStringLiteral("AÇÃO"), "T"},
        {"ENG", "P5", "c", "o5", "&Menu", "T"},
        {"ENG", "P6", "c", "o6", QStringLiteral("Ý"), "T"},
    });
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(locate("o1"));

    busca("Arq", 0);
    procura();
    EXPECT_EQ(destinoAtual(), "Arquivo");
    EXPECT_EQ(linhaDaGrade(), 1) << "the grid shows the found row";
    EXPECT_TRUE(boAchou);
    EXPECT_TRUE(avisos().isEmpty());
    // 'Abrir Arquivo' does not begin with it: round the whole set and back.
    procura();
    EXPECT_EQ(avisos(), QStringList{kNaoEncIdentico});
    EXPECT_FALSE(boAchou);
    EXPECT_EQ(destinoAtual(), "Arquivo");

    busca("Arq", 1);
    procura();
    EXPECT_EQ(destinoAtual(), "Abrir Arquivo");
    // Enter is find next; from the last row the search goes on at the first.
    ASSERT_TRUE(locate("o6"));
    dlg->edtLocalizar->setFocus();
    QTest::keyClick(dlg->edtLocalizar, Qt::Key_Return);
    EXPECT_EQ(destinoAtual(), "Arquivo");
    EXPECT_EQ(linhaDaGrade(), 1);

    // Marks go from the rows, never from the search text.
    busca("Menu", 0);
    procura();
    EXPECT_EQ(destinoAtual(), "&Menu");
    busca("&Menu", 0);
    procura();
    EXPECT_EQ(avisos(), QStringList{kNaoEncIdentico});

    // Case: 'ação' finds 'AÇÃO' only when case is ignored; 'ý' never finds 'Ý'.
    ASSERT_TRUE(locate("o1"));
    busca(QStringLiteral("ação"), 1, false);
    procura();
    EXPECT_EQ(avisos(), QStringList{kNaoEncParte});
    busca(QStringLiteral("ação"), 1, true);
    procura();
    EXPECT_EQ(destinoAtual(), QStringLiteral("AÇÃO"));
    busca(QStringLiteral("ý"), 1, true);
    procura();
    EXPECT_EQ(avisos(), QStringList{kNaoEncParte});

    // Nothing to search for: told so, nothing moves.
    ASSERT_TRUE(locate("o3"));
    busca("  ", 1);
    procura();
    EXPECT_EQ(avisos(), QStringList{kNaoInformado});
    EXPECT_EQ(origemAtual(), "o3");
    EXPECT_FALSE(frmTraducao->cdsDestino->ControlsDisabled());

    // "Origem" searches the source texts.
    dlg->cbbIdioma->setCurrentIndex(0);
    busca("o5", 0);
    procura();
    EXPECT_EQ(destinoAtual(), "&Menu");
}

TEST_F(Substituicao, FindNextStopsAtTheStartTextAndOnTinyRowSets)
{
    TfrmSubstituir* dlg = abre({
        {"ENG", "P1", "c", "o1", "", "N"},
        {"ENG", "P2", "c", "o2", "outro", "T"},
        {"ENG", "P3", "c", "o3", "", "N"},
        {"ENG", "P4", "c", "o4", "alvo", "T"},
        {"ENG", "P5", "c", "o5", "ALVO", "T"},
        {"POR", "P1", "c", "so", "alvo", "T"},
    });
    ASSERT_TRUE(dlg);
    // From an empty destination the search ends at the next empty one: the
    // rows beyond it are not searched.
    ASSERT_TRUE(locate("o1"));
    busca("alvo", 1);
    procura();
    EXPECT_EQ(avisos(), QStringList{kNaoEncParte});
    EXPECT_EQ(origemAtual(), "o3");
    EXPECT_EQ(linhaDaGrade(), 2);
    // The next row whose text equals the start text but for A-Z case ends it too.
    ASSERT_TRUE(locate("o4"));
    procura();
    EXPECT_EQ(avisos(), QStringList{kNaoEncParte});
    EXPECT_EQ(origemAtual(), "o5");

    // A language of one row: the only match is the start row, never tested.
    loadLanguage("POR-Portuguese");
    procura();
    EXPECT_EQ(avisos(), QStringList{kNaoEncParte});
    EXPECT_EQ(origemAtual(), "so");
    // A language without rows.
    loadLanguage("SPA-Spanish");
    ASSERT_TRUE(frmTraducao->cdsDestino->IsEmpty());
    procura();
    EXPECT_EQ(avisos(), QStringList{kNaoEncParte});
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
}

TEST_F(Substituicao, ReplaceSavesEachOccurrenceAndMovesTheMark)
{
    TfrmSubstituir* dlg = abre({
        {"ENG", "P1", "c", "Arquivo", "&Arquivo", "N"},
        {"ENG", "P2", "c", "Salvar como", "Sal&var como", "D"},
        {"ENG", "P3", "c", "Casa", "Casa casa", "T"},
        {"ENG", "P4", "c", "Amp", "a && b", "T"},
        {"ENG", "P5", "c", "Fim", "Sem nada", "T"},
    });
    ASSERT_TRUE(dlg);

    ASSERT_TRUE(locate("Arquivo"));
    busca("Arquivo", 0);
    dlg->edtSubstituir->setText("File");
    clica(dlg->sbtConfirma);
    EXPECT_EQ(dbRow("ENG", "Arquivo"), QStringList({"&File", "T"})) << "saved, promoted from N";
    EXPECT_FALSE(boAchou);

    // The current row no longer matches: the search goes on and the next
    // match is replaced at once; the row it started on stays as it is.
    busca("como", 1);
    dlg->edtSubstituir->setText("as");
    clica(dlg->sbtConfirma);
    EXPECT_EQ(dbRow("ENG", "Salvar como"), QStringList({"Salvar &as", "T"}));
    EXPECT_EQ(dbRow("ENG", "Arquivo"), QStringList({"&File", "T"}));
    EXPECT_EQ(origemAtual(), "Salvar como");
    EXPECT_EQ(linhaDaGrade(), 1);

    // Case kept, the row matches by 'casa', and the first place found
    // ignoring case is replaced; each click replaces one occurrence.
    ASSERT_TRUE(locate("Casa"));
    busca("casa", 1);
    dlg->edtSubstituir->setText("Lar");
    clica(dlg->sbtConfirma);
    EXPECT_EQ(dbRow("ENG", "Casa"), QStringList({"Lar casa", "T"}));
    clica(dlg->sbtConfirma);
    EXPECT_EQ(dbRow("ENG", "Casa"), QStringList({"Lar Lar", "T"}));

    ASSERT_TRUE(locate("Amp"));
    busca("b", 1);
    dlg->edtSubstituir->setText("c");
    clica(dlg->sbtConfirma);
    EXPECT_EQ(dbRow("ENG", "Amp"), QStringList({"a && c", "T"})) << "its \"&&\" stays";

    // No replacement text: told so, nothing searched or changed.
    ASSERT_TRUE(locate("Fim"));
    busca("nada", 1);
    dlg->edtSubstituir->clear();
    clica(dlg->sbtConfirma);
    EXPECT_EQ(avisos(), QStringList{kNaoInformado});
    EXPECT_EQ(dbRow("ENG", "Fim"), QStringList({"Sem nada", "T"}));
    EXPECT_EQ(origemAtual(), "Fim");

    // A replacement the code page cannot hold is refused once; the row and
    // the row set are as they were.
    dlg->edtSubstituir->setText(QStringLiteral("Ω"));
    clica(dlg->sbtConfirma);
    EXPECT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    EXPECT_EQ(dbRow("ENG", "Fim"), QStringList({"Sem nada", "T"}));
    EXPECT_EQ(destinoAtual(), "Sem nada");
    EXPECT_EQ(frmTraducao->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(seam.messages().isEmpty());
}

TEST_F(Substituicao, ReplaceAllEndsEveryRowAndSavesEachReplacement)
{
    TfrmSubstituir* dlg = abre({
        {"ENG", "P1", "c", "a1", "File list", "N"},
        {"ENG", "P2", "c", "a2", "Open file", "D"},
        {"ENG", "P3", "c", "a3", "Close", "T"},
        {"ENG", "P4", "c", "a4", "file, FILE, &file", "N"},
        {"ENG", "P5", "c", "a5", "Profile", "T"},
    });
    ASSERT_TRUE(dlg);
    // Sorted by the destination text: replaced rows move in that order, and
    // still each is visited once.
    frmTraducao->cdsDestino->SetIndexFieldNames("STVALORPROP");

    // The replacement holds the search text: each old occurrence once.
    busca("file", 1, true);
    dlg->edtSubstituir->setText("a file");
    clica(dlg->sbtSubstAll);
    EXPECT_EQ(avisos(), QStringList{kSucesso});
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
    EXPECT_EQ(dbRow("ENG", "a1"), QStringList({"a file list", "T"}));
    EXPECT_EQ(dbRow("ENG", "a2"), QStringList({"Open a file", "T"}));
    EXPECT_EQ(dbRow("ENG", "a3"), QStringList({"Close", "T"}));
    EXPECT_EQ(dbRow("ENG", "a4"), QStringList({"a file, a file, &a file", "T"}));
    EXPECT_EQ(dbRow("ENG", "a5"), QStringList({"Proa file", "T"}));
    esperaRepouso();
    EXPECT_EQ(frmTraducao->cdsDestino->IndexFieldNames(), "STVALORPROP") << "the order is back";
    EXPECT_EQ(frmTraducao->cdsDestino->RecNo(), frmTraducao->cdsDestino->RecordCount()) << "the last row is current";
    EXPECT_EQ(linhaDaGrade(), frmTraducao->cdsDestino->RecordCount() - 1);

    // Nothing to search for, or no rows: nothing replaced, and still success.
    const int salvamentos = serverCalls("SetDestino");
    busca("", 1);
    clica(dlg->sbtSubstAll);
    EXPECT_EQ(avisos(), QStringList{kSucesso});
    loadLanguage("SPA-Spanish");
    busca("file", 1);
    clica(dlg->sbtSubstAll);
    EXPECT_EQ(avisos(), QStringList{kSucesso});
    EXPECT_EQ(serverCalls("SetDestino"), salvamentos);
}

TEST_F(Substituicao, StopEndsTheRunAfterTheRowInProgressAndTheEditorStaysPut)
{
    QList<Linha> linhas;
    for (int i = 0; i < 6; ++i)
        linhas.append({"ENG", QStringLiteral("P%1").arg(i), "c", QStringLiteral("s%1").arg(i), "old text", "N"});
    TfrmSubstituir* dlg = abre(linhas);
    ASSERT_TRUE(dlg);
    busca("old", 0);
    dlg->edtSubstituir->setText("new");

    // Once the run processes its messages, the user clicks Stop; and tries to
    // close the editor, which must wait for the run.
    bool painelVisto = false, cursorVisto = false;
    QTimer::singleShot(0, dlg, [&] {
        painelVisto = dlg->panMove1->isVisible() && dlg->anmAnima->Active() && boTraduzindo;
        cursorVisto = dlg->cursor().shape() == Qt::WaitCursor;
        frmTraducao->SubWindow()->close();
        QTest::mouseClick(dlg->sbtStop, Qt::LeftButton);
    });
    clica(dlg->sbtSubstAll);
    EXPECT_TRUE(painelVisto);
    EXPECT_TRUE(cursorVisto);
    EXPECT_TRUE(avisos().isEmpty()) << "a stopped run says nothing";
    EXPECT_TRUE(seam.errors().isEmpty());
    EXPECT_EQ(dbRow("ENG", "s0"), QStringList({"new text", "T"}));
    for (int i = 1; i < 6; ++i)
        EXPECT_EQ(dbRow("ENG", QStringLiteral("s%1").arg(i)), QStringList({"old text", "N"})) << i;
    EXPECT_EQ(origemAtual(), "s1") << "the run had moved on to the next row";
    ASSERT_TRUE(frmTraducao);
    EXPECT_TRUE(frmTraducao->isVisible());
    esperaRepouso();

    // Escape stops it as well (here right after the first row, which no
    // longer matches); closing the dialog during the run stops it and closes
    // the dialog once everything is back.
    QTimer::singleShot(0, dlg, [&] { QTest::keyClick(dlg->sbtStop, Qt::Key_Escape); });
    clica(dlg->sbtSubstAll);
    EXPECT_EQ(dbRow("ENG", "s1"), QStringList({"old text", "N"}));
    EXPECT_EQ(origemAtual(), "s1");
    esperaRepouso();
    QTimer::singleShot(0, dlg, [&] { dlg->Close(); });
    clica(dlg->sbtSubstAll);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(frmSubstituir);
    EXPECT_FALSE(boIdCriado);
    EXPECT_FALSE(boTraduzindo);
    for (int i = 1; i < 6; ++i)
        EXPECT_EQ(dbRow("ENG", QStringLiteral("s%1").arg(i)), QStringList({"old text", "N"})) << i;
    EXPECT_FALSE(frmTraducao->cdsDestino->ControlsDisabled());
    EXPECT_TRUE(avisos().isEmpty());
    EXPECT_TRUE(seam.errors().isEmpty());
}

TEST_F(Substituicao, AFailureEndsTheRunOnceAndKeepsWhatWasSaved)
{
    TfrmSubstituir* dlg = abre({
        {"ENG", "P1", "c", "f1", "old one", "N"},
        {"ENG", "P2", "c", "f2", "old two", "N"},
        {"ENG", "P3", "c", "f3", "old three", "N"},
        {"ENG", "P4", "c", "f4", "old four", "N"},
    });
    ASSERT_TRUE(dlg);
    // Someone else saves the third row meanwhile: its save is refused.
    mudaPorOutro("f3", "theirs");
    busca("old", 0);
    dlg->edtSubstituir->setText("new");
    clica(dlg->sbtSubstAll);
    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 1) << seam.errors().join('|').toStdString();
    EXPECT_TRUE(seam.errors().first().contains(QStringLiteral("outro usuário"))) << seam.errors().first().toStdString();
    EXPECT_TRUE(seam.messages().isEmpty()) << "no success after a failure";
    EXPECT_EQ(dbRow("ENG", "f1"), QStringList({"new one", "T"}));
    EXPECT_EQ(dbRow("ENG", "f2"), QStringList({"new two", "T"}));
    EXPECT_EQ(dbRow("ENG", "f3"), QStringList({"theirs", "N"}));
    EXPECT_EQ(dbRow("ENG", "f4"), QStringList({"old four", "N"})) << "the run ended at the failure";
    EXPECT_EQ(origemAtual(), "f3");
    EXPECT_EQ(destinoAtual(), "theirs") << "the refused row shows what the server holds";
    EXPECT_EQ(frmTraducao->cdsDestino->State(), TDataSetState::dsBrowse);
    esperaRepouso();
    seam.clear();

    // A replacement that would make a text pass 4000 characters: the rows
    // before it keep theirs, the rest is not touched.
    busca("o", 1);
    const QString longo(3994, QLatin1Char('x'));
    dlg->edtSubstituir->setText(longo);
    clica(dlg->sbtSubstAll);
    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    EXPECT_TRUE(seam.errors().first().contains("4000")) << seam.errors().first().toStdString();
    EXPECT_TRUE(seam.messages().isEmpty());
    EXPECT_EQ(dbRow("ENG", "f1"), QStringList({"new " + longo + "ne", "T"}));
    EXPECT_EQ(dbRow("ENG", "f2"), QStringList({"new tw" + longo, "T"}));
    EXPECT_EQ(dbRow("ENG", "f3"), QStringList({"theirs", "N"}));
    EXPECT_EQ(dbRow("ENG", "f4"), QStringList({"old four", "N"}));
    EXPECT_EQ(origemAtual(), "f4");
    esperaRepouso();
}
