// The translation memory beside the editor, against a stand-in of the editor
// (no form): the suggestions panel beside the detail panel and the question
// above it, its items and the Ctrl+1 to Ctrl+5 keys checked against the
// screen's, and a suggestion put into the cell through the editor, as typed,
// with its shortcut mark dropped for a source that has none.
#include "AvisoPropagacao.h"
#include "EditorFalso.h"
#include "MemoriaDoEditor.h"
#include "PainelSugestoes.h"

#include <QAction>
#include <QShortcut>

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
    m->usaSugestao(2);    // past the suggestions shown
    m->usaSugestao(-1);
    EXPECT_EQ(editor.digitados, QStringList{QStringLiteral("File")}) << "a source without a mark gets none";
    editor.cds->Next();
    m->painel()->mostra({sugestao(QStringLiteral("&File"))});
    m->usaSugestao(0);
    EXPECT_EQ(editor.digitados.last(), QStringLiteral("&File"));
    EXPECT_EQ(editor.cds->ChangeCount(), 0) << "nothing is saved until the row is posted";
}
