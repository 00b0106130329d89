// What the review rules and the roles would refuse is off before the user
// acts, on a real display against a real trd-server with users: a revisor
// finds "Marcar como Revisado" off on a row whose last change is his own
// where the language forbids marking it; a tradutor finds a reviewed row of a
// language that requires review read-only before typing, with the reason,
// and replace-all and the memory's propagation leave such rows out
// beforehand, counting them in their last message; a leitor finds the
// memory's suggestions and its divergent translations off. No key or click
// of theirs meets a refusal of the server.
#include "EditorPapeisFixture.h"

#include "AvisoPropagacao.h"
#include "Cli_Trd09306.h"
#include "HistoricoDoEditor.h"
#include "MemoriaDoEditor.h"
#include "PainelSugestoes.h"

#include <QPushButton>
#include <QTreeWidget>

using namespace trd;
using namespace trd::test;

namespace {

// Ten rows of P0, and one source in three programs (marks aside): what the
// suggestions offer and a propagation reaches.
QList<Linha> linhas()
{
    QList<Linha> l;
    for (int i = 0; i < 10; ++i)
        l.append({"ENG", "P0", QStringLiteral("c%1").arg(i, 2, 10, QLatin1Char('0')),
                  QStringLiteral("Texto %1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("Text %1").arg(i), "T"});
    l.append({"ENG", "P1", "sbtSalvar", "&Salvar", "", "N"});
    l.append({"ENG", "P2", "sbtSalvar", "Salvar", "", "N"});
    l.append({"ENG", "P3", "sbtSalvar", "Sal&var", "Save", "T"});
    l.append({"ENG", "P4", "sbtSalvar", "Salva&r", "Keep", "T"});
    return l;
}

class EditorRevisaoAntes : public EditorComPapeis {
protected:
    // `nome` marks the row as the server has it.
    void marcaComo(const QString& nome, const QString& programa, const QString& componente, const QString& origem)
    {
        const QStringList row = dbRow("ENG", origem);
        ASSERT_EQ(row.size(), 2);
        chamaComo(nome, metodo::MarcaRevisao, {"ENG", programa, componente, origem, "S", row[0], row[1]});
    }
    // `nome` saves the row's text as any client does: the rows read, one edited, its delta sent.
    void salvaComo(const QString& nome, const QString& origem, const QString& texto)
    {
        TClientDataSet ds;
        ds.SetData(chamaComo(nome, metodo::GetDestino, {"T", "D", "N", "ENG", TDateTime(0), TDateTime(0), ""}).Data());
        ASSERT_TRUE(ds.Locate(QStringLiteral("STAGRVALPROP"), {origem}));
        ds.Edit();
        ds.FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(texto);
        ds.Post();
        chamaComo(nome, metodo::SetDestino, {ds.Delta()});
    }
    bool algumaRecusa() const
    {
        for (const QString& m : boxes.shown)
            if (m.contains("Nada foi gravado") || m.contains("Peça a outro revisor") || m.contains("É preciso"))
                return true;
        return false;
    }
    PainelSugestoes* sugestoes() const { return frmTraducao->memoria->painel(); }
};

TEST_F(EditorRevisaoAntes, ARevisorFindsMarkingHisOwnLastChangeOffBeforeTheKey)
{
    TfrmTraducao* form = abreComo("rita", linhas());
    ASSERT_TRUE(form);
    chamaComo("ana", metodo::SetRevisaoIdioma, {"ENG", "N", "S"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->direitos->atuais().regras("ENG").propriaBloqueada; }, kEspera));
    QAction* marcar = item("mnuMarcarRevisado");

    // Her own save: the row's last change is hers at once, and the key is off, saying why.
    QPointer<QLineEdit> editor = editCell("Texto 04");
    ASSERT_TRUE(editor);
    input.type(" (rita)");
    input.key("Return");
    ASSERT_EQ(dbRow("ENG", "Texto 04"), QStringList({"Text 4 (rita)", "T"}));
    clickCell("Texto 04");
    ASSERT_EQ(current(), "Texto 04");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !marcar->isEnabled(); }, kEspera));
    EXPECT_EQ(marcar->toolTip(),
              "O idioma ENG não permite que um revisor marque como revisada a própria alteração: "
              "a última alteração desta linha é sua. Peça a outro revisor.");
    input.key("ctrl+r");
    QTest::qWait(300);
    EXPECT_EQ(serverCalls("MarcaRevisao"), 0) << "the key sent nothing";
    EXPECT_EQ(current(), "Texto 04");

