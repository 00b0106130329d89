// The translation memory in the editor, on a real display, with keys and
// clicks made by the X server, against a real trd-server behind a proxy:
// - the suggestions panel follows the current row while the server answers
//   suggestions slowly (held at least 2 s): typing goes on meanwhile, the
//   panel says the server is slow, an answer for a row left is dropped;
//   Ctrl+1 and a double-click put a suggestion into the cell's editor and
//   nothing is saved until the row is posted;
// - after a post with a new translation, the question about the rows of the
//   same source changes no row until the user chooses, never takes the
//   keyboard from the grid, and what is chosen is saved in one SetDestino;
// - the setting "always apply to untranslated rows" and the window of
//   sources translated in more than one way.
#include "XcbEditorTest.h"

#include "AvisoPropagacao.h"
#include "EscolhaLinhas.h"
#include "MemoriaDoEditor.h"
#include "PainelSugestoes.h"
#include "TraducoesDivergentes.h"

#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>

#include <sqlite3.h>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};

// Rows of one source (P1 to P5) and of near sources; unique by program.
const QList<Linha> kLinhas = {
    {"ENG", "P1", "sbtSalvar", "Salvar", "Salvar", "N"}, // the row the user translates
    {"ENG", "P2", "sbtSalvar", "Salvar", "", "N"}, // untranslated
    {"ENG", "P3", "sbtSalvar", "Salvar", "Save", "T"}, // agrees with "Save"
    {"ENG", "P4", "sbtSalvar", "Salvar", "Store", "T"}, // differs
    {"ENG", "P5", "sbtSalvar", "&Salvar", "", "N"}, // untranslated, same source with a shortcut
    {"ENG", "P6", "lblArq", "Abrir arquivo", "Open file", "T"},
    {"ENG", "P7", "lblArq", "Abrir arquivos", "", "N"}, // 92 % like "Abrir arquivo"
    {"ENG", "P8", "lblArq", "Fechar arquivo", "Close file", "T"},
    {"ENG", "P9", "lblFim", "Fechar", "", "N"},
    {"ENG", "P10", "lblFim", "Fechar", "", "N"},
};

class Memoria : public XcbEditorTest {
protected:
    void SetUp() override
    {
        // The user's setting lives in a folder of the test's own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        MemoriaDoEditor::SetSempreAplicar(false);
    }
    void TearDown() override
    {
        if (proxy)
            proxy->release();
        MemoriaDoEditor::SetSempreAplicar(false);
    }

    MemoriaDoEditor* memoria() const { return frmTraducao->memoria; }
    PainelSugestoes* painel() const { return memoria()->painel(); }
    AvisoPropagacao* aviso() const { return memoria()->aviso(); }

