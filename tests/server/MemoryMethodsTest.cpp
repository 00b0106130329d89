// The translation memory's methods on both back ends, in process: what is
// suggested and what never is, ties, one suggestion per source, the row asked
// about left out, the rows that share a source, sources translated in more
// than one way, and an index that follows saves, deletions and new rows.
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresCluster.h"
#include "PostgresStorage.h"
#endif
#include "ServerTestKit.h"
#include "TestBackends.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace trd::server;
using namespace trd::server::test;
using namespace std::chrono_literals;

namespace {

// The row asked about, and rows around it (change dates as day counts).
const TRow Asked{"ENG", "TELA01", "sbtSalvar", "&Salvar", "&Save", "T"};
const TRow SameT{"ENG", "TELA02", "sbtSalvar", "Salvar", "Save", "T"};
const TRow SameD{"ENG", "TELA03", "btnSalvar", "Salvar", "&Save", "D"};
const TRow Other{"ENG", "TELA04", "sbtGravar", "Salvar", "Store", "T"};
const TRow Untranslated{"ENG", "TELA05", "x", "Salvar", "Salvar", "N"};
const TRow Empty{"ENG", "TELA06", "y", "Salvar", "", "T"};
const TRow Upper{"ENG", "TELA07", "z", "SALVAR", "SAVE", "T"};
const TRow Far{"ENG", "TELA08", "a", "Salvar como", "Save as", "T"}; // 54 %
const TRow Bang1{"ENG", "TELA09", "b", "Salvar!", "Save!", "T"}; // 85 %
const TRow Bang2{"ENG", "TELA10", "b", "Salvar!", "Save!", "T"};
const TRow Bang3{"ENG", "TELA11", "b", "Salvar!", "Store!", "D"};
const TRow Dot{"ENG", "TELA12", "c", "Salvar.", "Save.", "D"}; // 85 %, D, newest
const TRow Colon{"ENG", "TELA13", "d", "Salvar:", "Save:", "T"}; // 85 %, T, oldest
const TRow Paren{"ENG", "TELA14", "e", "(Salvar)", "(Save)", "T"}; // 75 %
const TRow Spanish{"ESP", "TELA01", "f", "Salvar?", "Guardar?", "T"};

class Memory : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        std::string skip;
        server = inProcessServerOn(GetParam(), skip);
        if (!server)
            GTEST_SKIP() << skip;
        server->seedAt(Asked, 46000);
        server->seedAt(SameT, 46000.5);
        server->seedAt(SameD, 46001);
        server->seed({Other, Untranslated, Empty, Upper, Far, Spanish}, 46000);
        server->seedAt(Bang1, 46001);
        server->seedAt(Bang2, 45000);
        server->seedAt(Bang3, 46005);
        server->seedAt(Dot, 46002);
        server->seedAt(Colon, 46000);
        server->seedAt(Paren, 46000);
        server->context().startMemory();
        ASSERT_TRUE(server->context().memory().waitReady(60s));
    }

    Answer suggestions(const TRow& row, const std::string& threshold = "")
    {
        return server->call("GetSugestoes",
                            json(row.lang) + "," + json(row.src) + "," + json(row.prog) + "," + json(row.comp)
                                + (threshold.empty() ? "" : "," + threshold));
    }
    // Sources of the similar suggestions, in order, with their percent.
    std::vector<std::string> similar(const TRow& row, const std::string& threshold = "")
    {
        std::vector<std::string> out;
        for (const Row& r : suggestions(row, threshold).rows)
            if (r.at("TPSUGESTAO") == "P")
                out.push_back(r.at("STAGRVALPROP") + " " + r.at("NRSIMILAR"));
        return out;
    }
    // A change is seen by the index within moments: SQLite's writer tells it
    // at the commit, PostgreSQL's trigger through a notification.
    bool eventually(const std::function<bool()>& seen)
    {
        for (auto until = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < until;) {
            server->context().memory().waitCaughtUp(2s);
            if (seen())
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    std::unique_ptr<InProcessServer> server;
};

std::vector<std::string> column(const std::vector<Row>& rows, const std::string& field)
{
    std::vector<std::string> out;
    for (const Row& r : rows)
        out.push_back(r.at(field));
    return out;
}

using Strings = std::vector<std::string>;

} // namespace

