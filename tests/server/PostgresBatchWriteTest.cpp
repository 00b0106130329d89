// Many changes at once on PostgreSQL (a propagation, a piece of a
// pre-translation, a large undo, the undo of an import and of that undo, a
// file of new rows) go as one set; what they leave must be what
// the row-by-row path leaves on SQLite: the same rows and dates, the same
// batches, versions and version ids, the same undo report (rows changed
// since left alone), and the same refusals, naming the same row, with
// nothing written.
#include "PostgresCluster.h"
#include "PostgresStorage.h"
#include "SqliteStorage.h"
#include "Undo.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace trd::server;

namespace {

constexpr int Rows = 400;
const char* const Languages[] = {"FRA", "ITA"};

RowKey keyOf(const std::string& language, int i)
{
    return {language, "TRD" + std::to_string(i % 7), "cmp" + std::to_string(i),
            "Origem\tda linha " + std::to_string(i)};
}

// One database with its writer, its clock set by the test.
struct Site {
    explicit Site(std::unique_ptr<StorageBackend> storage)
        : backend(std::move(storage)), writer(backend->openWriter(), [this] { return now; })
    {
    }
    std::unique_ptr<StorageBackend> backend;
    double now = 46000.25;
    WriteCoordinator writer;

    // Every row, and every batch with its versions, ids included.
    std::vector<std::string> dump()
    {
        std::vector<std::string> out;
        auto session = backend->openSession();
        for (const char* language : Languages) {
            RowSelection all;
            all.language = language;
            all.statuses = "TDN";
            session->selectRows(all, [&](const TranslationRowView& r) {
                out.push_back(std::string(r.language) + "|" + std::string(r.program) + "|" + std::string(r.component)
                              + "|" + std::string(r.source) + "|" + std::string(r.destination) + "|"
                              + std::string(r.status) + "|" + std::to_string(r.changed) + "|"
                              + std::string(r.reviewer));
            });
            HistoryReader& history = session->history();
            for (const BatchRecord& b : history.batches(language, {})) {
                out.push_back("lote " + std::to_string(b.id) + " " + static_cast<char>(b.kind) + " " + b.user + " "
                              + b.method + " " + std::to_string(b.rows) + " " + std::to_string(b.firstVersion) + " "
                              + std::to_string(b.when) + " " + std::to_string(b.undoes.value_or(0)));
                for (const VersionRecord& v : history.batchVersions(b))
                    out.push_back(std::to_string(v.id) + " " + std::to_string(v.row) + " "
                                  + std::to_string(v.previous.value_or(0)) + " " + static_cast<char>(v.type) + " ["
                                  + v.statusBefore + ">" + v.statusAfter + "] "
                                  + (v.textBefore ? "'" + *v.textBefore + "'" : "-") + " " + std::to_string(v.when));
            }
        }
        return out;
    }
};

RowChange modify(const std::string& language, int i, const std::string& was, const std::string& wasStatus,
                 const std::string& to, const std::string& toStatus)
{
    RowChange c;
    c.kind = RowChange::Kind::Modify;
    c.original = keyOf(language, i);
    c.originalDestination = was;
    c.originalStatus = wasStatus;
    c.updated = {c.original, to, toStatus, std::nullopt};
    return c;
}

// A new row, numbered after the seeded ones.
RowChange insertion(const std::string& language, int i)
{
    RowChange c;
    c.kind = RowChange::Kind::Insert;
    c.updated = {keyOf(language, i), "Nova\tlinha " + std::to_string(i), "D", std::nullopt};
    return c;
}

std::vector<RowChange> insertions(const std::string& language, int from, int count)
{
    std::vector<RowChange> changes;
    for (int i = from; i < from + count; ++i)
        changes.push_back(insertion(language, i));
    return changes;
}

std::string seeded(int i)
{
    return "Destino " + std::to_string(i);
}

// A propagation over both languages: most rows take a new text, some only a
// new status, some nothing new.
std::vector<RowChange> propagation()
{
    std::vector<RowChange> changes;
    for (const char* language : Languages)
        for (int i = 0; i < Rows; ++i) {
            if (i % 10 == 3)
                changes.push_back(modify(language, i, seeded(i), "N", seeded(i), "D"));
            else if (i % 10 == 7)
                changes.push_back(modify(language, i, seeded(i), "N", seeded(i), "N"));
            else
                changes.push_back(modify(language, i, seeded(i), "N", "Texto\\propagado\n" + std::to_string(i), "T"));
        }
    return changes;
}

std::string refusal(Site& site, const std::vector<RowChange>& changes, const WriteOrigin& origin)
{
    try {
        site.writer.apply(changes, origin);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(gravado)";
}

std::vector<std::string> report(const history::UndoOutcome& outcome)
{
    std::vector<std::string> out{std::to_string(outcome.batch.value_or(0))};
    for (const history::UndoneRow& r : outcome.rows)
        out.push_back(r.program + "|" + r.component + "|" + (r.restored ? "S" : "N") + "|" + r.reason + "|" + r.now.text
                      + "|" + r.now.status);
    return out;
}

class PostgresBatchWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!trd::test::postgresCluster().ready())
            GTEST_SKIP() << "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
        const std::string conninfo = trd::test::postgresCluster().freshDatabase();
        ASSERT_FALSE(conninfo.empty());
        ASSERT_TRUE(dir.isValid());
        sqlite = std::make_unique<Site>(std::make_unique<SqliteStorage>(
            dir.filePath(QStringLiteral("t.db")).toStdString(), SqliteStorage::creating()));
        postgres = std::make_unique<Site>(std::make_unique<PostgresStorage>(conninfo));
        for (Site* site : sites())
            site->writer.runExclusive([](StorageWriter& w) {
                for (const char* language : Languages) {
                    w.putLanguage({language, language, "POR"});
                    for (int i = 0; i < Rows; ++i)
                        w.insertRow({keyOf(language, i), seeded(i), "N", 45900.5}, 45900.5);
                }
            });
    }
    std::vector<Site*> sites() { return {sqlite.get(), postgres.get()}; }
    std::vector<std::string> undo(const std::string& language, std::size_t back, double now)
    {
        std::vector<std::vector<std::string>> reports;
        for (Site* site : sites()) {
            site->now = now;
            history::UndoRequest request;
            request.language = language;
            request.method = "DesfazLote";
            const auto batches = site->backend->openSession()->history().batches(language, {});
            EXPECT_GT(batches.size(), back);
            reports.push_back(report(history::undoBatch(site->writer, request, batches.at(back).id)));
        }
        EXPECT_EQ(reports[1], reports[0]);
        return reports[1];
    }
    std::int64_t liveRows(const std::string& language)
    {
        return postgres->backend->openSession()->countRows(language, "TDN", {});
    }
    void expectSame()
    {
        const auto rows = postgres->dump();
        EXPECT_EQ(rows, sqlite->dump());
        EXPECT_GT(rows.size(), std::size_t(2 * Rows));
    }

    QTemporaryDir dir;
    std::unique_ptr<Site> sqlite, postgres;
};

} // namespace

