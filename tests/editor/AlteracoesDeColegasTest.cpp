// Colleagues' saves taken into the loaded rows, without a window, on a real
// data set: only over the state each change was made from (own saves, stale
// and already-loaded changes pass, whatever order loading and telling met),
// never into the row being edited or into a change log, rows deleted by
// someone leave without moving the others' order, and reading the rows
// again in place; a change lands on its row by the whole key, also beside the
// cursor.
#include "AlteracoesDeColegas.h"
#include "ChangeFeedClient.h"
#include "RevisaoRegras.h"
#include "TClientDataSet.h"

#include <gtest/gtest.h>

#include <memory>

using namespace trd;

namespace {

struct Linha {
    QString programa, componente, origem, destino, situacao;
};

std::unique_ptr<TClientDataSet> conjunto(const QList<Linha>& dados)
{
    auto ds = std::make_unique<TClientDataSet>();
    for (const char* nome : {"STAGRVALPROP", "STVALORPROP"})
        ds->AddField(QString::fromLatin1(nome), TFieldType::ftString, 4000);
    ds->AddField(QStringLiteral("IDSITTRADUCAO"), TFieldType::ftString, 1);
    ds->AddField(QStringLiteral("IDIDIOMA"), TFieldType::ftString, 3);
    ds->AddField(QStringLiteral("NMCOMPONENTE"), TFieldType::ftString, 50);
    ds->AddField(QStringLiteral("CDPROGTRAD"), TFieldType::ftString, 20);
    ds->CreateDataSet();
    for (const Linha& l : dados) {
        ds->Append();
        ds->FieldByName(QStringLiteral("IDIDIOMA"))->SetAsString(QStringLiteral("ENG"));
        ds->FieldByName(QStringLiteral("CDPROGTRAD"))->SetAsString(l.programa);
        ds->FieldByName(QStringLiteral("NMCOMPONENTE"))->SetAsString(l.componente);
        ds->FieldByName(QStringLiteral("STAGRVALPROP"))->SetAsString(l.origem);
        ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(l.destino);
        ds->FieldByName(QStringLiteral("IDSITTRADUCAO"))->SetAsString(l.situacao);
        ds->Post();
    }
    ds->MergeChangeLog();
    ds->First();
    return ds;
}

std::int64_t proximo = 100;

FeedChange muda(const Linha& l, const QString& antes, const QString& sitAntes, const QString& depois,
                const QString& sitDepois, const QString& quem = QStringLiteral("bia"))
{
    FeedChange c;
    c.seq = ++proximo;
    c.type = 'A';
    c.language = QStringLiteral("ENG");
    c.program = l.programa;
    c.component = l.componente;
    c.source = l.origem;
    c.destinationBefore = antes;
    c.statusBefore = sitAntes;
    c.destination = depois;
    c.status = sitDepois;
    c.when = 46000.5;
    c.user = quem;
    return c;
}

QString destino(TClientDataSet& ds, int linha)
{
    return ds.ValueAt(linha, ds.FieldByName(QStringLiteral("STVALORPROP"))->Index()).toString();
}

QString situacao(TClientDataSet& ds, int linha)
{
    return ds.ValueAt(linha, ds.FieldByName(QStringLiteral("IDSITTRADUCAO"))->Index()).toString();
}

const Linha kAbrir{"P1", "btnAbrir", "Abrir", "Open", "T"};
const Linha kFechar{"P1", "btnFechar", "Fechar", "Close", "T"};
const Linha kSalvar{"P2", "btnSalvar", "Salvar", "", "N"};
// Same source text, another program: told apart by the whole key.
const Linha kSalvar3{"P3", "btnSalvar", "Salvar", "Save it", "D"};

} // namespace

