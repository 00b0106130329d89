#include "FilterFragment.h"
#include "RpcError.h"

#include <gtest/gtest.h>

using namespace trd::server;

namespace {

FilterCondition cond(FilterColumn column, bool upper, FilterOperator op, std::string literal)
{
    return FilterCondition{column, upper, op, std::move(literal)};
}

std::string refusal(std::string_view fragment)
{
    try {
        parseFilterFragment(fragment);
    } catch (const ServerError& e) {
        EXPECT_EQ(rpc::codeFor(e.kind()), rpc::InvalidParams);
        return e.userMessage();
    }
    return {};
}

} // namespace

TEST(FilterFragment, ReadsEveryPieceTheFilterDialogWrites)
{
    EXPECT_TRUE(parseFilterFragment("").empty());
    EXPECT_TRUE(parseFilterFragment(" ").empty());

    // Words in the destination text by "Parte", a contained program and a component.
    const auto all = parseFilterFragment(
        "AND UPPER(STVALORPROP) LIKE '%W%' AND CDPROGTRAD LIKE '%P%' AND UPPER(NMCOMPONENTE) LIKE 'N'");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], cond(FilterColumn::DestinationText, true, FilterOperator::Like, "%W%"));
    EXPECT_EQ(all[1], cond(FilterColumn::Program, false, FilterOperator::Like, "%P%"));
    EXPECT_EQ(all[2], cond(FilterColumn::Component, true, FilterOperator::Like, "N"));

    // Only an exact program: one leading blank.
    EXPECT_EQ(parseFilterFragment(" AND CDPROGTRAD = 'TRD09300'"),
              std::vector{cond(FilterColumn::Program, false, FilterOperator::Equal, "TRD09300")});
    // "Idêntico" and "Prefixo" on the source text.
    EXPECT_EQ(parseFilterFragment("AND UPPER(STAGRVALPROP) = 'AÇÃO'"),
              std::vector{cond(FilterColumn::SourceText, true, FilterOperator::Equal, "AÇÃO")});
    EXPECT_EQ(parseFilterFragment("AND UPPER(STAGRVALPROP) LIKE 'CAD%'"),
              std::vector{cond(FilterColumn::SourceText, true, FilterOperator::Like, "CAD%")});
}

TEST(FilterFragment, LiteralsKeepDoubledQuotesAndAnythingInsideThem)
{
    EXPECT_EQ(parseFilterFragment("AND UPPER(STVALORPROP) LIKE '%D''ÁGUA%'")[0].literal, "%D'ÁGUA%");
    EXPECT_EQ(parseFilterFragment("AND STVALORPROP = ''")[0].literal, "");
    EXPECT_EQ(parseFilterFragment("AND STVALORPROP = ''''")[0].literal, "'");
    // SQL inside a literal is only text to compare.
    EXPECT_EQ(parseFilterFragment("AND CDPROGTRAD = 'X''; DROP TABLE TRADUCAO; --'")[0].literal,
              "X'; DROP TABLE TRADUCAO; --");
}

TEST(FilterFragment, RefusesInjectionAttemptsWithAPortugueseMessage)
{
    const char* attempts[] = {
        " AND CDPROGTRAD = 'X'; DROP TABLE TRADUCAO",
        " AND CDPROGTRAD = 'X' -- comentário",
        " AND CDPROGTRAD = 'X' OR 1=1",
        " AND CDPROGTRAD = 'X' OR '1'='1'",
        " AND CDPROGTRAD = 'X", // unbalanced quote
        " AND CDPROGTRAD = (SELECT CDPROGTRAD FROM TRADUCAO)",
        " AND CDPROGTRAD IN (SELECT CDPROGTRAD FROM TRADUCAO)",
        " AND UPPER((SELECT 1)) = '1'",
        " AND IDIDIOMA = 'ENG'", // not a filter column
        " AND STVALORPROPX = 'A'",
        " AND CDPROGTRAD = 1",
        " OR CDPROGTRAD = 'X'",
        "WHERE 1=1",
        " and CDPROGTRAD = 'X'", // keywords as the dialog writes them
        " AND LOWER(CDPROGTRAD) = 'x'",
        " AND CDPROGTRAD = 'A'AND CDPROGTRAD = 'B'", // conditions run together
        " AND CDPROGTRAD <> 'A'",
        "AND",
        " AND CDPROGTRAD =",
    };
    for (const char* attempt : attempts) {
        const std::string message = refusal(attempt);
        EXPECT_EQ(message.rfind("Filtro inválido", 0), 0u) << attempt << " -> " << message;
    }
}

TEST(FilterFragment, MessageSaysWhereAndWhat)
{
    EXPECT_EQ(refusal(" AND CDPROGTRAD = 'X' OR 1=1"),
              "Filtro inválido na posição 23: esperado AND, encontrado \"OR 1=1\".");
    EXPECT_NE(refusal(" AND CDPROGTRAD = 'X").find("aspas simples de fechamento"), std::string::npos);
}

TEST(FilterFragment, RefusesHugeFragmentsAndTooManyConditions)
{
    std::string many;
    for (int i = 0; i < 33; ++i)
        many += " AND CDPROGTRAD = 'X'";
    EXPECT_NE(refusal(many).find("no máximo 8"), std::string::npos);
    EXPECT_FALSE(refusal(" AND CDPROGTRAD = '" + std::string(70000, 'A') + "'").empty());
}

TEST(FilterFragment, TheReviewConditionTakesOnlySOrNWithEquals)
{
    EXPECT_EQ(parseFilterFragment(" AND REVISADO = 'S' AND CDPROGTRAD = 'X'"),
              (std::vector<FilterCondition>{cond(FilterColumn::Reviewed, false, FilterOperator::Equal, "S"),
                                            cond(FilterColumn::Program, false, FilterOperator::Equal, "X")}));
    EXPECT_EQ(parseFilterFragment("AND REVISADO = 'N'").at(0).literal, "N");
    for (const char* bad : {"AND REVISADO = 'X'", "AND REVISADO LIKE 'S'", "AND UPPER(REVISADO) = 'S'",
                            "AND REVISADO = 's'", "AND REVISADOS = 'S'", "AND REVISADO='S'"})
        EXPECT_NE(refusal(bad).rfind("Filtro inválido", 0), std::string::npos) << bad;
}
