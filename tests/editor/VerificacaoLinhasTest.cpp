// The editor's checks without a window, on a real data set: the current row
// as typed, conflicts with the loaded rows of its program (whatever order the
// grid shows them in), the index following a save, and which posts need the
// user's word.
#include "TClientDataSet.h"
#include "VerificacaoLinhas.h"

#include <gtest/gtest.h>

#include <memory>

using namespace trd;
using quality::CheckId;

namespace {

struct Linha {
    const char16_t *programa, *componente, *origem, *destino, *situacao;
};

std::unique_ptr<TClientDataSet> linhas(std::initializer_list<Linha> dados)
{
    auto ds = std::make_unique<TClientDataSet>();
    for (const char* nome : {"STAGRVALPROP", "STVALORPROP"})
        ds->AddField(QString::fromLatin1(nome), TFieldType::ftString, 4000);
    ds->AddField(QStringLiteral("IDSITTRADUCAO"), TFieldType::ftString, 1);
    ds->AddField(QStringLiteral("NMCOMPONENTE"), TFieldType::ftString, 50);
    ds->AddField(QStringLiteral("CDPROGTRAD"), TFieldType::ftString, 20);
    ds->CreateDataSet();
    for (const Linha& l : dados) {
        ds->Append();
        ds->FieldByName(QStringLiteral("CDPROGTRAD"))->SetAsString(QString::fromUtf16(l.programa));
        ds->FieldByName(QStringLiteral("NMCOMPONENTE"))->SetAsString(QString::fromUtf16(l.componente));
        ds->FieldByName(QStringLiteral("STAGRVALPROP"))->SetAsString(QString::fromUtf16(l.origem));
        ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QString::fromUtf16(l.destino));
        ds->FieldByName(QStringLiteral("IDSITTRADUCAO"))->SetAsString(QString::fromUtf16(l.situacao));
        ds->Post();
    }
    ds->MergeChangeLog();
    ds->First();
    return ds;
}

QList<CheckId> checks(const quality::Findings& f)
{
    QList<CheckId> ids;
    for (const quality::Finding& x : f)
        ids << x.check;
    return ids;
}

int linhaDe(TClientDataSet& ds, const QString& componente)
{
    for (int i = 0; i < ds.RecordCount(); ++i)
        if (ds.ValueAt(i, ds.FieldByName(QStringLiteral("NMCOMPONENTE"))->Index()).toString() == componente)
            return i;
    return -1;
}

} // namespace

TEST(VerificacaoLinhas, TheRowAsTypedWithConflictsAgainstTheLoadedRowsOfItsProgram)
{
    auto ds = linhas({
        {u"CAD001", u"sbtSair", u"&Sair", u"&Exit", u"T"},
        {u"CAD001", u"sbtEditar", u"&Editar", u"&Modify", u"T"},
        {u"CAD001", u"lblArquivo", u"Arquivo %s", u"File %s", u"D"},
        {u"CAD002", u"sbtExportar", u"&Exportar", u"&Export", u"T"},
    });
    VerificacaoLinhas v(ds.get());
    const int editar = linhaDe(*ds, QStringLiteral("sbtEditar"));
    EXPECT_TRUE(v.achados(editar).isEmpty());
    EXPECT_FALSE(v.pior(editar));

    // Typed, not yet posted: the conflict with sbtSair of the same screen, not with CAD002.
    const quality::Findings digitado = v.achados(editar, QStringLiteral("&Edit"));
    ASSERT_EQ(checks(digitado), QList<CheckId>{CheckId::ConflitoAtalho});
    EXPECT_TRUE(digitado[0].message.contains(QStringLiteral("sbtSair (\"&Exit\")")))
        << digitado[0].message.toStdString();
    EXPECT_EQ(checks(v.achados(editar, QStringLiteral("Edit %d"))),
              (QList<CheckId>{CheckId::Marcadores, CheckId::Atalho}));
    EXPECT_EQ(v.pior(linhaDe(*ds, QStringLiteral("lblArquivo"))), std::nullopt);

    // Saved with that text: the index follows, and sbtSair finds it too,
    // whatever order the grid then shows the rows in.
    ds->SetRecNo(editar + 1);
    ds->Edit();
    ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("&Edit"));
    ds->Post();
    ds->MergeChangeLog();
    v.linhaGravada(ds->CurrentIndex());
    ds->SetIndexFieldNames(QStringLiteral("STVALORPROP DESC"));
    for (const char* componente : {"sbtSair", "sbtEditar"}) {
        const int linha = linhaDe(*ds, QString::fromLatin1(componente));
        EXPECT_EQ(v.pior(linha), quality::Severity::Aviso) << componente;
        EXPECT_EQ(checks(v.achados(linha)), QList<CheckId>{CheckId::ConflitoAtalho}) << componente;
    }
    EXPECT_FALSE(v.pior(linhaDe(*ds, QStringLiteral("sbtExportar"))));

    // Reloaded (here: the rows changed under it): built again from what is loaded.
    ds->SetRecNo(linhaDe(*ds, QStringLiteral("sbtEditar")) + 1);
    ds->Edit();
    ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("&Quit"));
    ds->Post();
    ds->MergeChangeLog();
    v.linhasMudaram();
    EXPECT_FALSE(v.pior(linhaDe(*ds, QStringLiteral("sbtEditar"))));
}

TEST(VerificacaoLinhas, OnlyAnErroThePostBringsNeedsTheUsersWordOnceForThatText)
{
    auto ds = linhas({
        {u"CAD001", u"lblArquivo", u"Arquivo %s", u"File %s", u"D"},
        {u"CAD001", u"lblVelho", u"Total %d", u"Total", u"T"}, // saved with its erro long ago
    });
    VerificacaoLinhas v(ds.get());
    const int arquivo = linhaDe(*ds, QStringLiteral("lblArquivo"));
    const int velho = linhaDe(*ds, QStringLiteral("lblVelho"));

    // A warning only: no word needed.
    ds->SetRecNo(arquivo + 1);
    ds->Edit();
    ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("File %s."));
    EXPECT_TRUE(v.errosNovos(arquivo, QStringLiteral("File %s")).isEmpty());
    // The placeholder gone: asked, naming it.
    ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("File"));
    const quality::Findings novos = v.errosNovos(arquivo, QStringLiteral("File %s"));
    ASSERT_EQ(checks(novos), QList<CheckId>{CheckId::Marcadores});
    EXPECT_EQ(PerguntaGravarComErros(novos),
              QStringLiteral("Esta tradução tem erro que quebra a tela:\n\n• Falta na tradução o marcador \"%s\" da "
                             "origem.\n\nGravar assim mesmo?"));
    // Confirmed: that text of that row is not asked about again.
    v.confirmada(arquivo);
    EXPECT_TRUE(v.errosNovos(arquivo, QStringLiteral("File %s")).isEmpty());
    ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("Files"));
    EXPECT_EQ(v.errosNovos(arquivo, QStringLiteral("File %s")).size(), 1);
    ds->Cancel();

    // A row saved with its erro before: marking it, or fixing something
    // else in it, asks nothing; a new kind of erro does.
    ds->SetRecNo(velho + 1);
    ds->Edit();
    ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("Total:"));
    EXPECT_TRUE(v.errosNovos(velho, QStringLiteral("Total")).isEmpty());
    ds->FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(QStringLiteral("&Total &all"));
    EXPECT_EQ(checks(v.errosNovos(velho, QStringLiteral("Total"))), QList<CheckId>{CheckId::Atalho});
    ds->Cancel();
}
