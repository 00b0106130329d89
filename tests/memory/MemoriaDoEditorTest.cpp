// The translation memory beside the editor, against a stand-in of the editor
// (no form): the suggestions panel beside the detail panel and the question
// above it, its items and the Ctrl+1 to Ctrl+5 keys checked against the
// screen's, a suggestion put into the cell through the editor, as typed, with
// its shortcut mark dropped for a source that has none; and, on a real
// server, the propagation after a post saved inside the editor's batch.
#include "AvisoPropagacao.h"
#include "EditorFalso.h"
#include "MemoriaDoEditor.h"
#include "PainelSugestoes.h"
#include "ServerCalls.h"
#include "TDateTime.h"
#include "TrdServerProcess.h"
#include "WebServer.h"

#include <QAction>
#include <QLabel>
#include <QShortcut>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace trd;
using trd::test::EditorFalso;

namespace {

memoria::Sugestao sugestao(const QString& traducao)
{
    memoria::Sugestao s;
    s.identica = true;
    s.semelhanca = 100;
    s.traducao = traducao;
    s.situacao = QStringLiteral("T");
    s.origem = QStringLiteral("&Arquivo");
    s.linhas = 1;
    return s;
}

} // namespace

TEST(MemoriaDoEditor, ItsPanelsKeysAndItemsGoWhereTheEditorPutsThem)
{
    EditorFalso editor;
    auto* m = new MemoriaDoEditor(editor);
    ASSERT_NE(editor.ladoDoDetalhe(), nullptr);
    EXPECT_TRUE(editor.ladoDoDetalhe()->isAncestorOf(m->painel()));
    EXPECT_TRUE(editor.ladoDoDetalhe()->isAncestorOf(editor.detalhe));
    EXPECT_EQ(editor.posicao(m->aviso()) + 1, editor.posicao(editor.ladoDoDetalhe())) << "the question is above";
    EXPECT_TRUE(editor.menu->actions().contains(m->mnuDivergentes));
    EXPECT_TRUE(m->mnuSempreAplicar->isCheckable());
    QList<QKeySequence> teclas;
    for (const QShortcut* s : editor.tela->findChildren<QShortcut*>())
        teclas << s->key();
    for (int i = 0; i < PainelSugestoes::Numeradas; ++i)
        EXPECT_TRUE(teclas.contains(QKeySequence(Qt::CTRL | (Qt::Key_1 + i)))) << i;

    EditorFalso ocupado;
    ocupado.adicionaItem("mnuTres", QStringLiteral("Três"), QKeySequence(Qt::CTRL | Qt::Key_3));
    EXPECT_THROW(MemoriaDoEditor outra(ocupado), std::logic_error);
}

TEST(MemoriaDoEditor, ASuggestionGoesIntoTheCellThroughTheEditorAsTyped)
{
    EditorFalso editor;
    auto* m = new MemoriaDoEditor(editor);
    m->painel()->mostra({sugestao(QStringLiteral("&File")), sugestao(QStringLiteral("Fi&le"))});
    m->usaSugestao(0);
    EXPECT_TRUE(editor.digitados.isEmpty()) << "no rows: nothing to type into";

    editor.carrega({{QStringLiteral("CAD001"), QStringLiteral("lblArquivo"), QStringLiteral("Arquivo"), QString(),
                     QStringLiteral("N")},
                    {QStringLiteral("CAD001"), QStringLiteral("mnuArquivo"), QStringLiteral("&Arquivo"), QString(),
                     QStringLiteral("N")}});
    m->painel()->mostra({sugestao(QStringLiteral("&File")), sugestao(QStringLiteral("Fi&le"))});
    m->usaSugestao(1);
    m->usaSugestao(2); // past the suggestions shown
    m->usaSugestao(-1);
    EXPECT_EQ(editor.digitados, QStringList{QStringLiteral("File")}) << "a source without a mark gets none";
    editor.cds->Next();
    m->painel()->mostra({sugestao(QStringLiteral("&File"))});
    m->usaSugestao(0);
    EXPECT_EQ(editor.digitados.last(), QStringLiteral("&File"));
    EXPECT_EQ(editor.cds->ChangeCount(), 0) << "nothing is saved until the row is posted";
}