TEST_F(PostgresBatchWrite, APropagationAndItsUndoLeaveWhatTheRowByRowPathLeaves)
{
    WriteOrigin origin;
    origin.user = "ana";
    origin.method = "SetDestino";
    for (Site* site : sites()) {
        site->now = 46100.5;
        site->writer.apply(propagation(), origin);
    }
    expectSame();

    // Another user changes two rows afterwards, one in each language; the
    // undo of the propagation leaves them and says who changed them.
    WriteOrigin later;
    later.user = "rui";
    later.method = "SetDestino";
    for (Site* site : sites()) {
        site->now = 46100.75;
        site->writer.apply({modify("FRA", 11, "Texto\\propagado\n11", "T", "Depois", "T")}, later);
        site->writer.apply({modify("ITA", 13, seeded(13), "D", seeded(13), "T")}, later);
    }
    std::vector<std::vector<std::string>> reports;
    for (Site* site : sites()) {
        site->now = 46101.5;
        history::UndoRequest request;
        request.language = "FRA";
        request.method = "DesfazLote";
        const auto batches = site->backend->openSession()->history().batches("FRA", {});
        ASSERT_GE(batches.size(), 2u);
        reports.push_back(report(history::undoBatch(site->writer, request, batches[1].id)));
    }
    EXPECT_EQ(reports[1], reports[0]);
    // Every row the propagation gave a version (the rows it left as they were have none).
    ASSERT_EQ(reports[1].size(), std::size_t(Rows - Rows / 10 + 1));
    const auto changedSince = std::find_if(reports[1].begin(), reports[1].end(),
                                           [](const std::string& r) { return r.rfind("TRD4|cmp11|N|", 0) == 0; });
    ASSERT_NE(changedSince, reports[1].end());
    EXPECT_NE(changedSince->find("alterada depois por rui"), std::string::npos) << *changedSince;
    expectSame();

    // The undo undone, forced, in the other language too.
    for (Site* site : sites()) {
        site->now = 46102.5;
        history::UndoRequest request;
        request.language = "ITA";
        request.method = "DesfazLote";
        request.force = true;
        const auto batches = site->backend->openSession()->history().batches("ITA", {});
        reports.push_back(report(history::undoBatch(site->writer, request, batches[1].id)));
    }
    EXPECT_EQ(reports[3], reports[2]);
    expectSame();
}