TEST(AlteracoesDeColegas, TakesAChangeOnlyOverTheStateItWasMadeFromInOrder)
{
    auto ds = conjunto({kAbrir, kFechar, kSalvar, kSalvar3});
    AlteracoesDeColegas a(ds.get());

    // A chain told at once: both steps land, the last wins; another row by
    // the same source text in another program is not touched.
    auto r = a.recebe(QStringLiteral("ENG"),
                      {muda(kSalvar, "", "N", "Save", "T"), muda(kSalvar, "Save", "T", "Save!", "D", "caio")}, 1000);
    EXPECT_EQ(r.linhas, std::vector<int>{2});
    EXPECT_EQ(destino(*ds, 2), "Save!");
    EXPECT_EQ(situacao(*ds, 2), "D");
    EXPECT_EQ(destino(*ds, 3), "Save it");
    EXPECT_EQ(ds->ChangeCount(), 0) << "nothing is sent back";
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    ASSERT_TRUE(a.autor(2));
    EXPECT_EQ(a.autor(2)->usuario, "caio");
    EXPECT_FALSE(a.autor(0));

    // The user's own save comes back: the row already holds it.
    r = a.recebe(QStringLiteral("ENG"), {muda(kAbrir, "Open", "T", "Open", "T")}, 2000);
    EXPECT_TRUE(r.linhas.empty());
    EXPECT_FALSE(a.autor(0)) << "an own save names nobody";

    // A stale change (made from a state the row left long ago) is passed
    // over; so is one of another language, and one of a row not loaded.
    Linha fora{"P9", "x", "Fora do filtro", "Out", "T"};
    FeedChange outraLingua = muda(kFechar, "Close", "T", "Cerrar", "T");
    outraLingua.language = QStringLiteral("ESP");
    r = a.recebe(QStringLiteral("ENG"),
                 {muda(kSalvar, "", "N", "Save", "T"), outraLingua, muda(fora, "Out", "T", "Outside", "T")}, 3000);
    EXPECT_TRUE(r.linhas.empty());
    EXPECT_EQ(destino(*ds, 2), "Save!");
    EXPECT_EQ(destino(*ds, 1), "Close");
    EXPECT_EQ(ds->RecordCount(), 4) << "a row outside the loaded set is not added";

    // Rows loaded after some of the changes: those are passed, the rest taken.
    auto novo = conjunto({kAbrir, Linha{"P1", "btnFechar", "Fechar", "Close window", "T"}});
    AlteracoesDeColegas b(novo.get());
    r = b.recebe(QStringLiteral("ENG"),
                 {muda(kFechar, "Close", "T", "Close window", "T"), muda(kFechar, "Close window", "T", "Shut", "D")},
                 1000);
    EXPECT_EQ(destino(*novo, 1), "Shut");
    EXPECT_EQ(situacao(*novo, 1), "D");

    // The brief mark lasts its window.
    EXPECT_TRUE(a.recente(2, 1000 + 5999, 6000));
    EXPECT_FALSE(a.recente(2, 1000 + 6000, 6000));

    // The rows about the cursor are looked at first: the one beside it with
    // the same source and component in another program is not taken for it.
    ds->Last();
    r = a.recebe(QStringLiteral("ENG"), {muda(kSalvar3, "Save it", "D", "Save this", "T")}, 9000);
    EXPECT_EQ(r.linhas, std::vector<int>{3});
    r = a.recebe(QStringLiteral("ENG"), {muda(kSalvar, "Save!", "D", "Store", "T")}, 9100);
    EXPECT_EQ(r.linhas, std::vector<int>{2});
    EXPECT_EQ(destino(*ds, 2), "Store");
    EXPECT_EQ(destino(*ds, 3), "Save this");
    // Two rows in one batch, the cursor on neither.
    ds->Prior();
    r = a.recebe(QStringLiteral("ENG"),
                 {muda(kAbrir, "Open", "T", "Open it", "T"), muda(kSalvar3, "Save this", "T", "Save", "D")}, 9200);
    EXPECT_EQ(r.linhas, (std::vector<int>{0, 3}));
    EXPECT_EQ(destino(*ds, 0), "Open it");
}

TEST(AlteracoesDeColegas, TheRowBeingEditedKeepsTheUsersTextAndTakesTheChangeOnlyIfTheEditIsDropped)
{
    auto ds = conjunto({kAbrir, kFechar, kSalvar});
    AlteracoesDeColegas a(ds.get());
    ds->SetRecNo(2);
    ds->Edit();
    ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("Close it"));

    auto r =
        a.recebe(QStringLiteral("ENG"),
                 {muda(kFechar, "Close", "T", "Shut", "T", "ana"), muda(kAbrir, "Open", "T", "Open...", "T")}, 1000);
    // Another row changes under the edit; the edited one does not.
    EXPECT_EQ(r.linhas, std::vector<int>{0});
    EXPECT_EQ(destino(*ds, 0), "Open...");
    ASSERT_TRUE(r.daLinhaEditada);
    EXPECT_EQ(r.daLinhaEditada->destination, "Shut");
    EXPECT_EQ(r.daLinhaEditada->user, "ana");
    EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    EXPECT_EQ(ds->FieldByName(QStringLiteral("STVALORPROP"))->AsString(), "Close it");
    EXPECT_EQ(ds->FieldByName(QStringLiteral("STVALORPROP"))->OldValue().toString(), "Close")
        << "the post is checked against what was loaded, and refused by the server";
    EXPECT_TRUE(a.esperando());
    EXPECT_TRUE(a.tenta(2000).linhas.empty()) << "still being edited";

    // Dropped: the row takes the colleague's text.
    ds->Cancel();
    r = a.tenta(3000);
    EXPECT_EQ(r.linhas, std::vector<int>{1});
    EXPECT_EQ(destino(*ds, 1), "Shut");
    EXPECT_FALSE(a.esperando());

    // Posted: while its change is logged nothing is touched; once the server
    // refused it and the row took the server's values, the waiting change is
    // seen to be there already.
    ds->SetRecNo(3);
    ds->Edit();
    ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("Sav"));
    r = a.recebe(QStringLiteral("ENG"), {muda(kSalvar, "", "N", "Save", "T")}, 4000);
    ASSERT_TRUE(r.daLinhaEditada);
    ds->Post();
    EXPECT_TRUE(a.tenta(5000).linhas.empty()) << "a save is on its way";
    EXPECT_EQ(destino(*ds, 2), "Sav");
    ds->CancelUpdates();
    auto servidor = conjunto({Linha{"P2", "btnSalvar", "Salvar", "Save", "T"}});
    ds->RefreshRecord(*servidor);
    EXPECT_TRUE(a.tenta(6000).linhas.empty());
    EXPECT_FALSE(a.esperando());
    EXPECT_EQ(destino(*ds, 2), "Save");
    ASSERT_TRUE(a.autor(2)) << "the colleague whose save refused the user's is named";
    EXPECT_EQ(a.autor(2)->usuario, "bia");
}

