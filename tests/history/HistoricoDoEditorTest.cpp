// The history beside the editor, against a stand-in of the editor (no form):
// its line goes right under the detail panel, its items take keys no other
// item of the screen holds, they are enabled by the rows, the edit and the
// language, the current row's key is the editor's, and a version is put back
// through an edit and a post of the editor's rows.
#include "EditorFalso.h"
#include "HistoricoDoEditor.h"

#include <QAction>
#include <QFrame>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace trd;
using trd::test::EditorFalso;

namespace {

const QList<EditorFalso::Linha> kLinhas = {
    {QStringLiteral("CAD001"), QStringLiteral("lblArquivo"), QStringLiteral("Arquivo"), QStringLiteral("File"),
     QStringLiteral("D")},
    {QStringLiteral("CAD001"), QStringLiteral("lblSalvar"), QStringLiteral("Salvar"), QString(), QStringLiteral("N")},
};

} // namespace

TEST(HistoricoDoEditor, ItsLineItemsAndStatesFollowTheEditorItServes)
{
    EditorFalso editor;
    auto* h = new historico::HistoricoDoEditor(editor);
    EXPECT_EQ(editor.posicao(h->panAlteracao), editor.posicao(editor.detalhe) + 1);
    EXPECT_EQ(h->mnuHistorico->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
    EXPECT_EQ(h->mnuLotes->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    EXPECT_TRUE(editor.menu->actions().contains(h->mnuHistorico));

    struct Caso {
        const char* porque;
        bool linhas, editando, idiomaDaLista;
        bool historico, lotes;
    };
    const Caso casos[] = {
        {"nothing loaded, no language", false, false, false, false, false},
        {"a language chosen: its batches can be listed before any row", false, false, true, false, true},
        {"rows, no edit", true, false, true, true, true},
        {"an edit under way: neither window may open over it", true, true, true, false, false},
        {"rows left from a language the box no longer names", true, false, false, true, false},
    };
    for (const Caso& c : casos) {
        if (c.linhas)
            editor.carrega(kLinhas);
        else if (editor.cds->Active())
            editor.cds->Close();
        if (c.editando)
            editor.cds->Edit();
        editor.naLista = c.idiomaDaLista;
        h->Habilita();
        EXPECT_EQ(h->mnuHistorico->isEnabled(), c.historico) << c.porque;
        EXPECT_EQ(h->mnuLotes->isEnabled(), c.lotes) << c.porque;
        if (c.editando)
            editor.cds->Cancel();
    }

    editor.carrega(kLinhas);
    editor.cds->Next();
    const historico::ChaveLinha chave = h->ChaveAtual();
    EXPECT_EQ(chave,
              (historico::ChaveLinha{QStringLiteral("ENG"), QStringLiteral("CAD001"), QStringLiteral("lblSalvar"),
                                     QStringLiteral("Salvar")}));
    editor.cds->Close();
    EXPECT_TRUE(h->ChaveAtual().vazia());
}

TEST(HistoricoDoEditor, AVersionIsPutBackByAnEditAndAPostOfTheEditorsRows)
{
    EditorFalso editor;
    editor.carrega(kLinhas);
    auto* h = new historico::HistoricoDoEditor(editor);
    int postados = 0;
    editor.cds->BeforePost = [&](TClientDataSet*) { ++postados; };
    historico::Versao versao;
    versao.textoDepois = QStringLiteral("Archive");
    versao.situacaoDepois = QStringLiteral("T");
    h->Restaura(versao);
    EXPECT_EQ(postados, 1) << "promotion and the save's own check apply to a restore";
    EXPECT_EQ(editor.cds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->AsString(), QStringLiteral("Archive"));
    EXPECT_EQ(editor.cds->FieldByName(QStringLiteral("IDSITTRADUCAO"))->AsString(), QStringLiteral("T"));
    editor.cds->BeforePost = nullptr;
}

TEST(HistoricoDoEditor, AKeyTheScreenAlreadyAnswersToIsRefusedWhenItsItemsAreAdded)
{
    EditorFalso editor;
    editor.adicionaItem("mnuOutro", QStringLiteral("Outro"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    EXPECT_THROW(historico::HistoricoDoEditor h(editor), std::logic_error);
}