TEST_P(Memory, SameSourceGroupedByTranslationWithoutTheRowAskedUntranslatedOrEmpty)
{
    const Answer a = suggestions(Asked);
    ASSERT_TRUE(a.ok) << a.message;
    std::vector<Row> exact;
    for (const Row& r : a.rows)
        if (r.at("TPSUGESTAO") == "I")
            exact.push_back(r);
    ASSERT_EQ(exact.size(), 2u);
    // "Save" and "&Save" are one translation, shortcut marks aside; shown by
    // its T row; the asked row's own "&Save" is not counted.
    EXPECT_EQ(exact[0].at("STVALORPROP"), "Save");
    EXPECT_EQ(exact[0].at("IDSITTRADUCAO"), "T");
    EXPECT_EQ(exact[0].at("NRLINHAS"), "2");
    EXPECT_EQ(exact[0].at("DSSITUACOES"), "TD");
    EXPECT_EQ(exact[0].at("DSPROGRAMAS"), "TELA02, TELA03");
    EXPECT_EQ(exact[0].at("NRSIMILAR"), "100");
    EXPECT_EQ(exact[1].at("STVALORPROP"), "Store");
    EXPECT_EQ(exact[1].at("NRLINHAS"), "1");
    // Neither the N row nor the empty translation is ever suggested.
    for (const Row& r : a.rows) {
        EXPECT_NE(r.at("CDPROGTRAD"), "TELA05");
        EXPECT_NE(r.at("CDPROGTRAD"), "TELA06");
        EXPECT_NE(r.at("CDPROGTRAD"), "TELA01");
    }
}

TEST_P(Memory, SimilarSourcesRankedWithTiesByStatusThenNewestAndOneASource)
{
    // SALVAR differs only in case: 100 %, but another source. Three sources at
    // 85 %: the T ones first, newest first, then the doubtful one. The fifth
    // place goes to 75 %; "Salvar como" (54 %) is under the threshold.
    EXPECT_EQ(similar(Asked), (Strings{"SALVAR 100", "Salvar! 85", "Salvar: 85", "Salvar. 85", "(Salvar) 75"}));
    const Answer a = suggestions(Asked);
    for (const Row& r : a.rows)
        if (r.at("STAGRVALPROP") == "Salvar!") {
            // Three rows, two translations, shown by the newest T row.
            EXPECT_EQ(r.at("NRLINHAS"), "3");
            EXPECT_EQ(r.at("NRTRADUCOES"), "2");
            EXPECT_EQ(r.at("CDPROGTRAD"), "TELA09");
            EXPECT_EQ(r.at("STVALORPROP"), "Save!");
        } else if (r.at("STAGRVALPROP") == "Salvar.") {
            EXPECT_EQ(r.at("IDSITTRADUCAO"), "D"); // offered, marked doubtful
        }
    // A lower threshold lets the farther ones in, still five at most.
    EXPECT_EQ(similar(Asked, "50").size(), 5u);
    EXPECT_EQ(similar({"ENG", "X", "y", "Salvar como!", "", "N"}, "50").front(), "Salvar como 91");
    // Below 50 % nothing more is searched: "Salvar!" at 43 % stays out even
    // when 1 % is asked.
    const TRow longer{"ENG", "X", "y", "Salvar como tudo", "", "N"};
    EXPECT_EQ(similar(longer, "50"), (Strings{"Salvar como 68"}));
    EXPECT_EQ(similar(longer, "1"), (Strings{"Salvar como 68"}));
    // The other language's rows never answer for this one.
    for (const std::string& s : similar({"ENG", "X", "y", "Salvar?", "", "N"}))
        EXPECT_NE(s.rfind("Salvar?", 0), 0u);
}

