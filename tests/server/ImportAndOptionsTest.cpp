// Seeding from TSV (escapes, change dates, all-or-nothing) and the command line.
#include "ServerOptions.h"
#include "ServerTestKit.h"
#include "TsvImport.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace trd::server;
using namespace trd::server::test;

TEST(TsvImport, ReadsEscapesAndChangeDatesAndReplacesExistingRows)
{
    InProcessServer server;
    std::istringstream in("# comentário\n"
                          "L\tFRA\tFrancês\tPOR\r\n"
                          "\n"
                          "R\tFRA\tTRD09300\tmsg\tLinha 1\\nLinha 2\\tfim\\\\\tLigne 1\\nLigne 2\tT\t2025-03-01\n"
                          "R\tFRA\tTRD09300\tmsg\tLinha 1\\nLinha 2\\tfim\\\\\tLigne\tD\t45717.5\n");
    const ImportCounts counts = importTsv(in, server.context().writer());
    EXPECT_EQ(counts.languages, 1u);
    EXPECT_EQ(counts.rows, 2u);
    const auto rows = allRows(server, "FRA");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("STAGRVALPROP"), "Linha 1\nLinha 2\tfim\\");
    EXPECT_EQ(rows[0].at("STVALORPROP"), "Ligne");
    EXPECT_EQ(rows[0].at("IDSITTRADUCAO"), "D");
    // 45717 is 2025-03-01: the second line's date replaced the first's.
    EXPECT_EQ(server.call("GetDestino", "\"T\",\"D\",\"N\",\"FRA\"," + date(45717) + "," + date(45717) + ",\"N\"")
                  .rows.size(),
              1u);
}

TEST(TsvImport, AFaultyLineStopsTheImportWithNothingImported)
{
    InProcessServer server;
    std::istringstream in("L\tFRA\tFrancês\tPOR\n"
                          "R\tFRA\tP\tc\tok\tok\tT\n"
                          "R\tFRA\tP\tc2\tsource\tdest\tQ\n");
    try {
        importTsv(in, server.context().writer());
        FAIL() << "accepted a bad status";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "linha 3: situação inválida: Q");
    }
    EXPECT_TRUE(allRows(server, "FRA").empty());
    std::istringstream unknownLanguage("R\tXYZ\tP\tc\ts\td\tT\n");
    EXPECT_THROW(importTsv(unknownLanguage, server.context().writer()), std::exception);
}

TEST(TsvImport, ALanguageThatHasRowsIsNotOverwrittenAndTheReleasePathIsNamed)
{
    InProcessServer server;
    server.seed({{"ENG", "TRD09300", "sbtSalvar", "Salvar", "Save", "T"}});
    // A release's sources with empty destinations would blank ENG.
    std::istringstream in("L\tFRA\tFrancês\tPOR\n"
                          "R\tFRA\tTRD09300\tsbtSalvar\tSalvar\tEnregistrer\tT\n"
                          "R\tENG\tTRD09300\tsbtSalvar\tSalvar\t\tN\n");
    try {
        importTsv(in, server.context().writer());
        FAIL() << "overwrote ENG";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("o idioma ENG já tem 1 linha(s)"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("trd-exchange release"), std::string::npos) << e.what();
    }
    ASSERT_EQ(allRows(server, "ENG").size(), 1u);
    EXPECT_EQ(allRows(server, "ENG")[0].at("STVALORPROP"), "Save");
    EXPECT_TRUE(allRows(server, "FRA").empty());
}

TEST(TsvImport, LanguageCodesOfOtherThanThreeCharactersAreRefusedByName)
{
    InProcessServer server;
    for (const char* line : {"L\tEN\tInglês\tPOR\n", "L\tENGL\tInglês\tPOR\n", "R\tEN\tP\tc\ts\td\tT\n"}) {
        std::istringstream in(line);
        try {
            importTsv(in, server.context().writer());
            ADD_FAILURE() << "accepted " << line;
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find("deve ter exatamente 3 caracteres"), std::string::npos) << e.what();
        }
    }
    std::istringstream ok("L\tFRA\tFrancês\tPOR\n");
    EXPECT_EQ(importTsv(ok, server.context().writer()).languages, 1u);
}

TEST(ServerOptions, ParsesTheCommandLineAndRefusesNonsense)
{
    std::string error;
    auto o = parseServerOptions({"--db", "x.db"}, error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->host, "127.0.0.1");
    EXPECT_EQ(o->port, 8211);
    EXPECT_EQ(o->maxBody, 256u << 20);
    o = parseServerOptions({"--db", "x.db", "--listen", "0.0.0.0:0", "--threads", "4", "--demo", "--max-body", "2"},
                           error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->host, "0.0.0.0");
    EXPECT_EQ(o->port, 0);
    EXPECT_EQ(o->threads, 4);
    EXPECT_TRUE(o->demo);
    EXPECT_EQ(o->maxBody, 2u << 20);
    o = parseServerOptions({"--db", "x.db", "--listen", "[::1]:8212"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->host, "::1");
    EXPECT_EQ(o->port, 8212);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{},
                                               {"--db"},
                                               {"--db", "x", "--listen", "8211"},
                                               {"--db", "x", "--listen", "h:99999"},
                                               {"--db", "x", "--listen", "::1:8211"},
                                               {"--db", "x", "--listen", "[::1:8211"},
                                               {"--db", "x", "--threads", "0"},
                                               {"--db", "x", "--frobnicate"}}) {
        EXPECT_FALSE(parseServerOptions(bad, error));
        EXPECT_FALSE(error.empty());
    }
}
