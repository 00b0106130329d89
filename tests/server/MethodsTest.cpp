// The methods of rdmTraducao in process: answers, field layouts, status and
// date rules, filter conditions, listed rows, statistics.
#include "ServerTestKit.h"
#include "Utf8Text.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace trd::server::test;

namespace {

std::vector<std::string> sources(const std::vector<Row>& rows)
{
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r.at("STAGRVALPROP"));
    return out;
}

using Strings = std::vector<std::string>;

class Methods : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.seed({
            {"ENG", "TRD09300", "lblCodTela", "Código da Tela", "Screen Code", "T"},
            {"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "D"},
            {"ENG", "TRD09301", "lblNome", "Município", "Município", "N"},
            {"ENG", "CAD01001", "msgPadrao.Gravado", "Registro gravado.\nDeseja incluir outro?",
             "Record saved.\nAdd another?", "T"},
            {"ESP", "TRD09300", "lblCodTela", "Código da Tela", "Código de Pantalla", "T"},
        });
    }
    Answer filter(const std::string& fragment, const std::string& statuses = "\"T\",\"D\",\"N\"")
    {
        return server.call("GetFiltroDest", statuses + "," + json(fragment) + ",\"ENG\",0,0,\"\"");
    }
    InProcessServer server;
};

} // namespace

TEST_F(Methods, GetIdiTradAnswersTheLanguagesWithTheirFieldSizes)
{
    const Answer a = server.call("GetIdiTrad", "");
    ASSERT_TRUE(a.ok) << a.message;
    ASSERT_EQ(a.fields.size(), 3u);
    EXPECT_EQ(a.fields[0].name, "IDIDIOMA");
    EXPECT_EQ(a.fields[0].width, 3);
    EXPECT_EQ(a.fields[1].name, "DSIDIOMA");
    EXPECT_EQ(a.fields[1].width, 30);
    EXPECT_EQ(a.fields[2].name, "IDIPROP");
    ASSERT_EQ(a.rows.size(), 2u);
    EXPECT_EQ(a.rows[0].at("IDIDIOMA"), "ENG");
    EXPECT_EQ(a.rows[0].at("DSIDIOMA"), "Inglês");
    EXPECT_EQ(a.rows[1].at("IDIDIOMA"), "ESP");
}

TEST_F(Methods, GetDestinoAnswersTheTranslationRowInTheClientsFieldOrder)
{
    const Answer a = server.call("GetDestino", "\"T\",\"D\",\"N\",\"ENG\",{\"date\":0},{\"date\":0},\"\"");
    ASSERT_TRUE(a.ok) << a.message;
    const std::vector<std::pair<std::string, int>> expected = {
        {"STAGRVALPROP", 4000}, {"STVALORPROP", 4000}, {"IDSITTRADUCAO", 1}, {"IDIDIOMA", 3},
        {"NMCOMPONENTE", 50},   {"CDPROGTRAD", 20},    {"NMREVISOR", 64}};
    // The review mark after the six fields the editor declares.
    ASSERT_EQ(a.fields.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(a.fields[i].name, expected[i].first);
        EXPECT_EQ(a.fields[i].type, "string");
        EXPECT_EQ(a.fields[i].width, expected[i].second);
    }
    EXPECT_EQ(a.fields.back().name, "DTREVISAO");
    EXPECT_EQ(a.fields.back().type, "dateTime");
    EXPECT_EQ(a.rows[0].at("NMREVISOR"), "");
    EXPECT_EQ(a.rows[0].count("DTREVISAO"), 0u);
    // Every row of the language, ordered by program, component, source; texts intact.
    EXPECT_EQ(sources(a.rows),
              (Strings{"Registro gravado.\nDeseja incluir outro?", "Código da Tela", "&Salvar", "Município"}));
    EXPECT_EQ(a.rows[0].at("STVALORPROP"), "Record saved.\nAdd another?");
    EXPECT_EQ(a.rows[2].at("IDSITTRADUCAO"), "D");
    EXPECT_EQ(a.rows[2].at("NMCOMPONENTE"), "sbtSalvar");
    EXPECT_EQ(a.rows[2].at("CDPROGTRAD"), "TRD09300");
    EXPECT_EQ(a.rows[2].at("IDIDIOMA"), "ENG");
}