TEST_P(Memory, FollowsSavesDeletionsAndNewRows)
{
    // The N row gets a translation: it becomes a suggestion.
    Answer saved = server->call("SetDestino", json(DeltaBuilder().modify(Untranslated, "Keep", "T").xml()));
    ASSERT_TRUE(saved.ok) << saved.message;
    EXPECT_TRUE(eventually([&] {
        for (const Row& r : suggestions(Asked).rows)
            if (r.at("STVALORPROP") == "Keep")
                return true;
        return false;
    }));
    // A deleted row is no longer offered.
    saved = server->call("SetDestino", json(DeltaBuilder().remove(Upper).xml()));
    ASSERT_TRUE(saved.ok) << saved.message;
    EXPECT_TRUE(eventually([&] { return similar(Asked).front() == "Salvar! 85"; }));
    // A new source is found at once, before the lists are rebuilt.
    saved =
        server->call("SetDestino", json(DeltaBuilder().insert({"ENG", "TELA20", "n", "Salvas", "Saved", "T"}).xml()));
    ASSERT_TRUE(saved.ok) << saved.message;
    EXPECT_TRUE(eventually([&] {
        const auto found = similar(Asked);
        return std::find(found.begin(), found.end(), "Salvas 83") != found.end();
    }));
}

TEST_P(Memory, RowsOfTheSameSourceAndSourcesTranslatedInMoreThanOneWay)
{
    const Answer same = server->call(
        "GetMesmaOrigem", json("ENG") + "," + json(Asked.src) + "," + json(Asked.prog) + "," + json(Asked.comp));
    ASSERT_TRUE(same.ok) << same.message;
    // Every status, the asked row left out, a source that differs in case too.
    EXPECT_EQ(column(same.rows, "CDPROGTRAD"), (Strings{"TELA02", "TELA03", "TELA04", "TELA05", "TELA06"}));
    EXPECT_EQ(column(same.rows, "IDSITTRADUCAO"), (Strings{"T", "D", "T", "N", "T"}));
    EXPECT_EQ(same.fields.size(), 8u); // the translation row packet with the review mark

    const Answer odd = server->call("GetInconsistencias", json("ENG"));
    ASSERT_TRUE(odd.ok) << odd.message;
    // "Salvar" (Save × 3 with the marked ones, Store) and "Salvar!" (Save! × 2, Store!).
    EXPECT_EQ(column(odd.rows, "STAGRVALPROP"), (Strings{"Salvar", "Salvar", "Salvar!", "Salvar!"}));
    EXPECT_EQ(column(odd.rows, "STVALORPROP"), (Strings{"Save", "Store", "Save!", "Store!"}));
    EXPECT_EQ(column(odd.rows, "NRLINHAS"), (Strings{"3", "1", "2", "1"}));
    EXPECT_EQ(column(odd.rows, "NRGRUPO"), (Strings{"1", "1", "2", "2"}));
    EXPECT_EQ(column(odd.rows, "NRLINHASGRUPO"), (Strings{"4", "4", "3", "3"}));
    // The shipped report reads the same query.
    const Answer report =
        server->call("GetConsultaRel", json("TraducoesDivergentes") + "," + json("P_IDIDIOMA") + "," + json("ENG"));
    ASSERT_TRUE(report.ok) << report.message;
    EXPECT_EQ(column(report.rows, "STVALORPROP"), column(odd.rows, "STVALORPROP"));
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, Memory, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

TEST(MemoryRefusals, NotReadyAndBadArguments)
{
    InProcessServer server;
    server.seed({Asked});
    // Not started yet: said plainly, with the code of a server that cannot now.
    Answer a = server.call("GetSugestoes", json("ENG") + "," + json("x") + "," + json("P") + "," + json("c"));
    EXPECT_EQ(a.code, -32603);
    EXPECT_EQ(a.message, "A memória de tradução do servidor ainda está sendo preparada; tente de novo em instantes.");
    server.context().startMemory();
    ASSERT_TRUE(server.context().memory().waitReady(60s));
    for (const std::string threshold : {"0", "101", "\"70\""}) {
        a = server.call("GetSugestoes",
                        json("ENG") + "," + json("x") + "," + json("P") + "," + json("c") + "," + threshold);
        EXPECT_EQ(a.code, -32602) << threshold;
    }
    a = server.call("GetSugestoes",
                    json("ENG") + "," + json(std::string(4001, 'a')) + "," + json("P") + "," + json("c"));
    EXPECT_EQ(a.code, -32602);
    a = server.call("GetMesmaOrigem", json("ENG"));
    EXPECT_EQ(a.code, -32602);
}
