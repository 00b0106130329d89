// The rows of a source that GetMesmaOrigem lists carry their review marks
// where the language requires review, on both back ends, so that the
// editor's propagation leaves out beforehand the rows a tradutor may not
// change; a mark taken away, or a language without the rule, tells none.
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresCluster.h"
#include "PostgresStorage.h"
#endif
#include "ServerTestKit.h"
#include "TestBackends.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

using namespace trd::server;
using namespace trd::server::test;
using namespace std::chrono_literals;

namespace {

class ReviewedSameSource : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        std::string skip;
        server = inProcessServerOn(GetParam(), skip);
        if (!server)
            GTEST_SKIP() << skip;
        server->seed({{"ENG", "TELA01", "sbtSalvar", "&Salvar", "&Save", "T"},
                      {"ENG", "TELA02", "sbtSalvar", "Salvar", "Save", "T"},
                      {"ENG", "TELA03", "btnSalvar", "Salvar", "", "N"},
                      {"ESP", "TELA02", "sbtSalvar", "Salvar", "Guardar", "T"}},
                     46000);
        server->context().startMemory();
        ASSERT_TRUE(server->context().memory().waitReady(60s));
    }

    // "program" -> "reviewer|has a date", of the rows of "Salvar" but the one asked about.
    std::map<std::string, std::string> marks(const std::string& lang)
    {
        const Answer a = server->call("GetMesmaOrigem", json(lang) + ",\"&Salvar\",\"TELA01\",\"sbtSalvar\"");
        EXPECT_TRUE(a.ok) << a.message;
        EXPECT_TRUE(std::any_of(a.fields.begin(), a.fields.end(), [](const Answer::Field& f) {
            return f.name == "NMREVISOR";
        })) << "the packet declares the mark's fields";
        std::map<std::string, std::string> out;
        // A field without a value is absent from its row.
        const auto value = [](const Row& r, const char* name) {
            const auto it = r.find(name);
            return it == r.end() ? std::string() : it->second;
        };
        for (const Row& r : a.rows)
            out[r.at("CDPROGTRAD")] = value(r, "NMREVISOR") + "|" + (value(r, "DTREVISAO").empty() ? "" : "date");
        return out;
    }
    void mark(const std::string& lang, const std::string& prog, const std::string& comp, bool on)
    {
        const Answer a =
            server->call("MarcaRevisao",
                         json(lang) + "," + json(prog) + "," + json(comp) + ",\"Salvar\"," + (on ? "\"S\"" : "\"N\""));
        ASSERT_TRUE(a.ok) << a.message;
    }

    std::unique_ptr<InProcessServer> server;
};

} // namespace

TEST_P(ReviewedSameSource, MarksTravelWithTheRowsWhereTheLanguageRequiresReview)
{
    mark("ENG", "TELA02", "sbtSalvar", true);
    mark("ESP", "TELA02", "sbtSalvar", true);
    // No rule on: no row is kept from anyone's change, and no mark is told.
    EXPECT_EQ(marks("ENG"), (std::map<std::string, std::string>{{"TELA02", "|"}, {"TELA03", "|"}}));

    ASSERT_TRUE(server->call("SetRevisaoIdioma", "\"ENG\",\"S\",\"N\"").ok);
    EXPECT_EQ(marks("ENG"), (std::map<std::string, std::string>{{"TELA02", "local|date"}, {"TELA03", "|"}}));
    // Only the language that requires it: ESP's marked row tells nothing.
    EXPECT_EQ(marks("ESP"), (std::map<std::string, std::string>{{"TELA02", "|"}}));

    // Unmarked, or changed since (a change clears the mark), the row is anyone's again.
    mark("ENG", "TELA02", "sbtSalvar", false);
    EXPECT_EQ(marks("ENG").at("TELA02"), "|");
    mark("ENG", "TELA02", "sbtSalvar", true);
    ASSERT_TRUE(
        server
            ->call("SetDestino",
                   json(DeltaBuilder().modify({"ENG", "TELA02", "sbtSalvar", "Salvar", "Save", "T"}, "Save it").xml()))
            .ok);
    EXPECT_EQ(marks("ENG").at("TELA02"), "|");
}

INSTANTIATE_TEST_SUITE_P(Backends, ReviewedSameSource, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);