TEST_F(Methods, StatusArgumentsListTheStatusesWantedAndXMatchesNothing)
{
    auto statuses = [&](const std::string& args) {
        Strings out;
        for (const auto& r : server.call("GetDestino", args + ",\"ENG\",0,0,\"\"").rows)
            out.push_back(r.at("IDSITTRADUCAO"));
        return out;
    };
    EXPECT_EQ(statuses("\"T\",\"X\",\"X\""), (Strings{"T", "T"}));
    EXPECT_EQ(statuses("\"X\",\"D\",\"N\""), (Strings{"D", "N"}));
    EXPECT_TRUE(statuses("\"X\",\"X\",\"X\"").empty());
    EXPECT_EQ(filter("", "\"X\",\"X\",\"N\"").rows.size(), 1u);
}

TEST(MethodsDates, ModeNBoundsByWholeDaysZeroOpensASideAndTIgnoresDates)
{
    InProcessServer server;
    const double day = 46000; // the first date of the range
    server.seedAt({"ENG", "P", "c", "day before, late", "x", "T"}, day - 0.0001);
    server.seedAt({"ENG", "P", "c", "first day, midnight", "x", "T"}, day);
    server.seedAt({"ENG", "P", "c", "last day, 23:59", "x", "T"}, day + 2 + 0.9999);
    server.seedAt({"ENG", "P", "c", "day after, midnight", "x", "T"}, day + 3);
    auto load = [&](double d1, double d2, const std::string& mode) {
        Strings out;
        // Dates with a time of day bound by their whole days.
        for (const auto& r :
             server.call("GetDestino", "\"T\",\"D\",\"N\",\"ENG\"," + date(d1) + "," + date(d2) + "," + json(mode))
                 .rows)
            out.push_back(r.at("STAGRVALPROP"));
        std::sort(out.begin(), out.end());
        return out;
    };
    const Strings inside{"first day, midnight", "last day, 23:59"};
    EXPECT_EQ(load(day + 0.5, day + 2.25, "N"), inside);
    EXPECT_EQ(load(day, day + 2, ""), inside);
    EXPECT_EQ(load(day, day, "N"), Strings{"first day, midnight"});
    EXPECT_EQ(load(0, day + 2, "N"), (Strings{"day before, late", "first day, midnight", "last day, 23:59"}));
    EXPECT_EQ(load(day, 0, ""), (Strings{"day after, midnight", "first day, midnight", "last day, 23:59"}));
    EXPECT_EQ(load(0, 0, "").size(), 4u);
    EXPECT_EQ(load(day, day, "T").size(), 4u);
    EXPECT_TRUE(load(day + 2, day, "N").empty());

    // The same bounds for the counts and the statistics rows.
    auto count = [&](const std::string& args) { return server.call("GetCalcTrad", args).rows.at(0).at("STVALORPROP"); };
    EXPECT_EQ(count("\"ENG\"," + date(day) + "," + date(day + 2) + ",\"T\",\"\""), "2");
    EXPECT_EQ(count("\"ENG\",0,0,\"T\",\"T\""), "4");
    EXPECT_EQ(server.call("GetInfoTrad", "\"ENG\"," + date(day) + "," + date(day + 2)).rows.size(), 2u);
}

