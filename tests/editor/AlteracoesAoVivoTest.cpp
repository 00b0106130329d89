// Colleagues' saves beside the editor, against a stand-in of the editor (no
// form, no feed connection: the feed's answers are handed in as it would
// hand them): the indicator sits in the navigator bar, a change goes into
// its row and is told to the editor (the checks, the history's line), Ctrl+J
// goes round the changed rows, and the row being typed in is never written:
// its colleague's text waits beside the cell until the edit ends.
#include "AlteracoesAoVivo.h"
#include "EditorFalso.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

using namespace trd;
using trd::test::EditorFalso;

namespace {

const QList<EditorFalso::Linha> kLinhas = {
    {QStringLiteral("CAD001"), QStringLiteral("lblArquivo"), QStringLiteral("Arquivo"), QStringLiteral("File"),
     QStringLiteral("T")},
    {QStringLiteral("CAD001"), QStringLiteral("lblSalvar"), QStringLiteral("Salvar"), QString(), QStringLiteral("N")},
    {QStringLiteral("CAD002"), QStringLiteral("lblSair"), QStringLiteral("Sair"), QString(), QStringLiteral("N")},
};

FeedBatch mudanca(std::int64_t seq, const EditorFalso::Linha& l, const QString& depois)
{
    FeedChange c;
    c.seq = seq;
    c.type = 'A';
    c.language = QStringLiteral("ENG");
    c.program = l.programa;
    c.component = l.componente;
    c.source = l.origem;
    c.destinationBefore = l.destino;
    c.statusBefore = l.situacao;
    c.destination = depois;
    c.status = QStringLiteral("T");
    c.user = QStringLiteral("bia");
    FeedBatch lote;
    lote.upTo = seq;
    lote.changes.push_back(c);
    return lote;
}

QString destino(TClientDataSet& ds, int linha)
{
    return ds.ValueAt(linha, ds.FieldByName(QStringLiteral("STVALORPROP"))->Index()).toString();
}

} // namespace

TEST(AlteracoesAoVivo, AColleaguesSaveGoesIntoItsRowIsToldToTheEditorAndCtrlJGoesRoundThem)
{
    EditorFalso editor;
    editor.carrega(kLinhas);
    auto* vivo = new AlteracoesAoVivo(editor);
    EXPECT_TRUE(editor.navegador->isAncestorOf(vivo->indicador()));
    EXPECT_FALSE(vivo->irParaProxima()) << "nothing changed yet";

    emit vivo->feed().Changes(mudanca(1, kLinhas[2], QStringLiteral("Exit")));
    EXPECT_EQ(destino(*editor.cds, 2), QStringLiteral("Exit"));
    EXPECT_EQ(editor.alteradas, std::vector<int>{2});
    EXPECT_FALSE(editor.atualAlterada);
    EXPECT_EQ(editor.cds->ChangeCount(), 0) << "nothing goes back to the server";
    EXPECT_TRUE(vivo->recente(2));
    EXPECT_FALSE(vivo->recente(1));

    // The current row changed: the editor is told, so its history line is asked again.
    emit vivo->feed().Changes(mudanca(2, kLinhas[0], QStringLiteral("Archive")));
    EXPECT_TRUE(editor.atualAlterada);

    // Ctrl+J: after the current row, then from the top again.
    ASSERT_TRUE(vivo->irParaProxima());
    EXPECT_EQ(editor.cds->CurrentIndex(), 2);
    ASSERT_TRUE(vivo->irParaProxima());
    EXPECT_EQ(editor.cds->CurrentIndex(), 0);
    EXPECT_TRUE(editor.textosDeColega.isEmpty());
}

TEST(AlteracoesAoVivo, TheRowBeingTypedInKeepsTheUsersTextAndTakesTheChangeWhenTheEditEnds)
{
    EditorFalso editor;
    editor.carrega(kLinhas);
    auto* vivo = new AlteracoesAoVivo(editor);
    editor.cds->SetRecNo(2);
    QLineEdit* celula = editor.abreCelula();
    celula->setText(QStringLiteral("Keep"));
    editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("Keep"));

    emit vivo->feed().Changes(mudanca(1, kLinhas[1], QStringLiteral("Save")));
    EXPECT_EQ(editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->AsString(), QStringLiteral("Keep"));
    ASSERT_EQ(editor.textosDeColega.size(), 1);
    EXPECT_TRUE(editor.textosDeColega.first().endsWith(QStringLiteral("|Save")));
    EXPECT_TRUE(editor.textosDeColega.first().contains(QStringLiteral("bia")));

    // Escape: the edit goes, and the colleague's text comes into the row once the state is back to browsing.
    editor.fechaCelula();
    editor.cds->Cancel();
    vivo->estadoMudou();
    EXPECT_TRUE(QTest::qWaitFor([&] { return destino(*editor.cds, 1) == QStringLiteral("Save"); }));
    EXPECT_EQ(editor.cds->ChangeCount(), 0);
}