    // The destination and status of a program's row in the server's database.
    QStringList db(const QString& programa) const
    {
        sqlite3* h = nullptr;
        QStringList values;
        sqlite3_open_v2(server->dbPath().toUtf8().constData(), &h, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(h,
                           "SELECT STVALORPROP, IDSITTRADUCAO FROM TRADUCAO WHERE IDIDIOMA = 'ENG' AND CDPROGTRAD = ?",
                           -1, &st, nullptr);
        const QByteArray p = programa.toUtf8();
        sqlite3_bind_text(st, 1, p.constData(), p.size(), SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW)
            values << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
                   << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        sqlite3_finalize(st);
        sqlite3_close(h);
        return values;
    }
    int rowOfProgram(const QString& programa) const
    {
        TClientDataSet* ds = frmTraducao->cdsDestino;
        const int campo = ds->FieldByName(QStringLiteral("CDPROGTRAD"))->Index();
        for (int row = 0; row < ds->RecordCount(); ++row)
            if (ds->ValueAt(row, campo).toString() == programa)
                return row;
        ADD_FAILURE() << "no row of " << programa.toStdString();
        return -1;
    }
    void clickProgram(const QString& programa, int column = 2)
    {
        input.click(frmTraducao->dbgPadrao->viewport(), cellRect(rowOfProgram(programa), column).center());
    }
    QString currentProgram() const
    {
        return frmTraducao->cdsDestino->FieldByName(QStringLiteral("CDPROGTRAD"))->AsString();
    }
    // F2 on the program's destination cell, the whole text replaced by `texto`, and Down (the post).
    void translate(const QString& programa, const QString& texto)
    {
        clickProgram(programa);
        input.key("F2");
        input.key("ctrl+a");
        input.type(texto);
        input.key("Down");
    }
    bool waitFor(const std::function<bool()>& seen, int ms = 30000) { return QTest::qWaitFor(seen, ms); }
    bool keyboardInGrid() const
    {
        QWidget* w = QApplication::focusWidget();
        return w && (w == frmTraducao->dbgPadrao || frmTraducao->dbgPadrao->isAncestorOf(w));
    }
    // The kind (one letter) and batch of the newest version kept of each
    // program's row, "-" where none is.
    QStringList lastBatches(const QStringList& programas) const
    {
        sqlite3* h = nullptr;
        QStringList out;
        sqlite3_open_v2(server->dbPath().toUtf8().constData(), &h, SQLITE_OPEN_READONLY, nullptr);
        for (const QString& programa : programas) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(h,
                               "SELECT l.TPLOTE, l.IDLOTE FROM TRADUCAO t JOIN VERSAO v ON v.IDTRADUCAO = t.IDTRADUCAO "
                               "JOIN LOTE l ON l.IDLOTE = v.IDLOTE WHERE t.IDIDIOMA = 'ENG' AND t.CDPROGTRAD = ? "
                               "ORDER BY v.IDVERSAO DESC LIMIT 1",
                               -1, &st, nullptr);
            const QByteArray p = programa.toUtf8();
            sqlite3_bind_text(st, 1, p.constData(), p.size(), SQLITE_TRANSIENT);
            out << (sqlite3_step(st) == SQLITE_ROW
                        ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) + ":"
                            + QString::number(sqlite3_column_int64(st, 1))
                        : QStringLiteral("-"));
            sqlite3_finalize(st);
        }
        sqlite3_close(h);
        return out;
    }
    QStringList allDb() const
    {
        QStringList all;
        for (const char* p : {"P2", "P3", "P4", "P5", "P10"})
            all << db(p).join('|');
        return all;
    }
};

} // namespace