TEST_F(Methods, FilterConditionsFoldMatchAndCompareAsTheFragmentSays)
{
    // Words in the destination text, folded: "&Save" and "Record saved...".
    EXPECT_EQ(sources(filter("AND UPPER(STVALORPROP) LIKE '%SAV%'").rows),
              (Strings{"Registro gravado.\nDeseja incluir outro?", "&Salvar"}));
    // Accented letters fold too.
    EXPECT_EQ(sources(filter("AND UPPER(STAGRVALPROP) LIKE 'MUNICÍPIO'").rows), Strings{"Município"});
    // Without UPPER the comparison is case-sensitive.
    EXPECT_TRUE(filter("AND STAGRVALPROP LIKE 'MUNIC%'").rows.empty());
    EXPECT_EQ(filter("AND STAGRVALPROP LIKE 'Munic%'").rows.size(), 1u);
    // Program: contained or exact; component exact unless wildcards are typed.
    EXPECT_EQ(filter(" AND CDPROGTRAD LIKE '%0930%'").rows.size(), 3u);
    EXPECT_EQ(filter(" AND CDPROGTRAD = 'TRD09301'").rows.size(), 1u);
    EXPECT_EQ(filter(" AND UPPER(NMCOMPONENTE) LIKE 'LBLCODTELA'").rows.size(), 1u);
    EXPECT_EQ(filter(" AND UPPER(NMCOMPONENTE) LIKE 'LBL%'").rows.size(), 2u);
    EXPECT_EQ(filter(" AND UPPER(NMCOMPONENTE) LIKE 'LBLNOM_'").rows.size(), 1u);
    // Conditions combine with the statuses.
    EXPECT_EQ(filter(" AND CDPROGTRAD LIKE '%TRD%'", "\"T\",\"X\",\"X\"").rows.size(), 1u);
    // `=` takes % literally.
    EXPECT_TRUE(filter("AND UPPER(STVALORPROP) = '%SAVE%'").rows.empty());
    EXPECT_EQ(filter("AND UPPER(STVALORPROP) = '&SAVE'").rows.size(), 1u);
}

TEST_F(Methods, GetCdsFilterAnswersTheListedRowsOfTheKindsAsked)
{
    const std::string file = listedRowsPacket({
        {"TRD09300", "sbtSalvar", std::string("&Salvar"), "E", {}},
        {"TRD09301", "lblNome", {}, "N", std::string("ENG")}, // the whole component
        {"TRD09300", "lblCodTela", std::string("Código da Tela"), "N", std::string("ESP")}, // another language
        {"TRD09300", "sbtSalvar", std::string("&Salvar"), "N", {}}, // listed twice: answered once
        {"NAOEXISTE", "x", std::string("y"), "E", {}},
        {"TRD09300", "lblCodTela", std::string("Código da Tela"), "Q", std::string("ENG")}, // a check's finding
    });
    auto listed = [&](const std::string& kind) {
        const Answer a = server.call("GetCDSFilter", "\"ENG\"," + json(file) + "," + json(kind));
        EXPECT_TRUE(a.ok) << a.message;
        return sources(a.rows);
    };
    EXPECT_EQ(listed("1"), Strings{"&Salvar"});
    EXPECT_EQ(listed("2"), (Strings{"&Salvar", "Município"}));
    EXPECT_EQ(listed("3"), (Strings{"&Salvar", "Município"}));
    // Bit 4 adds the other checks' findings; the first three kinds keep what they answered.
    EXPECT_EQ(listed("4"), Strings{"Código da Tela"});
    EXPECT_EQ(listed("5"), (Strings{"Código da Tela", "&Salvar"}));
    EXPECT_EQ(listed("7"), (Strings{"Código da Tela", "&Salvar", "Município"}));

    for (const char* kind : {"8", "0", "x", ""}) {
        const Answer bad = server.call("GetCDSFilter", "\"ENG\"," + json(file) + "," + json(kind));
        EXPECT_EQ(bad.message, "Tipo de listagem inválido: \"" + std::string(kind) + "\". Use de 1 a 7.");
    }
    const Answer unknownType =
        server.call("GetCDSFilter", "\"ENG\"," + json(listedRowsPacket({{"TRD09300", "x", {}, "X", {}}})) + ",\"7\"");
    EXPECT_EQ(unknownType.message, "Arquivo de itens listados inválido: TPLISTA \"X\" na linha 1 (use E, N ou Q).");
    const Answer noKind = server.call("GetCDSFilter", "\"ENG\"," + json(DeltaBuilder().xml()) + ",\"3\"");
    EXPECT_EQ(noKind.message, "Arquivo de itens listados inválido: falta o campo TPLISTA.");
    const Answer garbage = server.call("GetCDSFilter", "\"ENG\",\"<DATAPACKET\",\"3\"");
    EXPECT_FALSE(garbage.ok);
    EXPECT_EQ(garbage.message.rfind("Arquivo de itens listados inválido", 0), 0u);
}

