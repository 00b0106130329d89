#pragma once
// The writer's side of the history, as both back ends keep it: the batches of
// the current origin, opened as the first row of each language is written (or
// the origin's open batch, once checked), and one version per row written, in
// the writer's transaction. A back end supplies the statements.
#include "HistoryRecords.h"

#include <map>

namespace trd::server {

class VersionLog {
public:
    explicit VersionLog(HistoryReader& reader) : m_reader(reader) { }
    virtual ~VersionLog() = default;
    VersionLog(const VersionLog&) = delete;
    VersionLog& operator=(const VersionLog&) = delete;

    void setOrigin(const WriteOrigin& origin);
    // Forgets the batches of a transaction (or of an item) that was rolled back.
    void forgetBatches();
    const std::vector<std::int64_t>& written() const { return m_written; }

    virtual std::int64_t openBatch(const WriteOrigin& origin, const std::string& language, double now) = 0;

    // Keeps a version of a row written with the change date `changed` and
    // returns its id; `now` dates the batch when this opens it.
    virtual std::int64_t record(const std::string& language, std::int64_t row, std::optional<std::int64_t> previous,
                                ChangeType type, std::string_view statusBefore, std::string_view statusAfter,
                                const std::optional<std::string_view>& textBefore, double changed, double now) = 0;
    // The identity of a deleted row, for an undo to bring it back.
    virtual void recordDeletedKey(std::int64_t version, const RowKey& key) = 0;

    virtual PruneCount prune(double before, std::int64_t limit) = 0;

    // The batch the next version of the language goes to, opened now when
    // it is not yet (a bulk write keeps its versions without record()).
    std::int64_t batchId(const std::string& language, double now) { return batchFor(language, now).id; }

protected:
    struct Open {
        std::int64_t id = 0;
        double when = 0; // the batch's date: a version of the same date keeps none of its own
    };
    // The batch the origin writes the language's rows into, opened now when
    // it has none yet.
    const Open& batchFor(const std::string& language, double now);
    // Called as the batches are forgotten: with a new origin (a transaction
    // begins), or with forgetBatches (rolled back, whole or to an item's
    // savepoint). A back end forgets what it counted on from the writes.
    virtual void writesForgotten(bool rolledBack) { (void)rolledBack; }

private:
    HistoryReader& m_reader;
    WriteOrigin m_origin;
    std::map<std::string, Open> m_open; // by language
    std::vector<std::int64_t> m_written;
};

// A writer whose writes the history keeps, as both back ends' writers are:
// what the storage interface asks about batches is answered by its version
// log, and each item of a batch (one delta) is a savepoint that a refused
// item rolls back together with the batches it opened.
class VersionKeepingWriter : public StorageWriter {
public:
    // Only the references are kept here: they may name members of the
    // derived writer that are built after this base.
    VersionKeepingWriter(VersionLog& log, HistoryReader& reader) : m_versions(log), m_historyReader(reader) { }

    void beginItem() override { execute("SAVEPOINT delta"); }
    void endItem(bool keep) override;

    void setOrigin(const WriteOrigin& origin) override { m_versions.setOrigin(origin); }
    std::int64_t openBatch(const WriteOrigin& origin, const std::string& language, double now) override
    {
        return m_versions.openBatch(origin, language, now);
    }
    std::vector<std::int64_t> batchesWritten() const override { return m_versions.written(); }
    HistoryReader& history() override { return m_historyReader; }
    PruneCount pruneHistory(double before, std::int64_t limit) override { return m_versions.prune(before, limit); }

protected:
    // Runs one statement inside the writer's transaction.
    virtual void execute(const char* sql) = 0;

private:
    VersionLog& m_versions;
    HistoryReader& m_historyReader;
};

} // namespace trd::server