    // A row tito changed last is hers to mark: on, and marked with one key.
    salvaComo("tito", "Texto 06", "Text 6 (tito)");
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownDestination(rowOf("Texto 06")) == "Text 6 (tito)"; }, kEspera));
    clickCell("Texto 06");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->Historico->lblAlteracao->text().startsWith("Última alteração: tito"); }, kEspera))
        << form->Historico->lblAlteracao->text().toStdString();
    EXPECT_TRUE(marcar->isEnabled()) << marcar->toolTip().toStdString();
    input.key("ctrl+r");
    EXPECT_TRUE(QTest::qWaitFor([&] { return revisorNaTela("Texto 06") == "rita"; }, kEspera));
    EXPECT_EQ(serverCalls("MarcaRevisao"), 1);
    // Back on her row: known at once, before the history is asked again.
    clickCell("Texto 04");
    ASSERT_TRUE(QTest::qWaitFor([&] { return current() == "Texto 04"; }, kEspera));
    EXPECT_FALSE(marcar->isEnabled()) << "a row met before is known while its values stand";
    EXPECT_FALSE(algumaRecusa()) << boxes.shown.join('|').toStdString();
}

TEST_F(EditorRevisaoAntes, ATradutorsReviewedRowReadsOnlyAndRunsLeaveItOut)
{
    TfrmTraducao* form = abreComo("tito", linhas());
    ASSERT_TRUE(form);
    chamaComo("ana", metodo::SetRevisaoIdioma, {"ENG", "S", "N"});
    ASSERT_NO_FATAL_FAILURE(marcaComo("rita", "P0", "c02", "Texto 02"));
    ASSERT_NO_FATAL_FAILURE(marcaComo("rita", "P0", "c03", "Texto 03"));
    ASSERT_NO_FATAL_FAILURE(marcaComo("rita", "P3", "sbtSalvar", "Sal&var"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return revisorNaTela("Sal&var") == "rita" && revisorNaTela("Texto 03") == "rita"; }, kEspera));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->direitos->atuais().regras("ENG").obrigatoria; }, kEspera));

    // The reviewed row reads only before anything is typed: F2 opens nothing, the reason in the grid's hint.
    clickCell("Texto 02");
    EXPECT_TRUE(form->dbgPadrao->ReadOnly());
    EXPECT_TRUE(form->dbgPadrao->viewport()->toolTip().contains("foi revisada por rita em "))
        << form->dbgPadrao->viewport()->toolTip().toStdString();
    input.key("F2");
    input.type("xyz");
    EXPECT_FALSE(form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_FALSE(form->sbtExcluir->isEnabled());
    // Another row is his as always.
    clickCell("Texto 05");
    EXPECT_FALSE(form->dbgPadrao->ReadOnly());

    // The suggestions of the reviewed row of "Salvar" cannot be put into its cell.
    clickCell("Sal&var");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sugestoes()->quantas() > 0; }, kEspera))
        << sugestoes()->estado().toStdString();
    EXPECT_FALSE(sugestoes()->lstSugestoes->isEnabled());
    EXPECT_TRUE(sugestoes()->toolTip().contains("só um revisor pode alterá-la"))
        << sugestoes()->toolTip().toStdString();
    input.key("ctrl+1");
    QTest::qWait(200);
    EXPECT_FALSE(form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(dbRow("ENG", "Sal&var"), QStringList({"Save", "T"}));

    // Replace-all over every "Text": the two reviewed rows are left out beforehand and counted.
    form->mnuSubstituir->trigger();
    ASSERT_TRUE(frmSubstituir);
    TfrmSubstituir* dlg = frmSubstituir;
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == dlg; }));
    dlg->cbbIdioma->setCurrentIndex(1);
    dlg->edtLocalizar->setText("Text ");
    dlg->SetTpBuscaIndex(1);
    dlg->edtSubstituir->setText("Txt ");
    const int gravacoesAntes = serverCalls("SetDestino");
    input.click(dlg->sbtSubstAll, dlg->sbtSubstAll->rect().center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dbRow("ENG", "Texto 09").value(0) == "Txt 9"; }, kEspera));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.shown.isEmpty(); }, kEspera));
    EXPECT_TRUE(boxes.shown.join('|').contains("2 linhas revisadas não foram alteradas: o idioma ENG exige revisão e "
                                               "só um revisor pode alterá-las."))
        << boxes.shown.join('|').toStdString();
    EXPECT_EQ(serverCalls("SetDestino") - gravacoesAntes, 8) << "one save per row changed, none for a reviewed row";
    EXPECT_EQ(dbRow("ENG", "Texto 02"), QStringList({"Text 2", "T"}));
    EXPECT_EQ(dbRow("ENG", "Texto 03"), QStringList({"Text 3", "T"}));
    EXPECT_EQ(dbRow("ENG", "Texto 01"), QStringList({"Txt 1", "T"}));
    dlg->Close();
    activate();
    boxes.shown.clear();

    // A translation of "&Salvar": the propagation offers the untranslated row only; the reviewed one is left out, said.
    QPointer<QLineEdit> editor = editCell("&Salvar");
    ASSERT_TRUE(editor);
    input.type("&Save");
    input.key("Return");
    AvisoPropagacao* aviso = form->memoria->aviso();
    ASSERT_TRUE(QTest::qWaitFor([&] { return aviso->mostrando(); }, kEspera));
    const QString pergunta = aviso->lblAviso->text();
    EXPECT_TRUE(pergunta.startsWith("Outras 2 linhas têm a mesma origem: 1 não traduzida, 0 iguais, 1 diferente."))
        << pergunta.toStdString();
    EXPECT_TRUE(pergunta.endsWith("1 linha revisada não foi alterada: o idioma ENG exige revisão e só um revisor "
                                  "pode alterá-la."))
        << pergunta.toStdString();
    aviso->btnAplicar->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dbRow("ENG", "Salvar").value(0) == "Save"; }, kEspera));
    EXPECT_TRUE(aviso->lblAviso->text().contains("1 linha revisada não foi alterada"))
        << aviso->lblAviso->text().toStdString();
    EXPECT_EQ(dbRow("ENG", "Sal&var"), QStringList({"Save", "T"}));
    EXPECT_EQ(dbRow("ENG", "Salva&r"), QStringList({"Keep", "T"}));
    EXPECT_FALSE(algumaRecusa()) << boxes.shown.join('|').toStdString();
}