TEST_F(Memoria, PanelFollowsTheRowWhileASlowServerNeverHoldsTheTyping)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    // The server answers suggestions only after at least 2 s, and not before
    // the test lets it.
    proxy->hold(QStringLiteral("GetSugestoes"), 2000);
    const int antes = proxy->answered(QStringLiteral("GetSugestoes"));

    QPointer<QLineEdit> celula = editCell("Abrir arquivos");
    ASSERT_TRUE(celula);
    input.type(" XYZ");
    // Every key was handled while the question for this row still waited.
    EXPECT_EQ(celula->text(), " XYZ");
    EXPECT_EQ(proxy->answered(QStringLiteral("GetSugestoes")), antes);
    EXPECT_TRUE(waitFor([&] { return painel()->estado().contains("demorando"); })) << painel()->estado().toStdString();
    input.key("Escape");

    // Another row while the first question waits: the first answer, when it
    // comes, belongs to a row left and is dropped.
    clickProgram("P8");
    ASSERT_EQ(currentProgram(), "P8");
    proxy->release();
    EXPECT_TRUE(waitFor([&] { return proxy->answered(QStringLiteral("GetSugestoes")) >= antes + 2; }));
    EXPECT_TRUE(waitFor([&] { return painel()->estado() == "Nenhuma sugestão para esta linha."; }))
        << painel()->estado().toStdString();
    EXPECT_EQ(painel()->quantas(), 0) << "the answer for Abrir arquivos is not shown for Fechar arquivo";

    // Back on the row: its suggestion ("Abrir arquivo", 92 %) comes; Ctrl+1
    // puts it into the cell's editor, and nothing is saved yet.
    clickProgram("P7");
    ASSERT_TRUE(waitFor([&] { return painel()->quantas() == 1; })) << painel()->estado().toStdString();
    EXPECT_EQ(painel()->sugestao(0).traducao, "Open file");
    EXPECT_EQ(painel()->sugestao(0).semelhanca, 92);
    const int gravacoes = serverCalls("SetDestino");
    input.key("ctrl+1");
    celula = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(celula) << "Ctrl+1 opens the cell's editor";
    EXPECT_EQ(celula->text(), "Open file");
    EXPECT_TRUE(celula->hasFocus());
    EXPECT_EQ(form->lblDestino->text(), "Open file");
    EXPECT_EQ(db("P7"), QStringList({"", "N"}));
    EXPECT_EQ(serverCalls("SetDestino"), gravacoes);
    // Escape drops it; a double-click puts it there again; Down posts it.
    input.key("Escape");
    EXPECT_EQ(shownDestination(rowOfProgram("P7")), "");
    QTreeWidget* lista = painel()->lstSugestoes;
    input.doubleClick(lista->viewport(), lista->visualItemRect(lista->topLevelItem(0)).center());
    ASSERT_TRUE(form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(form->dbgPadrao->InplaceEditor()->text(), "Open file");
    EXPECT_EQ(db("P7"), QStringList({"", "N"}));
    input.key("Down");
    EXPECT_EQ(db("P7"), QStringList({"Open file", "T"}));
    EXPECT_EQ(serverCalls("SetDestino"), gravacoes + 1);
}

TEST_F(Memoria, TheQuestionAfterAPostChangesNothingUntilTheUserChoosesAndKeepsTheKeyboardInTheGrid)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    const QStringList inicio = allDb();

    translate("P1", "Save");
    ASSERT_EQ(db("P1"), QStringList({"Save", "T"}));
    ASSERT_TRUE(waitFor([&] { return aviso()->mostrando(); }));
    EXPECT_EQ(aviso()->lblAviso->text(),
              "Outras 4 linhas têm a mesma origem: 2 não traduzidas, 1 igual, 1 diferente. "
              "Origem: «Salvar», tradução nova: «Save».");
    // Nothing was written to the other rows; the keys still go to the grid.
    EXPECT_EQ(allDb(), inicio);
    EXPECT_TRUE(keyboardInGrid());
    const QString onde = currentProgram();
    input.key("Down");
    EXPECT_NE(currentProgram(), onde) << "Down moved the grid's row";
    EXPECT_TRUE(aviso()->mostrando());

    // Dismissed: still nothing written.
    // A button's mnemonic clicks it as the mouse would, a moment later.
    input.key("alt+p");
    EXPECT_TRUE(waitFor([&] { return !aviso()->mostrando(); }));
    EXPECT_EQ(allDb(), inicio);
    EXPECT_TRUE(keyboardInGrid());

    // Asked again, and answered "to the untranslated ones": those two, in one save.
    translate("P1", "Save it");
    ASSERT_TRUE(waitFor([&] { return aviso()->mostrando() && aviso()->btnAplicar->isVisible(); }));
    const int gravacoes = serverCalls("SetDestino");
    input.key("alt+n");
    ASSERT_TRUE(waitFor([&] { return !aviso()->btnAplicar->isVisible(); }));
    EXPECT_EQ(serverCalls("SetDestino"), gravacoes + 1);
    EXPECT_EQ(db("P2"), QStringList({"Save it", "T"}));
    EXPECT_EQ(db("P5"), QStringList({"Save it", "T"}));
    EXPECT_EQ(db("P3"), QStringList({"Save", "T"}));
    EXPECT_EQ(db("P4"), QStringList({"Store", "T"}));
    EXPECT_EQ(shownDestination(rowOfProgram("P2")), "Save it");
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
    EXPECT_TRUE(keyboardInGrid());
    // One batch of the history, of its own kind, for both rows.
    const QStringList lotes = lastBatches({"P2", "P5", "P1"});
    ASSERT_EQ(lotes.size(), 3);
    EXPECT_TRUE(lotes[0].startsWith("P:")) << lotes.join(' ').toStdString();
    EXPECT_EQ(lotes[0], lotes[1]);
    EXPECT_NE(lotes[2], lotes[0]) << "the post itself is a batch of its own";

    // The note offers to undo it: Alt+F puts both rows back, and the grid shows them so.
    ASSERT_TRUE(aviso()->btnDesfazer->isVisible());
    input.key("alt+f");
    ASSERT_TRUE(waitFor([&] { return db("P2") == QStringList({"", "N"}); })) << db("P2").join('|').toStdString();
    EXPECT_EQ(db("P5"), QStringList({"", "N"}));
    EXPECT_EQ(db("P1"), QStringList({"Save it", "T"}));
    EXPECT_TRUE(waitFor([&] { return shownDestination(rowOfProgram("P2")).isEmpty(); }));
    EXPECT_TRUE(aviso()->lblAviso->text().startsWith("Desfeito: 2 linhas voltaram"))
        << aviso()->lblAviso->text().toStdString();
    EXPECT_FALSE(aviso()->btnDesfazer->isVisible());
}