TEST(AlteracoesDeColegas, ARowDeletedBySomeoneLeavesAndTheOthersKeepTheirPlaceAndCursor)
{
    auto ds = conjunto({kAbrir, kFechar, kSalvar, kSalvar3});
    ds->SetIndexFieldNames(QStringLiteral("STAGRVALPROP DESC")); // Salvar, Salvar, Fechar, Abrir
    ASSERT_EQ(ds->RecordCount(), 4);
    ds->SetRecNo(4); // Abrir
    AlteracoesDeColegas a(ds.get());
    FeedChange apaga = muda(kFechar, "Close", "T", "", "");
    apaga.type = 'E';
    auto r = a.recebe(QStringLiteral("ENG"), {apaga, muda(kAbrir, "Open", "T", "Open!", "T")}, 1000);
    ASSERT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(r.removidas, 1);
    EXPECT_EQ(r.linhas, std::vector<int>{2}) << "the row after the deleted one, found where it is now";
    EXPECT_EQ(ds->FieldByName(QStringLiteral("STAGRVALPROP"))->AsString(), "Abrir") << "the cursor stays on its row";
    EXPECT_EQ(destino(*ds, 2), "Open!");
    EXPECT_EQ(ds->ChangeCount(), 0);

    // Under an edit a deletion waits, then happens.
    ds->SetRecNo(1);
    ds->Edit();
    FeedChange apagaAbrir = muda(kAbrir, "Open!", "T", "", "");
    apagaAbrir.type = 'E';
    r = a.recebe(QStringLiteral("ENG"), {apagaAbrir}, 2000);
    EXPECT_EQ(ds->RecordCount(), 3);
    ds->Cancel();
    r = a.tenta(3000);
    EXPECT_EQ(r.removidas, 1);
    EXPECT_EQ(ds->RecordCount(), 2);
}

TEST(AlteracoesDeColegas, ReadingTheRowsAgainTakesTheServersValuesInPlace)
{
    auto ds = conjunto({kAbrir, kFechar, kSalvar});
    ds->SetRecNo(3);
    AlteracoesDeColegas a(ds.get());
    a.recebe(QStringLiteral("ENG"), {muda(kSalvar, "", "N", "Save", "T")}, 500);
    // The server: Abrir as it was, Fechar changed, Salvar gone.
    auto servidor = conjunto({kAbrir, Linha{"P1", "btnFechar", "Fechar", "Shut", "D"}});
    const auto r = a.confere(*servidor, 1000);
    EXPECT_EQ(r.linhas, std::vector<int>{1});
    EXPECT_EQ(r.removidas, 1);
    ASSERT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(destino(*ds, 0), "Open");
    EXPECT_EQ(destino(*ds, 1), "Shut");
    EXPECT_EQ(situacao(*ds, 1), "D");
    ASSERT_TRUE(a.autor(1));
    EXPECT_TRUE(a.autor(1)->usuario.isEmpty()) << "who changed it is not known";
    EXPECT_EQ(ds->ChangeCount(), 0);
}