TEST_F(EditorRevisaoAntes, ALeitorFindsTheSuggestionsAndTheDivergentTranslationsOff)
{
    TfrmTraducao* form = abreComo("leo", linhas());
    ASSERT_TRUE(form);
    const QString motivo = "É preciso ser tradutor do idioma ENG para alterar suas traduções.";
    clickCell("&Salvar");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sugestoes()->quantas() > 0; }, kEspera))
        << sugestoes()->estado().toStdString();
    EXPECT_FALSE(sugestoes()->lstSugestoes->isEnabled());
    EXPECT_EQ(sugestoes()->toolTip(), motivo);
    QAction* divergentes = item("mnuDivergentes");
    ASSERT_TRUE(divergentes);
    EXPECT_FALSE(divergentes->isEnabled());
    EXPECT_EQ(divergentes->toolTip(), motivo);
    // Neither the keys nor a double-click put a text anywhere.
    input.key("ctrl+1");
    const QRect linha = sugestoes()->lstSugestoes->visualItemRect(sugestoes()->lstSugestoes->topLevelItem(0));
    input.doubleClick(sugestoes()->lstSugestoes->viewport(), linha.center());
    QTest::qWait(300);
    EXPECT_FALSE(form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(serverCalls("SetDestino"), 0);
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_FALSE(form->memoria->divergentes());
}

} // namespace
