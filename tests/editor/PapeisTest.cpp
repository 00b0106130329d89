// The user's roles as GetPapeis tells them and what they leave the editor's
// controls: a language's role is the higher of its own and the one of every
// language, a leitor's controls are all off with the reason, a tradutor's
// status buttons go off only on a reviewed row where review is required, an
// answer that is none changes nothing; the filter's review condition.
#include "FiltroCriterios.h"
#include "Papeis.h"
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
        ds.FieldByName("FLREVPROPRIA")->SetAsString("N");
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
    // A reviewed row where review is required: the status buttons say why; the cell stays open.
    const Restricoes naRevisada = RestricoesDoEditor(p, "ENG", revisada);
    EXPECT_TRUE(naRevisada.celula.isEmpty());
    EXPECT_EQ(naRevisada.situacoes, "Esta tradução foi revisada por rita em 07/12/2026 10:40 e o idioma ENG exige "
                                    "revisão: só um revisor pode alterá-la.");
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

} // namespace
