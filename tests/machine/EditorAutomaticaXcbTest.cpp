// The machine suggestion in the real editor on a real display, against a
// real trd-server and the real Apertium service: the panel under the
// memory's shows the engine, the route and the translation of the row the
// user stops on; Ctrl+6 puts it into the cell, and the post saves it as
// doubtful in a batch of the history that names the engine; marking it
// translated afterwards is the user's word. Without an engine the panel says
// so in one line and the editor saves as ever.
#include "ApertiumService.h"
#include "AutomaticaDoEditor.h"
#include "EditorTestKit.h"
#include "MemoriaDoEditor.h"
#include "PainelSugestoes.h"
#include "PainelAutomatica.h"
#include "RealInput.h"
#include "TApplication.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <sqlite3.h>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ESP", "Espanhol"}};
const QList<Linha> kLinhas = {
    {"ESP", "P1", "c1", "Salvar o arquivo %s?", "", "N"},
    {"ESP", "P1", "c2", "Abrir o relatório de vendas", "", "N"},
    {"ESP", "P1", "c3", "Nome do cliente", "Nombre del cliente", "T"},
};

class EditorAutomatica : public EditorTest {
protected:
    RealInput input;

    TfrmTraducao* open()
    {
        EXPECT_TRUE(input.ok()) << "no X display with XTEST";
        TfrmTraducao* form = openLoaded(kIdiomas, kLinhas, QStringLiteral("ESP-Espanhol"));
        Application()->SetDialogSeam(nullptr);
        main.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
        return form;
    }
    // Makes the row current with the focus in the grid, and waits for the panel to settle.
    PainelAutomatica* stopOn(TfrmTraducao* form, const QString& origem)
    {
        EXPECT_TRUE(locate(origem));
        form->dbgPadrao->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->dbgPadrao->hasFocus(); }));
        PainelAutomatica* painel = form->automatica->painel();
        EXPECT_TRUE(
            QTest::qWaitFor([painel] { return !painel->estado().startsWith(QStringLiteral("Pedindo")); }, 30000));
        return painel;
    }
    // The batches of the language's history, as "kind|method|rows".
    QStringList batches() const
    {
        sqlite3* db = nullptr;
        QStringList out;
        sqlite3_open_v2(server->dbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT TPLOTE, COALESCE(NMMETODO, ''), (SELECT COUNT(*) FROM VERSAO v WHERE v.IDLOTE = "
                           "l.IDLOTE) FROM LOTE l WHERE IDIDIOMA = 'ESP' ORDER BY IDLOTE",
                           -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            out << QStringLiteral("%1|%2|%3")
                       .arg(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))),
                            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))))
                       .arg(sqlite3_column_int(st, 2));
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }
};

