// A made-up language of 10,000 rows a careful translator would write: no
// check may find anything in it. Then, for every check, the fault it exists
// to find seeded into a copy of it: every seeded row must be found.
#include "AmostraLinhas.h"
#include "ProgramChecks.h"
#include "RowChecks.h"
#include "ShortcutConflicts.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::quality;
using trd::test::LinhaAmostra;

namespace {

constexpr int Linhas = 10000;

// Every finding of every row, the shortcut conflicts among the rows of each
// program included, with one index of every row: the editor's way.
QList<Findings> verifica(const QList<LinhaAmostra>& linhas)
{
    ShortcutIndex atalhos;
    for (qsizetype i = 0; i < linhas.size(); ++i)
        atalhos.set(int(i), linhas[i].programa, linhas[i].componente, linhas[i].origem, linhas[i].destino);
    QList<Findings> achados(linhas.size());
    for (qsizetype i = 0; i < linhas.size(); ++i) {
        const LinhaAmostra& l = linhas[i];
        checkRow(l.origem, l.destino, l.situacao, RowOptions{}, achados[i]);
        if (auto conflito = atalhos.conflictOf(int(i), l.programa, l.origem, l.destino))
            achados[i].insert(std::find_if(achados[i].begin(), achados[i].end(),
                                           [](const Finding& f) { return f.check > CheckId::ConflitoAtalho; }),
                              *conflito);
    }
    return achados;
}

// The same, one program after another: trd-check's and the report's way.
QList<Findings> verificaPorPrograma(const QList<LinhaAmostra>& linhas)
{
    QList<Findings> achados(linhas.size());
    QList<RowTexts> programa;
    for (qsizetype i = 0; i < linhas.size();) {
        const qsizetype inicio = i;
        programa.clear();
        for (; i < linhas.size() && linhas[i].programa == linhas[inicio].programa; ++i)
            programa.append({linhas[i].componente, linhas[i].origem, linhas[i].destino, linhas[i].situacao});
        checkProgram(programa, RowOptions{},
                     [&](qsizetype linha, const Finding& f) { achados[inicio + linha].append(f); });
    }
    return achados;
}

std::string texto(const Findings& f)
{
    std::string s;
    for (const Finding& x : f)
        s += checkInfo(x.check).code.toString().toStdString() + ": " + x.message.toStdString() + "\n";
    return s;
}

} // namespace

TEST(Amostra, RowsWrittenWithCareHaveNoFinding)
{
    const QList<LinhaAmostra> linhas = test::linhasBoas(Linhas);
    ASSERT_EQ(linhas.size(), Linhas);
    const QList<Findings> achados = verifica(linhas);
    int comAchados = 0;
    for (qsizetype i = 0; i < linhas.size(); ++i) {
        if (achados[i].isEmpty())
            continue;
        if (++comAchados <= 10)
            ADD_FAILURE() << linhas[i].origem.toStdString() << "  ->  " << linhas[i].destino.toStdString() << "\n  "
                          << achados[i].front().message.toStdString();
    }
    EXPECT_EQ(comAchados, 0);

    // The traps are really there: the checks had something to step over.
    auto quantas = [&](const char16_t* trecho) {
        return std::count_if(linhas.begin(), linhas.end(),
                             [&](const LinhaAmostra& l) { return l.destino.contains(QString::fromUtf16(trecho)); });
    };
    for (const char16_t* trecho : {u"100%", u"%%", u"&&", u"http://", u"{ ", u"&amp;", u"%s", u"{0", u"\n", u"…"})
        EXPECT_GT(quantas(trecho), 20) << QString::fromUtf16(trecho).toStdString();
    EXPECT_GT(
        std::count_if(linhas.begin(), linhas.end(), [](const LinhaAmostra& l) { return l.destino.contains(u'&'); }),
        2000);
}

TEST(Amostra, EveryFaultSeededIntoACopyIsFoundByItsCheck)
{
    const QList<LinhaAmostra> boas = test::linhasBoas(Linhas);
    for (const CheckInfo& check : allChecks()) {
        if (check.id >= CheckId::TermoAusente)
            continue; // the glossary's, which need its terms (GlossaryMatchTest.cpp)
        SCOPED_TRACE(check.code.toString().toStdString());
        QList<LinhaAmostra> linhas = boas;
        QList<qsizetype> semeadas;
        // One row in seven, so that a conflict always finds its other half untouched.
        for (qsizetype i = 0; i < linhas.size(); i += 7)
            if (test::semeiaDefeito(check.id, linhas, i))
                semeadas << i;
        EXPECT_GT(semeadas.size(), check.id == CheckId::ConflitoAtalho ? 100 : 1000);
        const QList<Findings> achados = verifica(linhas);
        // Both ways of holding the rows find the same, message for message.
        const QList<Findings> porPrograma = verificaPorPrograma(linhas);
        int diferentes = 0;
        for (qsizetype i = 0; i < linhas.size(); ++i)
            if (texto(achados[i]) != texto(porPrograma[i]) && ++diferentes <= 3)
                ADD_FAILURE() << texto(achados[i]) << "  against  " << texto(porPrograma[i]);
        EXPECT_EQ(diferentes, 0);
        int perdidas = 0;
        for (qsizetype i : semeadas) {
            const bool achou = std::any_of(achados[i].begin(), achados[i].end(),
                                           [&](const Finding& f) { return f.check == check.id; });
            if (!achou && ++perdidas <= 5)
                ADD_FAILURE() << "not found: " << boas[i].destino.toStdString() << "  ->  "
                              << linhas[i].destino.toStdString();
        }
        EXPECT_EQ(perdidas, 0);
    }
}