TEST_F(PostgresBatchWrite, AnImportsUndoAndTheUndoOfThatDeleteAndBringBackAsRowByRow)
{
    // Two rows of the import changed since: its undo leaves them.
    WriteOrigin later;
    later.user = "rui";
    later.method = "SetDestino";
    for (Site* site : sites()) {
        site->now = 46100.75;
        site->writer.apply({modify("FRA", 11, seeded(11), "N", "Depois", "T")}, later);
        site->writer.apply({modify("FRA", 12, seeded(12), "N", seeded(12), "D")}, later);
    }
    const std::vector<std::string> deleted = undo("FRA", 2, 46101.5);
    ASSERT_EQ(deleted.size(), std::size_t(Rows + 1));
    EXPECT_EQ(
        std::count_if(deleted.begin(), deleted.end(),
                      [](const std::string& r) { return r.find("alterada depois por rui") != std::string::npos; }),
        2);
    EXPECT_EQ(liveRows("FRA"), 2);
    expectSame();

    // A file of new rows, one of them under the key of a row the undo
    // deleted: the undo of the undo brings back every other row, under its
    // old id, and leaves that one.
    WriteOrigin file;
    file.user = "ana";
    file.method = "SetDestino";
    std::vector<RowChange> brought = insertions("FRA", Rows, 30);
    brought.push_back(insertion("FRA", 5));
    for (Site* site : sites()) {
        site->now = 46101.75;
        site->writer.apply(brought, file);
    }
    EXPECT_EQ(liveRows("FRA"), 2 + 31);
    expectSame();
    const std::vector<std::string> back = undo("FRA", 1, 46102.5);
    ASSERT_EQ(back.size(), std::size_t(Rows - 2 + 1));
    EXPECT_EQ(std::count_if(back.begin(), back.end(),
                            [](const std::string& r) { return r.find("já existe outra linha") != std::string::npos; }),
              1);
    EXPECT_EQ(liveRows("FRA"), Rows + 30);
    expectSame();
}

TEST_F(PostgresBatchWrite, ARefusedChangeIsNamedAsRowByRowAndNothingIsWritten)
{
    // A reviewed row of a language that requires review.
    for (Site* site : sites())
        site->writer.runExclusive([](StorageWriter& w) {
            ReviewSettings required;
            required.required = true;
            w.setReviewSettings("ITA", required);
            RowChange mark;
            mark.kind = RowChange::Kind::Review;
            mark.original = keyOf("ITA", 40);
            mark.marked = true;
            mark.reviewer = "rui";
            w.apply(mark, 46050.5);
        });
    const auto before = postgres->dump();
    ASSERT_EQ(before, sqlite->dump());
    WriteOrigin origin;
    origin.user = "ana";
    origin.method = "SetDestino";

    // A row changed meanwhile, deep inside the set.
    std::vector<RowChange> stale = propagation();
    stale[250].originalDestination = "o que outro viu";
    std::vector<std::string> said;
    for (Site* site : sites())
        said.push_back(refusal(*site, stale, origin));
    EXPECT_EQ(said[1], said[0]);
    EXPECT_NE(said[1].find("cmp250"), std::string::npos) << said[1];

    // The reviewed row changed by a writer below revisor.
    std::vector<RowChange> guarded = propagation();
    for (RowChange& c : guarded)
        c.guardReviewed = true;
    said.clear();
    for (Site* site : sites())
        said.push_back(refusal(*site, guarded, origin));
    EXPECT_EQ(said[1], said[0]);
    EXPECT_NE(said[1].find("exige revisão"), std::string::npos) << said[1];

    // New rows, one of them under a key already there, or in a language
    // that is not.
    for (const std::string& language : {std::string("ITA"), std::string("XYZ")}) {
        std::vector<RowChange> fresh = insertions(language, Rows, 20);
        if (language == "ITA")
            fresh[14] = insertion("ITA", 77);
        said.clear();
        for (Site* site : sites())
            said.push_back(refusal(*site, fresh, origin));
        EXPECT_EQ(said[1], said[0]);
        EXPECT_NE(said[1], "(gravado)");
    }

    // Nothing of any was written; the same set by a revisor goes through.
    EXPECT_EQ(postgres->dump(), before);
    EXPECT_EQ(sqlite->dump(), before);
    for (Site* site : sites())
        EXPECT_EQ(refusal(*site, propagation(), origin), "(gravado)");
}
