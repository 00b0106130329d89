// The user's roles as GetPapeis tells them and what they leave the editor's
// controls: a language's role is the higher of its own and the one of every
// language, a leitor's controls are all off with the reason, a tradutor's
// status buttons go off only on a reviewed row where review is required, an
// answer that is none changes nothing; the filter's review condition.
#include "FiltroCriterios.h"
#include "Papeis.h"
#include "RevisaoRegras.h"
#include "TClientDataSet.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::papeis;

namespace {

// GetPapeis's answer: the "*" row first, then one per language.
void resposta(TClientDataSet& ds, const QList<QStringList>& linhas, bool login = true)
{
    for (const char* nome : {"NMUSUARIO", "IDIDIOMA", "TPPAPEL", "FLREVOBRIG", "FLREVPROPRIA", "FLLOGIN"})
        ds.AddField(QString::fromLatin1(nome), TFieldType::ftString, 64);
    ds.CreateDataSet();
    for (const QStringList& l : linhas) {
        ds.Append();
        ds.FieldByName("NMUSUARIO")->SetAsString("tito");
        ds.FieldByName("IDIDIOMA")->SetAsString(l[0]);
        ds.FieldByName("TPPAPEL")->SetAsString(l[1]);
        ds.FieldByName("FLREVOBRIG")->SetAsString(l.value(2, "N"));
        ds.FieldByName("FLREVPROPRIA")->SetAsString(l.value(3, "N"));
        ds.FieldByName("FLLOGIN")->SetAsString(login ? "S" : "N");
        ds.Post();
    }
    ds.MergeChangeLog();
}

TEST(Papeis, TheRoleOfALanguageIsTheHigherOfItsOwnAndTheOneOfEvery)
{
    TClientDataSet ds;
    resposta(ds, {{"*", "leitor"}, {"ENG", "revisor", "S"}, {"ESP", "leitor"}, {"FRA", ""}});
    PapeisDoUsuario p;
    ASSERT_TRUE(p.Le(ds));
    EXPECT_EQ(p.usuario(), "tito");
    EXPECT_TRUE(p.comLogin());
    EXPECT_EQ(p.papel("ENG"), Papel::Revisor);
    EXPECT_EQ(p.papel("ESP"), Papel::Leitor);
    EXPECT_EQ(p.papel("FRA"), Papel::Leitor) << "an empty role on a language keeps the one of every language";
    EXPECT_EQ(p.papel("ITA"), Papel::Leitor) << "a language created since has the role of every language";
    EXPECT_TRUE(p.regras("ENG").obrigatoria);
    EXPECT_FALSE(p.administraUsuarios());
    EXPECT_EQ(p.idiomas(), QStringList({"ENG", "ESP", "FRA"}));
    EXPECT_EQ(TextoDoPapel(p, "ESP"), "Papel: leitor de ESP (só leitura)");

    // An answer that is none (no "*" row, no fields) leaves what was known.
    TClientDataSet vazia;
    resposta(vazia, {{"ENG", "administrador"}});
    EXPECT_FALSE(p.Le(vazia));
    EXPECT_EQ(p.papel("ENG"), Papel::Revisor);
    // Nothing told yet: every right, as a server without users means.
    EXPECT_EQ(PapeisDoUsuario::Todos().papel("ENG"), Papel::Administrador);
    EXPECT_TRUE(PapeisDoUsuario::Todos().administraUsuarios());
}

TEST(Papeis, WhatEachRoleLeavesTheEditor)
{
    TClientDataSet ds;
    resposta(ds, {{"*", ""}, {"ENG", "tradutor", "S"}, {"ESP", "leitor"}, {"DEU", "revisor", "S"}});
    PapeisDoUsuario p;
    ASSERT_TRUE(p.Le(ds));
    const MarcaDaLinha revisada{"rita", "07/12/2026 10:40"};

    const Restricoes leitor = RestricoesDoEditor(p, "ESP", {});
    EXPECT_EQ(leitor.celula, "É preciso ser tradutor do idioma ESP para alterar suas traduções.");
    EXPECT_EQ(leitor.situacoes, leitor.celula);
    EXPECT_EQ(leitor.substituir, leitor.celula);
    EXPECT_EQ(leitor.importar, leitor.celula);
    EXPECT_EQ(leitor.marcar, "É preciso ser revisor do idioma ESP para marcar traduções como revisadas.");
    EXPECT_EQ(leitor.usuarios, "É preciso ser administrador de todos os idiomas para administrar os usuários.");

    const Restricoes tradutor = RestricoesDoEditor(p, "ENG", {});
    EXPECT_TRUE(tradutor.celula.isEmpty());
    EXPECT_TRUE(tradutor.situacoes.isEmpty());
    EXPECT_FALSE(tradutor.marcar.isEmpty());
    // A reviewed row where review is required reads only, the cell and the status buttons saying why.
    const Restricoes naRevisada = RestricoesDoEditor(p, "ENG", revisada);
    EXPECT_EQ(naRevisada.situacoes,
              "Esta tradução foi revisada por rita em 07/12/2026 10:40 e o idioma ENG exige "
              "revisão: só um revisor pode alterá-la.");
    EXPECT_EQ(naRevisada.celula, naRevisada.situacoes);
    EXPECT_TRUE(naRevisada.substituir.isEmpty()) << "replace-all leaves such rows out by itself";
    EXPECT_TRUE(RestricoesDoEditor(p, "DEU", revisada).celula.isEmpty());
    // A revisor changes it; so does a tradutor where review is not required.
    EXPECT_TRUE(RestricoesDoEditor(p, "DEU", revisada).situacoes.isEmpty());
    EXPECT_TRUE(RestricoesDoEditor(p, "DEU", revisada).marcar.isEmpty());
    TClientDataSet livre;
    resposta(livre, {{"*", "tradutor"}});
    PapeisDoUsuario semExigencia;
    ASSERT_TRUE(semExigencia.Le(livre));
    EXPECT_TRUE(RestricoesDoEditor(semExigencia, "ENG", revisada).situacoes.isEmpty());
    // No role at all reads nothing.
    TClientDataSet nenhum;
    resposta(nenhum, {{"*", ""}});
    PapeisDoUsuario semPapel;
    ASSERT_TRUE(semPapel.Le(nenhum));
    EXPECT_EQ(TextoDoPapel(semPapel, "ENG"), "Sem papel neste servidor");
}

// The own-change rule said before the key is pressed: only where the rule is
// on, only of the user's own last change, and never while the author is not
// known (the server, which knows, then decides).
TEST(Papeis, MarkingOnesOwnLastChangeIsOffOnlyWhereTheRuleIsOn)
{
    TClientDataSet ds;
    resposta(ds, {{"*", "leitor"}, {"ENG", "revisor", "N", "S"}, {"DEU", "revisor"}, {"FRA", "tradutor", "N", "S"}});
    PapeisDoUsuario p;
    ASSERT_TRUE(p.Le(ds));
    const QString propria = "O idioma ENG não permite que um revisor marque como revisada a própria alteração: "
                            "a última alteração desta linha é sua. Peça a outro revisor.";
    EXPECT_EQ(MotivoSemMarcarALinha(p, "ENG", "tito"), propria);
    EXPECT_TRUE(MotivoSemMarcarALinha(p, "ENG", "rita").isEmpty()) << "a colleague's change is his to mark";
    EXPECT_TRUE(MotivoSemMarcarALinha(p, "ENG", "").isEmpty()) << "not known yet, or no change kept";
    EXPECT_TRUE(MotivoSemMarcarALinha(p, "DEU", "tito").isEmpty()) << "the rule is off there";
    EXPECT_EQ(MotivoSemMarcarALinha(p, "FRA", "rita"), MotivoSemRevisao("FRA")) << "no revisor, whoever changed it";

    EXPECT_EQ(TextoDasRevisadasDeixadas(0, "ENG"), "");
    EXPECT_EQ(TextoDasRevisadasDeixadas(1, "ENG"),
              "1 linha revisada não foi alterada: o idioma ENG exige revisão e só um revisor pode alterá-la.");
    EXPECT_EQ(TextoDasRevisadasDeixadas(3, "ENG"),
              "3 linhas revisadas não foram alteradas: o idioma ENG exige revisão e só um revisor pode alterá-las.");
}

TEST(Papeis, TheFilterNarrowsByTheReviewMarkAfterTheOtherConditions)
{
    EscolhasCriterios e;
    EXPECT_EQ(fragmentoFiltro(e), "");
    e.revisao = FiltroRevisao::Revisadas;
    EXPECT_EQ(fragmentoFiltro(e), "AND REVISADO = 'S'");
    e.revisao = FiltroRevisao::NaoRevisadas;
    e.programa = "TRD";
    EXPECT_EQ(fragmentoFiltro(e), " AND CDPROGTRAD LIKE '%TRD%' AND REVISADO = 'N'");
    EXPECT_EQ(montaFiltroCriterios(e).stPARAMSQL, fragmentoFiltro(e));
}

// Rows of a server from before the mark (no NMREVISOR, no DTREVISAO) load
// into the editor's row set, declared with them, as rows not reviewed; a
// packet with them gives each row its mark.
TEST(Papeis, RowsWithoutTheMarksFieldsLoadAsNotReviewed)
{
    TClientDataSet antigo;
    antigo.AddField("STAGRVALPROP", TFieldType::ftString, 100);
    antigo.AddField("IDSITTRADUCAO", TFieldType::ftString, 1);
    antigo.CreateDataSet();
    antigo.Append();
    antigo.FieldByName("STAGRVALPROP")->SetAsString("Salvar");
    antigo.FieldByName("IDSITTRADUCAO")->SetAsString("T");
    antigo.Post();
    antigo.MergeChangeLog();

    TClientDataSet editor;
    editor.AddField("STAGRVALPROP", TFieldType::ftString, 100);
    editor.AddField("IDSITTRADUCAO", TFieldType::ftString, 1);
    revisao::DeclaraCampos(editor);
    ASSERT_NO_THROW(editor.SetData(antigo.Data()));
    ASSERT_EQ(editor.RecordCount(), 1);
    EXPECT_EQ(editor.FieldByName("STAGRVALPROP")->AsString(), "Salvar");
    EXPECT_TRUE(revisao::MarcaAtual(editor).revisor.isEmpty());

    TClientDataSet novo;
    novo.AddField("STAGRVALPROP", TFieldType::ftString, 100);
    novo.AddField("IDSITTRADUCAO", TFieldType::ftString, 1);
    novo.AddField("NMREVISOR", TFieldType::ftString, 64);
    novo.AddField("DTREVISAO", TFieldType::ftDateTime);
    novo.CreateDataSet();
    novo.Append();
    novo.FieldByName("STAGRVALPROP")->SetAsString("Abrir");
    novo.FieldByName("IDSITTRADUCAO")->SetAsString("T");
    novo.FieldByName("NMREVISOR")->SetAsString("ana");
    novo.FieldByName("DTREVISAO")->SetAsDateTime(46363.4444444444); // 07/12/2026 10:40
    novo.Post();
    novo.MergeChangeLog();
    editor.SetData(novo.Data());
    EXPECT_EQ(revisao::MarcaAtual(editor).revisor, "ana");
    EXPECT_EQ(revisao::MarcaAtual(editor).quando, "07/12/2026 10:40");
    EXPECT_EQ(revisao::TextoDaMarca(revisao::MarcaAtual(editor)), "Revisada por ana em 07/12/2026 10:40");
    // A declared field that is not optional is still refused when missing.
    TClientDataSet estrito;
    estrito.AddField("STAGRVALPROP", TFieldType::ftString, 100);
    estrito.AddField("NMCOMPONENTE", TFieldType::ftString, 50);
    EXPECT_ANY_THROW(estrito.SetData(antigo.Data()));
}

} // namespace
