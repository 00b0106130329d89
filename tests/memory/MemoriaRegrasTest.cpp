// The memory's rules in the editor that need no window: the text a
// suggestion puts into a cell, how the rows of a source stand against a new
// translation, and the one delta that applies it to chosen rows.
#include "MemoriaRegras.h"
#include "TClientDataSet.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::memoria;

namespace {

// GetMesmaOrigem's answer: the translation row packet.
QByteArray pacote(const std::vector<LinhaMesmaOrigem>& linhas)
{
    TClientDataSet ds;
    ds.AddField(QStringLiteral("STAGRVALPROP"), TFieldType::ftString, 4000);
    ds.AddField(QStringLiteral("STVALORPROP"), TFieldType::ftString, 4000);
    ds.AddField(QStringLiteral("IDSITTRADUCAO"), TFieldType::ftString, 1);
    ds.AddField(QStringLiteral("IDIDIOMA"), TFieldType::ftString, 3);
    ds.AddField(QStringLiteral("NMCOMPONENTE"), TFieldType::ftString, 50);
    ds.AddField(QStringLiteral("CDPROGTRAD"), TFieldType::ftString, 20);
    ds.Open();
    for (const LinhaMesmaOrigem& l : linhas) {
        ds.Append();
        ds.FieldByName(QStringLiteral("STAGRVALPROP"))->SetAsString(l.origem);
        ds.FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(l.traducao);
        ds.FieldByName(QStringLiteral("IDSITTRADUCAO"))->SetAsString(l.situacao);
        ds.FieldByName(QStringLiteral("IDIDIOMA"))->SetAsString(QStringLiteral("ENG"));
        ds.FieldByName(QStringLiteral("NMCOMPONENTE"))->SetAsString(l.componente);
        ds.FieldByName(QStringLiteral("CDPROGTRAD"))->SetAsString(l.programa);
        ds.Post();
    }
    ds.MergeChangeLog();
    return ds.Data();
}

const std::vector<LinhaMesmaOrigem> Linhas = {
    {"P1", "a", "&Salvar", "", "N"}, // not translated: no text
    {"P2", "b", "Salvar", "Salvar", "N"}, // not translated: status N, whatever the text
    {"P3", "c", "Salvar", "&Save", "T"}, // agrees, the shortcut mark aside
    {"P4", "d", "Sal&var", "Store", "D"}, // differs
    {"P5", "e", "Salvar", "save", "T"}, // differs: case counts
};

} // namespace

TEST(MemoriaRegras, TheTextPutIntoTheCellKeepsAShortcutOnlyWhereTheSourceHasOne)
{
    EXPECT_EQ(TextoParaCelula("&Salvar", "&Save"), "&Save");
    EXPECT_EQ(TextoParaCelula("Salvar", "&Save"), "Save");
    EXPECT_EQ(TextoParaCelula("Salvar", "Save && Exit"), "Save & Exit");
    EXPECT_EQ(TextoParaCelula("Salvar && Sair", "Save && E&xit"), "Save && E&xit");
    EXPECT_EQ(TextoParaCelula("&Salvar", "Save"), "Save");
}

TEST(MemoriaRegras, AQuotedTextIsOneLineAndCutWithAMark)
{
    EXPECT_EQ(Citado("Salvar"), "Salvar");
    EXPECT_EQ(Citado("Linha 1\nLinha 2"), QString::fromUtf8("Linha 1\u21B5Linha 2"));
    const QString longo(4000, u'a');
    EXPECT_EQ(Citado(longo, 60).size(), 60);
    EXPECT_TRUE(Citado(longo, 60).endsWith(QChar(0x2026)));
    EXPECT_EQ(Citado(QString(60, u'a'), 60), QString(60, u'a'));
}

TEST(MemoriaRegras, RowsOfTheSourceCountedAgainstTheNewTranslation)
{
    const Contagem c = Conta(Linhas, "Save");
    EXPECT_EQ(c.naoTraduzidas, 2);
    EXPECT_EQ(c.iguais, 1);
    EXPECT_EQ(c.diferentes, 2);
    EXPECT_TRUE(HaOQueAplicar(c));
    EXPECT_EQ(TextoDoAviso(c), "Outras 5 linhas têm a mesma origem: 2 não traduzidas, 1 igual, 2 diferentes.");
    EXPECT_EQ(TextoDoAviso({0, 1, 0}), "Outra linha tem a mesma origem: 0 não traduzidas, 1 igual, 0 diferentes.");
    EXPECT_FALSE(HaOQueAplicar({0, 3, 0}));
    EXPECT_EQ(LinhasParaUniformizar(Linhas, "Save"), (std::vector<int>{3, 4}));

    // Only a changed text that is now a translation asks about the others.
    EXPECT_TRUE(PedePropagacao("Salvar", "Save", "T"));
    EXPECT_TRUE(PedePropagacao("", "Save", "D"));
    EXPECT_FALSE(PedePropagacao("Save", "Save", "T")); // a status change only
    EXPECT_FALSE(PedePropagacao("Save", "Store", "N"));
    EXPECT_FALSE(PedePropagacao("Save", "", "T"));
}