TEST_F(Memoria, AQuestionWaitsForTheOneOpenAndNoneIsLost)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    const QStringList inicio = allDb();
    // Two rows posted while the server has not yet told about the first one's source.
    proxy->hold(QStringLiteral("GetMesmaOrigem"), 0);
    translate("P1", "Save");
    translate("P9", "Close");
    ASSERT_EQ(db("P9"), QStringList({"Close", "T"}));
    proxy->release();
    ASSERT_TRUE(waitFor([&] { return aviso()->mostrando(); }));
    EXPECT_TRUE(aviso()->lblAviso->text().contains("«Salvar»")) << aviso()->lblAviso->text().toStdString();
    input.key("alt+p");
    ASSERT_TRUE(waitFor([&] { return aviso()->lblAviso->text().contains("«Fechar»"); }))
        << aviso()->lblAviso->text().toStdString();
    EXPECT_TRUE(aviso()->mostrando());
    EXPECT_TRUE(aviso()->lblAviso->text().startsWith(
        "Outra linha tem a mesma origem: 1 não traduzida, 0 iguais, 0 diferentes."))
        << aviso()->lblAviso->text().toStdString();
    EXPECT_EQ(allDb(), inicio);
    input.key("alt+n");
    EXPECT_TRUE(waitFor([&] { return db("P10") == QStringList({"Close", "T"}); }));
    EXPECT_EQ(db("P2"), QStringList({"", "N"}));
    EXPECT_TRUE(keyboardInGrid());
}

TEST_F(Memoria, RowsPickedFromTheListAreTheOnlyOnesWritten)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    translate("P1", "Record");
    ASSERT_TRUE(waitFor([&] { return aviso()->mostrando(); }));

    // The list comes with the untranslated rows ticked; the user unticks
    // them and ticks the one that differs.
    QStringList listadas;
    QTimer escolhe;
    escolhe.setInterval(30);
    QObject::connect(&escolhe, &QTimer::timeout, [&] {
        auto* dialogo = qobject_cast<EscolhaLinhas*>(QApplication::activeModalWidget());
        if (!dialogo || !dialogo->isVisible())
            return;
        escolhe.stop();
        for (int i = 0; i < dialogo->lstLinhas->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = dialogo->lstLinhas->topLevelItem(i);
            listadas << item->text(0) + ":" + (item->checkState(0) == Qt::Checked ? "x" : "-");
            item->setCheckState(0, item->text(0) == "P4" ? Qt::Checked : Qt::Unchecked);
        }
        dialogo->accept();
    });
    escolhe.start();
    const int gravacoes = serverCalls("SetDestino");
    input.key("alt+e");
    EXPECT_TRUE(waitFor([&] { return !escolhe.isActive(); }));
    EXPECT_EQ(listadas, QStringList({"P2:x", "P3:-", "P4:-", "P5:x"}));
    EXPECT_EQ(serverCalls("SetDestino"), gravacoes + 1);
    EXPECT_EQ(db("P4"), QStringList({"Record", "T"}));
    EXPECT_EQ(db("P2"), QStringList({"", "N"}));
    EXPECT_EQ(db("P5"), QStringList({"", "N"}));
    EXPECT_EQ(db("P3"), QStringList({"Save", "T"}));
    EXPECT_EQ(shownDestination(rowOfProgram("P4")), "Record");
    EXPECT_TRUE(waitFor([&] { return keyboardInGrid(); }));
}

