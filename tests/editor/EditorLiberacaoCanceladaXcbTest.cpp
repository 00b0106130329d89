// A release's apply followed and cancelled from the editor's window, on a
// real display against a real trd-server: while another writer holds the
// database the window says the apply waits for it, "Cancelar" is taken by the
// server before the commit, and once the writer lets go every table of the
// database is as before; applied again to its end, the release is all there,
// and the memory's suggestions mark the one that comes from a row the release
// left behind.
#include "XcbEditorTest.h"

#include "LiberacaoDialog.h"
#include "MemoriaDoEditor.h"
#include "PainelSugestoes.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <sqlite3.h>

using namespace trd;
using namespace trd::liberacao;
using namespace trd::test;

namespace {

constexpr int kEspera = 30000;
constexpr int kIdiomas = 4;
constexpr int kLinhasPorIdioma = 300;

QList<trd::test::Idioma> idiomas()
{
    QList<trd::test::Idioma> l = {{"ENG", "English"}};
    for (int i = 1; i < kIdiomas; ++i)
        l.append({QStringLiteral("L%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("Lingua %1").arg(i)});
    return l;
}

QList<trd::test::Linha> linhas()
{
    QList<trd::test::Linha> l;
    for (const trd::test::Idioma& i : idiomas())
        for (int n = 0; n < kLinhasPorIdioma; ++n)
            l.append({i.codigo, QStringLiteral("P%1").arg(n / 100, 2, 10, QLatin1Char('0')),
                      QStringLiteral("c%1").arg(n, 4, 10, QLatin1Char('0')),
                      QStringLiteral("Texto numero %1").arg(n, 4, 10, QLatin1Char('0')),
                      QStringLiteral("Text %1 %2").arg(n).arg(i.codigo), "T"});
    // ENG: a text the release takes away, and a live one like it.
    l.append({"ENG", "Q1", "lblVelho", "Fechar janela", "Close window", "T"});
    l.append({"ENG", "Q2", "lblOutro", "Fechar a janela", "", "N"});
    return l;
}

// Every row of P00..P26 stays (one in ten of them, P27..P29, leaves), and ENG's "Fechar a janela".
QByteArray liberacao()
{
    QByteArray f;
    for (int n = 0; n < kLinhasPorIdioma * 9 / 10; ++n)
        f += QStringLiteral("P%1\tc%2\tTexto numero %3\n")
                 .arg(n / 100, 2, 10, QLatin1Char('0'))
                 .arg(n, 4, 10, QLatin1Char('0'))
                 .arg(n, 4, 10, QLatin1Char('0'))
                 .toUtf8();
    f += "Q2\tlblOutro\tFechar a janela\n";
    return f;
}

class EditorLiberacaoCancelada : public XcbEditorTest {
protected:
    // Every row of every table of the server's database, as text: what a
    // cancelled apply must leave as it found.
    QString dump() const
    {
        sqlite3* db = nullptr;
        QStringList linhas;
        EXPECT_EQ(sqlite3_open_v2(server->dbPath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
        QStringList tabelas;
        each(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name",
             [&](sqlite3_stmt* st) { tabelas << texto(st, 0); });
        for (const QString& t : tabelas)
            each(db, ("SELECT * FROM \"" + t + "\"").toUtf8(), [&](sqlite3_stmt* st) {
                QString l = t + ":";
                for (int c = 0; c < sqlite3_column_count(st); ++c)
                    l += texto(st, c) + "|";
                linhas << l;
            });
        sqlite3_close(db);
        linhas.sort();
        return linhas.join('\n');
    }
    static QString texto(sqlite3_stmt* st, int c)
    {
        const auto* p = sqlite3_column_text(st, c);
        return p ? QString::fromUtf8(reinterpret_cast<const char*>(p), sqlite3_column_bytes(st, c))
                 : QStringLiteral("NULL");
    }
    static void each(sqlite3* db, const QByteArray& sql, const std::function<void(sqlite3_stmt*)>& linha)
    {
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        while (sqlite3_step(st) == SQLITE_ROW)
            linha(st);
        sqlite3_finalize(st);
    }
    LiberacaoDialog* abreJanela() { return dialogOpenedBy<LiberacaoDialog>(QStringLiteral("ctrl+shift+l"), kEspera); }
};

TEST_F(EditorLiberacaoCancelada, CancelledMidwayNothingStaysThenAppliedWholeAndTheMemoryMarksWhatLeft)
{
    TfrmTraducao* form = open(idiomas(), linhas());
    ASSERT_TRUE(form);
    const QString caminho = dir.filePath(QStringLiteral("liberacao.tsv"));
    {
        QFile f(caminho);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(liberacao());
    }
    LiberacaoDialog* janela = abreJanela();
    ASSERT_TRUE(janela);
    input.type(caminho);
    input.key(QStringLiteral("Return"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return janela->previa() != nullptr; }, kEspera))
        << janela->lblEtapa->text().toStdString();
    const QString antes = dump();

    // Another writer holds the database: the apply waits for it, and the window says so.
    sqlite3* outro = nullptr;
    ASSERT_EQ(sqlite3_open(server->dbPath().toUtf8().constData(), &outro), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(outro, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_TRUE(janela->btnAplicar->isEnabled());
    input.click(janela->btnAplicar);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.shown.isEmpty(); }, kEspera));
    EXPECT_TRUE(boxes.shown[0].startsWith(QStringLiteral("Aplicar a liberação a %1 idioma(s)?").arg(kIdiomas)))
        << boxes.shown[0].toStdString();
    const bool aguardando = QTest::qWaitFor(
        [&] { return janela->lblEtapa->text().startsWith(QStringLiteral("Aplicando a liberação: aguardando")); }, 8000);
    EXPECT_TRUE(aguardando) << janela->lblEtapa->text().toStdString();
    // Cancelar is on until the commit; the server takes it, then the writer lets go.
    EXPECT_TRUE(janela->btnCancelar->isEnabled());
    input.click(janela->btnCancelar);
    const bool aceito = QTest::qWaitFor(
        [&] {
            return janela->lblEtapa->text().startsWith(QStringLiteral("Cancelando: nada da liberação fica gravado"));
        },
        8000);
    EXPECT_TRUE(aceito) << janela->lblEtapa->text().toStdString();
    sqlite3_exec(outro, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(outro);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return janela->lblEtapa->text() == QStringLiteral("Cancelado: nada foi gravado."); }, kEspera))
        << janela->lblEtapa->text().toStdString();
    EXPECT_EQ(boxes.shown.size(), 1) << boxes.shown.join('|').toStdString();
    EXPECT_FALSE(janela->aplicada());
    EXPECT_EQ(dump(), antes) << "a cancelled apply left something";
    EXPECT_EQ(dbRow("ENG", "Fechar janela"), QStringList({"Close window", "T"}));

    // Applied again, to its end: the release is all there, the grid loaded again.
    ASSERT_TRUE(janela->btnAplicar->isEnabled());
    input.click(janela->btnAplicar);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() >= 4; }, kEspera))
        << boxes.shown.join('|').toStdString();
    EXPECT_TRUE(boxes.shown[2].startsWith(QStringLiteral("A liberação foi aplicada."))) << boxes.shown[2].toStdString();
    EXPECT_TRUE(janela->aplicada());
    EXPECT_EQ(janela->pgbProgresso->value(), janela->pgbProgresso->maximum());
    EXPECT_NE(dump(), antes);
    if (janela->isVisible())
        input.click(janela->btnCancelar); // "Fechar" now
    ASSERT_TRUE(QTest::qWaitFor([&] { return frmTraducao->cdsDestino->RecordCount() == kLinhasPorIdioma * 9 / 10 + 1; },
                                kEspera))
        << frmTraducao->cdsDestino->RecordCount();

    // The live "Fechar a janela" is offered the translation of the row that left, marked as obsolete.
    activate();
    ASSERT_TRUE(locate(QStringLiteral("Fechar a janela")));
    PainelSugestoes* painel = frmTraducao->memoria->painel();
    int obsoleta = -1;
    QStringList vistas;
    const bool achou = QTest::qWaitFor(
        [&] {
            vistas.clear();
            for (int i = 0; i < painel->quantas(); ++i) {
                vistas << painel->sugestao(i).traducao;
                if (painel->sugestao(i).traducao == QStringLiteral("Close window"))
                    obsoleta = i;
            }
            return obsoleta >= 0;
        },
        kEspera);
    ASSERT_TRUE(achou) << painel->estado().toStdString() << " " << vistas.join('|').toStdString();
    EXPECT_TRUE(painel->sugestao(obsoleta).obsoleta);
    QTreeWidgetItem* item = painel->lstSugestoes->topLevelItem(obsoleta);
    EXPECT_TRUE(item->text(3).endsWith(QStringLiteral("(obsoleta)"))) << item->text(3).toStdString();
    EXPECT_TRUE(item->font(2).italic());
    EXPECT_TRUE(item->toolTip(2).contains(QStringLiteral("Linha obsoleta")));
}

} // namespace