TEST_F(EditorAutomatica, TheEnginesSuggestionGoesIntoTheCellAndIsSavedAsDoubtfulNamingTheEngine)
{
    if (!ApertiumService::installed())
        GTEST_SKIP() << "apertium-apy and apertium-es-pt are not installed (tools/install-deps.sh)";
    ApertiumService apertium;
    ASSERT_TRUE(apertium.start()) << apertium.errorString().toStdString();
    serverArgs = {QStringLiteral("--mt-url"), apertium.url()};
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);

    PainelAutomatica* painel = stopOn(form, QStringLiteral("Salvar o arquivo %s?"));
    ASSERT_TRUE(painel->sugestao()) << painel->estado().toStdString();
    EXPECT_EQ(painel->estado(), QStringLiteral("6  Apertium · por → spa"));
    // The line is cut at the panel's edge: its tooltip is the whole of it, not the question asked before.
    EXPECT_EQ(painel->lblEstado->toolTip().toStdString(), painel->estado().toStdString());
    const QString sugerida = painel->lblSugestao->text();
    EXPECT_TRUE(painel->lblSugestao->isVisible());
    EXPECT_TRUE(sugerida.contains(QStringLiteral("%s")) && sugerida != QStringLiteral("Salvar o arquivo %s?"))
        << sugerida.toStdString();
    // Under the memory's suggestions, in their column beside the detail panel.
    QWidget* memoria = form->memoria->painel();
    EXPECT_EQ(painel->parentWidget(), memoria->parentWidget());
    EXPECT_GT(painel->mapTo(form, QPoint(0, 0)).y(), memoria->mapTo(form, QPoint(0, 0)).y());

    input.key(QStringLiteral("ctrl+6"));
    QLineEdit* cell = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(cell) << "the suggestion opens the cell's editor";
    EXPECT_EQ(cell->text(), sugerida);
    EXPECT_EQ(dbRow("ESP", "Salvar o arquivo %s?"), QStringList({"", "N"})) << "nothing saved before the post";
    input.key(QStringLiteral("Down"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dbRow("ESP", "Salvar o arquivo %s?").value(1) == QLatin1String("D"); }))
        << dbRow("ESP", "Salvar o arquivo %s?").join(u'|').toStdString();
    EXPECT_EQ(dbRow("ESP", "Salvar o arquivo %s?").value(0), sugerida);
    EXPECT_EQ(batches().last(), QStringLiteral("M|Apertium por>spa|1")) << batches().join(u' ').toStdString();

    // The user reads it and marks it translated: their word, an ordinary post.
    ASSERT_TRUE(locate(QStringLiteral("Salvar o arquivo %s?")));
    form->dbgPadrao->setFocus();
    input.key(QStringLiteral("ctrl+t"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dbRow("ESP", "Salvar o arquivo %s?").value(1) == QLatin1String("T"); }));
    EXPECT_EQ(dbRow("ESP", "Salvar o arquivo %s?").value(0), sugerida);
    EXPECT_EQ(batches().last(), QStringLiteral("E||1"));

    // A text the user rewrote after taking the suggestion is theirs: promoted as any.
    stopOn(form, QStringLiteral("Abrir o relatório de vendas"));
    ASSERT_TRUE(painel->sugestao()) << painel->estado().toStdString();
    input.key(QStringLiteral("ctrl+6"));
    ASSERT_TRUE(form->dbgPadrao->InplaceEditor());
    input.key(QStringLiteral("End"));
    input.type(QStringLiteral(" hoy"));
    input.key(QStringLiteral("Down"));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return dbRow("ESP", "Abrir o relatório de vendas").value(1) == QLatin1String("T");
    })) << dbRow("ESP", "Abrir o relatório de vendas").join(u'|').toStdString();
    EXPECT_TRUE(dbRow("ESP", "Abrir o relatório de vendas").value(0).endsWith(QStringLiteral(" hoy")));
    EXPECT_EQ(batches().last(), QStringLiteral("E||1"));
}

TEST_F(EditorAutomatica, WithoutAnEngineThePanelSaysSoInOneLineAndTheEditorSavesAsEver)
{
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);
    PainelAutomatica* painel = stopOn(form, QStringLiteral("Salvar o arquivo %s?"));
    EXPECT_EQ(painel->estado(),
              QStringLiteral("Tradução automática indisponível: Este servidor não tem tradução "
                             "automática configurada (opção --mt-url)."));
    EXPECT_FALSE(painel->sugestao());
    EXPECT_FALSE(painel->lblSugestao->isVisible());

    // With the server away the panel says so, long as the words are, without
    // widening the editor past its window (the other panels pushed out of
    // sight), and asks again by itself once the server is back.
    auto* folha = form->findChild<QScrollArea*>(QStringLiteral("scbFolhaDados"));
    ASSERT_TRUE(folha);
    main.resize(1000, main.height());
    ASSERT_TRUE(server->terminate());
    stopOn(form, QStringLiteral("Abrir o relatório de vendas"));
    ASSERT_TRUE(QTest::qWaitFor(
        [painel] { return painel->estado().endsWith(QStringLiteral("(nova tentativa em instantes)")); }, 20000))
        << painel->estado().toStdString();
    QTest::qWait(100);
    EXPECT_LE(folha->widget()->width(), folha->viewport()->width());
    EXPECT_FALSE(folha->horizontalScrollBar()->isVisible());
    ASSERT_TRUE(server->restart());
    EXPECT_TRUE(
        QTest::qWaitFor([painel] { return painel->estado().endsWith(QStringLiteral("(opção --mt-url).")); }, 20000))
        << painel->estado().toStdString();
    stopOn(form, QStringLiteral("Salvar o arquivo %s?"));
    input.key(QStringLiteral("ctrl+6"));
    EXPECT_FALSE(form->dbgPadrao->InplaceEditor()) << "nothing to put into the cell";

    form->dbgPadrao->setCurrentIndex(form->dbgPadrao->model()->index(form->cdsDestino->RecNo() - 1, 2));
    input.key(QStringLiteral("Return"));
    ASSERT_TRUE(form->dbgPadrao->InplaceEditor());
    input.type(QStringLiteral("Guardar %s?"));
    input.key(QStringLiteral("Down"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dbRow("ESP", "Salvar o arquivo %s?").value(1) == QLatin1String("T"); }));
    EXPECT_EQ(dbRow("ESP", "Salvar o arquivo %s?").value(0), QStringLiteral("Guardar %s?"));
}

} // namespace