TEST_F(Memoria, TheSettingAppliesToUntranslatedRowsAndStillAsksAboutTheOnesThatDiffer)
{
    MemoriaDoEditor::SetSempreAplicar(true);
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->memoria->mnuSempreAplicar->isChecked());
    translate("P1", "Keep");
    ASSERT_TRUE(waitFor([&] { return db("P2").value(0) == "Keep"; }));
    EXPECT_EQ(db("P5"), QStringList({"Keep", "T"}));
    EXPECT_EQ(db("P3"), QStringList({"Save", "T"}));
    EXPECT_EQ(db("P4"), QStringList({"Store", "T"}));
    ASSERT_TRUE(waitFor([&] { return aviso()->mostrando(); }));
    EXPECT_TRUE(aviso()->lblAviso->text().startsWith("A tradução foi gravada também em 2 linhas não traduzidas"))
        << aviso()->lblAviso->text().toStdString();
    EXPECT_TRUE(aviso()->lblAviso->text().contains("0 não traduzidas, 2 iguais, 2 diferentes"))
        << aviso()->lblAviso->text().toStdString();
    EXPECT_TRUE(keyboardInGrid());
}

TEST_F(Memoria, AVariantChosenInTheWindowOfDivergentTranslationsIsSavedInOneGo)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    form->memoria->mnuDivergentes->trigger();
    TraducoesDivergentes* janela = form->memoria->divergentes();
    ASSERT_TRUE(janela);
    ASSERT_TRUE(waitFor([&] { return janela->lstOrigens->topLevelItemCount() == 1; }))
        << janela->lblEstado->text().toStdString();
    QTreeWidgetItem* origem = janela->lstOrigens->topLevelItem(0);
    EXPECT_EQ(origem->text(0), "Salvar");
    ASSERT_EQ(origem->childCount(), 2);
    QTreeWidgetItem* store = origem->child(0)->text(0) == "Store" ? origem->child(0) : origem->child(1);
    ASSERT_EQ(store->text(0), "Store");
    janela->lstOrigens->setCurrentItem(store);
    const int gravacoes = serverCalls("SetDestino");
    input.click(janela->btnUsar);
    EXPECT_EQ(serverCalls("SetDestino"), gravacoes + 1);
    EXPECT_EQ(db("P3"), QStringList({"Store", "T"}));
    EXPECT_EQ(db("P4"), QStringList({"Store", "T"}));
    EXPECT_EQ(db("P2"), QStringList({"", "N"})); // untranslated rows are the question's, not this window's
    EXPECT_TRUE(lastBatches({"P3"}).value(0).startsWith("P:")) << lastBatches({"P3"}).join(' ').toStdString();
    EXPECT_EQ(shownDestination(rowOfProgram("P3")), "Store");
    EXPECT_TRUE(waitFor([&] { return janela->lstOrigens->topLevelItemCount() == 0; }))
        << janela->lblEstado->text().toStdString();
    janela->close();
}