TEST(MemoriaRegras, OneDeltaChangesExactlyTheChosenRowsWithTheirOriginalsForTheCheck)
{
    TClientDataSet linhas;
    linhas.SetData(pacote(Linhas));
    const QByteArray delta = DeltaDeAplicacao(linhas, {0, 1, 3}, "&Save", "T");
    ASSERT_FALSE(delta.isEmpty());
    EXPECT_EQ(linhas.ChangeCount(), 3);

    TClientDataSet lido;
    lido.SetData(delta);
    std::vector<std::pair<QString, QString>> visto; // (original or new text, row state)
    for (lido.First(); !lido.Eof(); lido.Next())
        visto.emplace_back(lido.FieldByName(QStringLiteral("CDPROGTRAD"))->AsString(),
                           lido.FieldByName(QStringLiteral("STVALORPROP"))->AsString());
    // Each changed row travels as its original (key and old values, for the
    // server's check) followed by the new values.
    ASSERT_EQ(visto.size(), 6u);
    EXPECT_EQ(visto[0], std::make_pair(QString("P1"), QString("")));
    EXPECT_EQ(visto[1].second, "&Save"); // the source has a mark: kept
    EXPECT_EQ(visto[2], std::make_pair(QString("P2"), QString("Salvar")));
    EXPECT_EQ(visto[3].second, "Save"); // no mark in the source: none in the text
    EXPECT_EQ(visto[4], std::make_pair(QString("P4"), QString("Store")));
    EXPECT_EQ(visto[5].second, "&Save");

    // A row that already holds the text (as its source has it) and the
    // status is not written: no delta at all.
    TClientDataSet iguais;
    iguais.SetData(pacote({{"P3", "c", "Salvar", "Save", "T"}}));
    EXPECT_TRUE(DeltaDeAplicacao(iguais, {0}, "&Save", "T").isEmpty());
}

TEST(MemoriaRegras, WhatTheAnswerAboutTheSourcesRowsLeadsToAndWhatItSays)
{
    EXPECT_EQ(NaoTraduzidas(Linhas, QStringLiteral("Save")), (std::vector<int>{0, 1}));
    EXPECT_TRUE(NaoTraduzidas({Linhas[2], Linhas[3]}, QStringLiteral("Save")).empty());

    struct Caso {
        const char* porque;
        bool sempre;
        Contagem contagem;
        Resposta resposta;
    };
    const Caso casos[] = {
        {"only rows that agree: nothing to offer", true, {0, 2, 0}, Resposta::Nada},
        {"nothing at all", false, {0, 0, 0}, Resposta::Nada},
        {"the user decides unless told always", false, {2, 0, 1}, Resposta::Pergunta},
        {"always, but no untranslated row: the differing ones are asked about", true, {0, 1, 1}, Resposta::Pergunta},
        {"always, untranslated rows only: saved and said, no question", true, {3, 1, 0}, Resposta::Aplica},
        {"always, and rows that differ stay the user's", true, {1, 0, 2}, Resposta::AplicaEPergunta},
    };
    for (const Caso& c : casos)
        EXPECT_EQ(RespostaAMesmaOrigem(c.sempre, c.contagem), c.resposta) << c.porque;

    EXPECT_TRUE(AdiaResposta(true, true)) << "typing is never posted by anyone but the user";
    EXPECT_FALSE(AdiaResposta(true, false));
    EXPECT_FALSE(AdiaResposta(false, true)) << "a question takes nothing from the row being typed";

    EXPECT_EQ(TextoAplicadaSozinha(1),
              QStringLiteral("A tradução foi gravada também em 1 linha não traduzida de mesma origem."));
    EXPECT_EQ(TextoAplicadaSozinha(3),
              QStringLiteral("A tradução foi gravada também em 3 linhas não traduzidas de mesma origem."));
}
