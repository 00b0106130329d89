// The checks beside the editor, against a stand-in of the editor (no form):
// the panel under the detail panel follows the current row and the text being
// typed in the cell's editor when it opens, and the question before a post
// with a new erro is asked once per text, its first answer holding for a
// whole replace-all run.
#include "EditorFalso.h"
#include "Exceptions.h"
#include "PainelVerificacoes.h"
#include "RecordingDialogSeam.h"
#include "VerificacoesDoEditor.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace trd;
using trd::test::EditorFalso;

namespace {

bool mencionam(const QStringList& linhas, const QString& marcador)
{
    for (const QString& l : linhas)
        if (l.contains(marcador))
            return true;
    return false;
}

const QList<EditorFalso::Linha> kLinhas = {
    {QStringLiteral("CAD001"), QStringLiteral("lblArquivo"), QStringLiteral("Arquivo %s"), QStringLiteral("File %s"),
     QStringLiteral("T")},
    {QStringLiteral("CAD001"), QStringLiteral("lblTotal"), QStringLiteral("Total %d"), QStringLiteral("Total"),
     QStringLiteral("T")}, // saved with its erro long ago
    {QStringLiteral("CAD001"), QStringLiteral("lblNome"), QStringLiteral("Nome %s"), QStringLiteral("Name %s"),
     QStringLiteral("T")},
};

} // namespace

TEST(VerificacoesDoEditor, ThePanelUnderTheDetailFollowsTheRowAndTheCellBeingTyped)
{
    EditorFalso editor;
    editor.carrega(kLinhas);
    auto* v = new VerificacoesDoEditor(editor);
    EXPECT_EQ(editor.posicao(v->painel()), editor.posicao(editor.detalhe) + 1);

    v->linhaAtualMudou();
    EXPECT_TRUE(v->painel()->linhas().isEmpty()) << "the first row keeps its placeholder";
    editor.cds->Next();
    v->linhaAtualMudou();
    EXPECT_TRUE(mencionam(v->painel()->linhas(), QStringLiteral("%d")))
        << v->painel()->linhas().join(u'\n').toStdString();

    // The cell's editor opens in the editor's cell area: what is typed is checked, not the saved text.
    editor.cds->First();
    QLineEdit* celula = editor.abreCelula();
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->painel()->linhas().isEmpty(); }));
    celula->setText(QStringLiteral("File"));
    EXPECT_TRUE(mencionam(v->painel()->linhas(), QStringLiteral("%s")));
    celula->setText(QStringLiteral("File %s"));
    EXPECT_TRUE(v->painel()->linhas().isEmpty());
    celula->setText(QStringLiteral("Arq"));
    // The cell going away shows the row as saved again.
    editor.fechaCelula();
    EXPECT_TRUE(v->painel()->linhas().isEmpty());

    const int antes = editor.repinturas;
    v->linhaGravada();
    EXPECT_GT(editor.repinturas, antes) << "a save repaints the marks of the program's rows";
}

TEST(VerificacoesDoEditor, ANewErroAsksOnceAndInAReplaceAllRunTheFirstAnswerHolds)
{
    EditorFalso editor;
    editor.carrega(kLinhas);
    auto* v = new VerificacoesDoEditor(editor);
    RecordingDialogSeam seam;

    // Typing away the placeholder: No abandons the post, silently.
    editor.cds->Edit();
    editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("File"));
    seam.answers.push_back(mrNo);
    EXPECT_THROW(v->confirmaGravacao(), EAbort);
    EXPECT_EQ(seam.messages().size(), 1);
    // Yes lets it go, and the same text is not asked about again.
    seam.answers.push_back(mrYes);
    EXPECT_NO_THROW(v->confirmaGravacao());
    EXPECT_NO_THROW(v->confirmaGravacao());
    EXPECT_EQ(seam.messages().size(), 2);
    editor.cds->Cancel();

    // A replace-all run: the question names the row, and its No holds for the next row with a new erro.
    editor.emSubstituicao = true;
    editor.cds->Edit();
    editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("Arquivo"));
    seam.answers.push_back(mrNo);
    EXPECT_THROW(v->confirmaGravacao(), EAbort);
    ASSERT_EQ(seam.messages().size(), 3);
    EXPECT_TRUE(seam.messages().last().contains(QStringLiteral("lblArquivo")));
    EXPECT_TRUE(seam.messages().last().contains(QStringLiteral("Arquivo %s")));
    editor.cds->Cancel();
    editor.cds->Next();
    editor.cds->Edit();
    editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("Soma"));
    EXPECT_NO_THROW(v->confirmaGravacao()) << "an erro the row was saved with is no new one";
    editor.cds->Cancel();
    editor.cds->Next();
    editor.cds->Edit();
    editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("Name"));
    EXPECT_THROW(v->confirmaGravacao(), EAbort);
    EXPECT_EQ(seam.messages().size(), 3) << "no second question in the same run";
    editor.cds->Cancel();

    // The run over, the user is asked again.
    editor.emSubstituicao = false;
    editor.cds->First();
    editor.cds->Edit();
    editor.cds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("Arquivo"));
    seam.answers.push_back(mrYes);
    EXPECT_NO_THROW(v->confirmaGravacao());
    EXPECT_EQ(seam.messages().size(), 4);
    editor.cds->Cancel();
}

TEST(VerificacoesDoEditor, AStatusMarkRepaintsNoOtherRowAndAChangedTextRepaintsThemAll)
{
    EditorFalso editor;
    editor.carrega({{QStringLiteral("CAD001"), QStringLiteral("sbtSalvar"), QStringLiteral("&Salvar"),
                     QStringLiteral("&Save"), QStringLiteral("T")},
                    {QStringLiteral("CAD001"), QStringLiteral("sbtSair"), QStringLiteral("Sai&r"),
                     QStringLiteral("E&xit"), QStringLiteral("T")}});
    auto* v = new VerificacoesDoEditor(editor);
    // The second row's letter conflicts with nobody yet: the index is built.
    editor.cds->Last();
    v->linhaAtualMudou();
    ASSERT_FALSE(v->verificacao().pior(1).has_value());
    auto posta = [&](const char* campo, const QString& valor) {
        editor.cds->Edit();
        editor.cds->FieldByName(QString::fromLatin1(campo))->SetAsString(valor);
        v->confirmaGravacao();
        editor.cds->Post();
        v->linhaGravada();
        editor.cds->MergeChangeLog();
    };

    // A status (or a review mark) leaves every letter as it was: no other
    // row's mark can change, the grid repaints the row itself.
    editor.cds->First();
    int antes = editor.repinturas;
    posta("IDSITTRADUCAO", QStringLiteral("D"));
    EXPECT_EQ(editor.repinturas, antes);

    // A new text takes the other row's letter: that row's mark changes, so
    // the rows are repainted.
    antes = editor.repinturas;
    posta("STVALORPROP", QStringLiteral("E&xport"));
    EXPECT_GT(editor.repinturas, antes);
    EXPECT_TRUE(v->verificacao().pior(1).has_value()) << "the conflict the repaint shows";

    // A save that did not come through the question (a colleague's row told)
    // repaints them too.
    antes = editor.repinturas;
    v->linhaGravada();
    EXPECT_GT(editor.repinturas, antes);
}