// Review marks told by the feed: a colleague's mark and unmark are taken into
// the row whatever its text (they leave text and status alone), the user's
// own mark passes, a row being typed in waits, and a colleague's save of the
// text takes the row's mark away as the server did.
TEST(AlteracoesDeColegas, MarksArriveByTheFeedAndASaveTakesThemAway)
{
    // A row set declared with the mark, as the editor's.
    auto ds = std::make_unique<TClientDataSet>();
    for (const char* nome : {"STAGRVALPROP", "STVALORPROP"})
        ds->AddField(QString::fromLatin1(nome), TFieldType::ftString, 4000);
    ds->AddField("IDSITTRADUCAO", TFieldType::ftString, 1);
    ds->AddField("IDIDIOMA", TFieldType::ftString, 3);
    ds->AddField("NMCOMPONENTE", TFieldType::ftString, 50);
    ds->AddField("CDPROGTRAD", TFieldType::ftString, 20);
    revisao::DeclaraCampos(*ds);
    ds->CreateDataSet();
    for (const Linha& l : {kAbrir, kFechar, kSalvar}) {
        ds->Append();
        ds->FieldByName("IDIDIOMA")->SetAsString("ENG");
        ds->FieldByName("CDPROGTRAD")->SetAsString(l.programa);
        ds->FieldByName("NMCOMPONENTE")->SetAsString(l.componente);
        ds->FieldByName("STAGRVALPROP")->SetAsString(l.origem);
        ds->FieldByName("STVALORPROP")->SetAsString(l.destino);
        ds->FieldByName("IDSITTRADUCAO")->SetAsString(l.situacao);
        ds->Post();
    }
    ds->MergeChangeLog();
    ds->First();
    AlteracoesDeColegas a(ds.get());
    const auto marca = [&](const Linha& l, char tipo, const QString& quem) {
        FeedChange c = muda(l, QString(), QString(), QString(), QString(), quem);
        c.type = tipo;
        c.when = 46363.4375; // 07/12/2026 10:30
        return c;
    };

    AlteracoesDeColegas::Resultado r = a.recebe("ENG", {marca(kFechar, 'R', "rita")}, 1000);
    EXPECT_EQ(r.linhas, std::vector<int>{1});
    EXPECT_EQ(revisao::MarcaDaLinha(*ds, 1).revisor, "rita");
    EXPECT_EQ(revisao::MarcaDaLinha(*ds, 1).quando, "07/12/2026 10:30");
    EXPECT_EQ(destino(*ds, 1), "Close") << "a mark leaves the text alone";
    EXPECT_EQ(ds->ChangeCount(), 0);
    // Told again (the user's own mark coming back): nothing to take.
    EXPECT_TRUE(a.recebe("ENG", {marca(kFechar, 'R', "rita")}, 1100).linhas.empty());

    // A row being typed in is left alone until the edit ends; no colleague's text is offered for a mark.
    ds->First();
    ds->Edit();
    ds->FieldByName("STVALORPROP")->SetAsString("Open!");
    r = a.recebe("ENG", {marca(kAbrir, 'R', "ana")}, 1200);
    EXPECT_TRUE(r.linhas.empty());
    EXPECT_FALSE(r.daLinhaEditada);
    EXPECT_TRUE(a.esperando());
    ds->Cancel();
    r = a.tenta(1300);
    EXPECT_EQ(r.linhas, std::vector<int>{0});
    EXPECT_EQ(revisao::MarcaDaLinha(*ds, 0).revisor, "ana");

    // A colleague's save of the text clears the mark; an unmark clears it too.
    r = a.recebe("ENG", {muda(kFechar, "Close", "T", "Shut", "T")}, 1400);
    EXPECT_EQ(r.linhas, std::vector<int>{1});
    EXPECT_EQ(destino(*ds, 1), "Shut");
    EXPECT_EQ(revisao::MarcaDaLinha(*ds, 1).revisor, "");
    r = a.recebe("ENG", {marca(kAbrir, 'U', "rita")}, 1500);
    EXPECT_EQ(r.linhas, std::vector<int>{0});
    EXPECT_EQ(revisao::MarcaDaLinha(*ds, 0).revisor, "");
    EXPECT_EQ(ds->ChangeCount(), 0);
}

// The feed's answer carries marks as changes of their own; an answer with one
// used to be refused whole, as if the connection were broken.
TEST(AlteracoesDeColegas, TheFeedsAnswerReadsMarks)
{
    FeedBatch lote;
    QString erro;
    ASSERT_TRUE(ReadFeedAnswer(R"({"ate":7,"alteracoes":[
        {"seq":6,"tipo":"R","idioma":"ENG","tela":"P1","componente":"btnAbrir","origem":"Abrir","usuario":"rita","data":46363.5},
        {"seq":7,"tipo":"U","idioma":"ENG","tela":"P1","componente":"btnAbrir","origem":"Abrir","usuario":"rita","data":46363.6}]})",
                               lote, &erro))
        << erro.toStdString();
    ASSERT_EQ(lote.changes.size(), 2u);
    EXPECT_EQ(lote.changes[0].type, 'R');
    EXPECT_EQ(lote.changes[1].type, 'U');
    EXPECT_EQ(lote.changes[0].user, "rita");
    EXPECT_FALSE(ReadFeedAnswer(R"({"ate":8,"alteracoes":[{"seq":8,"tipo":"X","idioma":"ENG"}]})", lote));
}