TEST_F(Methods, GetInfoTradSendsLongTextsInPiecesThatFitTheDialogField)
{
    std::string longText;
    for (int i = 0; i < 60; ++i)
        longText += "ação-"; // 300 characters, 4 counted each (ç and ã count, the hyphen does not)
    server.seed({{"ENG", "X", "long", "source", longText, "D"}});
    const Answer a = server.call("GetInfoTrad", "\"ENG\"");
    ASSERT_TRUE(a.ok) << a.message;
    ASSERT_EQ(a.fields.size(), 2u);
    EXPECT_EQ(a.fields[0].name, "IDSITTRADUCAO");
    EXPECT_EQ(a.fields[1].name, "STVALORPROP");
    EXPECT_EQ(a.fields[1].width, 250);
    std::string joined;
    std::size_t counted = 0;
    int pieces = 0;
    for (const auto& r : a.rows) {
        EXPECT_LE(trd::server::utf8::length(r.at("STVALORPROP")), 250u);
        counted += trd::server::utf8::countedLength(r.at("STVALORPROP"));
        if (r.at("IDSITTRADUCAO") == "D") {
            joined += r.at("STVALORPROP");
            ++pieces;
        }
    }
    EXPECT_EQ(pieces, 3); // "&Save" plus two pieces of the long text
    EXPECT_EQ(joined, "&Save" + longText);
    EXPECT_EQ(a.rows.size(), 6u);
    EXPECT_EQ(counted, 240u + trd::server::utf8::countedLength("&SaveScreen CodeMunicípioRecord saved.\nAdd another?"));
}

TEST_F(Methods, GetCalcTradCountsOneStatusInAFloatField)
{
    const Answer a = server.call("GetCalcTrad", "\"ENG\",0,0,\"T\",\"T\"");
    ASSERT_TRUE(a.ok) << a.message;
    ASSERT_EQ(a.fields.size(), 1u);
    EXPECT_EQ(a.fields[0].name, "STVALORPROP");
    EXPECT_EQ(a.fields[0].type, "r8");
    EXPECT_EQ(a.rows.at(0).at("STVALORPROP"), "2");
    EXPECT_EQ(server.call("GetCalcTrad", "\"ENG\",0,0,\"N\",\"T\"").rows.at(0).at("STVALORPROP"), "1");
    EXPECT_EQ(server.call("GetCalcTrad", "\"ENG\",0,0,\"X\",\"T\"").rows.at(0).at("STVALORPROP"), "0");
    EXPECT_EQ(server.call("GetCalcTrad", "\"XYZ\",0,0,\"T\",\"T\"").rows.at(0).at("STVALORPROP"), "0");
}

TEST_F(Methods, ReportDataSetsSummariseEachStatusOfTheLanguage)
{
    const Answer t = server.call("GetCalcTrad", "\"ENG\"");
    const Answer n = server.call("GetCalcNtrad", "\"ENG\"");
    const Answer d = server.call("GetCalcDuv", "\"ENG\"");
    ASSERT_TRUE(t.ok && n.ok && d.ok);
    EXPECT_EQ(t.rows.at(0).at("IDSITTRADUCAO"), "T");
    EXPECT_EQ(t.rows.at(0).at("DSIDIOMA"), "Inglês");
    EXPECT_EQ(t.rows.at(0).at("STVALORPROP"), "2");
    EXPECT_EQ(t.rows.at(0).at("NRTOTAL"), "4");
    EXPECT_EQ(t.rows.at(0).at("PCLINHAS"), "50");
    EXPECT_EQ(t.rows.at(0).at("NRCARACTER"),
              std::to_string(trd::server::utf8::countedLength("Screen CodeRecord saved.\nAdd another?")));
    EXPECT_EQ(n.rows.at(0).at("IDSITTRADUCAO"), "N");
    EXPECT_EQ(n.rows.at(0).at("STVALORPROP"), "1");
    EXPECT_EQ(d.rows.at(0).at("STVALORPROP"), "1");
    EXPECT_EQ(d.rows.at(0).count("DTULTALT"), 1u);
    const Answer none = server.call("GetCalcDuv", "\"ESP\"");
    EXPECT_EQ(none.rows.at(0).at("STVALORPROP"), "0");
    EXPECT_EQ(none.rows.at(0).count("DTULTALT"), 0u);
    // The report's rows: every row of the language.
    EXPECT_EQ(server.call("GetInfoTrad", "\"ESP\"").rows.size(), 1u);
}