// The propagation after a post, with the stand-in of the editor on a real
// trd-server: the question is asked by itself, "apply to the untranslated
// rows" saves them in one call made inside the editor's batch, and the rows
// the editor holds show their new values without a change to send.
TEST(MemoriaDoEditor, APostsSourceRowsAreAskedAboutAndSavedInsideTheEditorsBatch)
{
    test::TrdServerProcess::Options opcoes;
    opcoes.seedTsv = "L\tENG\tInglês\tPOR\n"
                     "R\tENG\tCAD001\tlblSalvar\tSalvar\t\tN\n"
                     "R\tENG\tCAD002\tsbtSalvar\tSalvar\t\tN\n"
                     "R\tENG\tCAD003\tmnuSalvar\tSalvar\tSalvar\tN\n"
                     "R\tENG\tCAD004\tlblSair\tSair\t\tN\n";
    test::TrdServerProcess servidor(opcoes);
    ASSERT_TRUE(servidor.isRunning()) << servidor.errorString().toStdString();
    WebURL = servidor.host();
    WebPort = servidor.port();

    EditorFalso editor;
    editor.rede->Port = servidor.port();
    editor.rede->ServerName = ServerNameTraducao;
    editor.rede->Open();
    const TDateTime semData = 0;
    editor.cds->SetData(
        CheckResultServ(editor.rede->AppServer().Call(metodo::GetDestino,
                                                      {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"),
                                                       QStringLiteral("ENG"), semData, semData, QString()}),
                        true, 0));
    editor.codigoIdioma = QStringLiteral("ENG");
    ASSERT_EQ(editor.cds->RecordCount(), 4);
    // The editor's own save of the post.
    editor.cds->AfterPost = [&](TClientDataSet* ds) {
        CheckResultServ(editor.rede->AppServer().Call(metodo::SetDestino, {ds->Delta()}), true, 0);
        ds->MergeChangeLog();
    };
    auto* m = new MemoriaDoEditor(editor);

    ASSERT_TRUE(editor.cds->Locate(QStringLiteral("CDPROGTRAD"), {QStringLiteral("CAD001")}));
    editor.cds->Edit();
    editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("Save"));
    editor.cds->FieldByName(QStringLiteral("IDSITTRADUCAO"))->SetAsString(QStringLiteral("T"));
    m->antesDeGravar();
    editor.cds->Post();
    m->linhaGravada();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m->aviso()->mostrando(); }, 20000));
    EXPECT_TRUE(editor.lotes.isEmpty()) << "nothing is saved before the user chooses";

    emit m->aviso()->aplicarNaoTraduzidas();
    EXPECT_EQ(editor.lotes, QStringList{QStringLiteral("ENG|propagacao")});
    EXPECT_TRUE(m->aviso()->lblAviso->text().contains(QStringLiteral("2 linhas")))
        << m->aviso()->lblAviso->text().toStdString();
    EXPECT_EQ(editor.cds->ChangeCount(), 0);
    for (const char* programa : {"CAD002", "CAD003"}) {
        ASSERT_TRUE(editor.cds->Locate(QStringLiteral("CDPROGTRAD"), {QString::fromLatin1(programa)}));
        EXPECT_EQ(editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->AsString(), QStringLiteral("Save"))
            << programa;
    }
    ASSERT_TRUE(editor.cds->Locate(QStringLiteral("CDPROGTRAD"), {QStringLiteral("CAD004")}));
    EXPECT_TRUE(editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->AsString().isEmpty()) << "another source";

    // What the server holds now.
    TClientDataSet lidas;
    lidas.SetData(CheckResultServ(
        editor.rede->AppServer().Call(metodo::GetMesmaOrigem,
                                      {QStringLiteral("ENG"), QStringLiteral("Salvar"), QString(), QString()}),
        true, 0));
    int gravadas = 0;
    for (lidas.First(); !lidas.Eof(); lidas.Next())
        gravadas += lidas.FieldByName(QStringLiteral("STVALORPROP"))->AsString() == QStringLiteral("Save");
    EXPECT_EQ(gravadas, 3);
    editor.cds->AfterPost = nullptr;
}