TEST_F(Memoria, AnAnswerThatAppliesByItselfWaitsUntilTheRowBeingTypedIsPosted)
{
    MemoriaDoEditor::SetSempreAplicar(true);
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    proxy->hold(QStringLiteral("GetMesmaOrigem"), 0);
    translate("P1", "Keep");
    ASSERT_EQ(db("P1"), QStringList({"Keep", "T"}));
    // The user types in another row while the answer about P1's source is on its way.
    clickProgram("P9");
    input.key("F2");
    input.key("ctrl+a");
    input.type("Clo");
    QPointer<QLineEdit> celula = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(celula);
    proxy->release();
    ASSERT_TRUE(waitFor([&] { return proxy->answered(QStringLiteral("GetMesmaOrigem")) >= 1; }));
    QTest::qWait(300);
    // Nothing was posted behind the user's back: the typing is as it was.
    EXPECT_EQ(form->dbgPadrao->InplaceEditor(), celula.data());
    ASSERT_TRUE(celula);
    EXPECT_EQ(celula->text(), "Clo");
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);
    EXPECT_EQ(db("P9"), QStringList({"", "N"}));
    EXPECT_EQ(db("P2"), QStringList({"", "N"}));
    // Once the user posts, the answer is applied as the setting says.
    input.key("Return");
    EXPECT_EQ(db("P9"), QStringList({"Clo", "T"}));
    ASSERT_TRUE(waitFor([&] { return db("P2").value(0) == "Keep"; }));
    EXPECT_EQ(db("P5"), QStringList({"Keep", "T"}));
}

TEST_F(Memoria, CtrlOnePutsTheSuggestionIntoACellBeingTyped)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    clickProgram("P7");
    ASSERT_TRUE(waitFor([&] { return painel()->quantas() == 1; })) << painel()->estado().toStdString();
    input.key("F2");
    input.type("x");
    QPointer<QLineEdit> celula = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(celula);
    input.key("ctrl+1");
    ASSERT_TRUE(celula);
    EXPECT_EQ(form->dbgPadrao->InplaceEditor(), celula.data());
    EXPECT_EQ(celula->text(), "Open file");
    EXPECT_EQ(db("P7"), QStringList({"", "N"}));
    input.key("ctrl+z");
    EXPECT_EQ(celula->text(), "x") << "as typed over the text: undo brings the user's own back";
    input.key("ctrl+1");
    input.key("Down");
    EXPECT_EQ(db("P7"), QStringList({"Open file", "T"}));
}

TEST_F(Memoria, TheWindowOfDivergentTranslationsTakesTheKeyboardAndGivesItBackToTheGrid)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    clickProgram("P6");
    const QString linha = currentProgram();
    form->memoria->mnuDivergentes->trigger();
    QPointer<TraducoesDivergentes> janela = form->memoria->divergentes();
    ASSERT_TRUE(janela);
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == janela.data(); }));
    ASSERT_TRUE(waitFor([&] { return janela->lstOrigens->topLevelItemCount() == 1; }));
    EXPECT_TRUE(janela->lstOrigens->hasFocus());
    // Down is the window's: its list moves, the editor's row stays.
    input.key("Down");
    EXPECT_EQ(currentProgram(), linha);
    EXPECT_TRUE(janela->lstOrigens->currentItem());
    // Fechar by its letter: the keyboard is the grid's again, and the next
    // Alt letter (meant for a bar that is gone) types nothing into a row.
    input.key("alt+f");
    ASSERT_TRUE(waitFor([&] { return !janela || !janela->isVisible(); }));
    ASSERT_TRUE(waitFor([&] { return keyboardInGrid(); }, 5000))
        << (QApplication::activeWindow() ? QApplication::activeWindow()->objectName().toStdString()
                                         : "no active window")
        << " / " << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "no focus")
        << " / " << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "");
    input.key("alt+p");
    EXPECT_FALSE(form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    input.key("Down");
    EXPECT_NE(currentProgram(), linha) << "the keys reach the grid";
    EXPECT_EQ(db("P6"), QStringList({"Open file", "T"}));
}
