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
    explicit VersionLog(HistoryReader& reader) : m_reader(reader) {}
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

protected:
    struct Open {
        std::int64_t id = 0;
        double when = 0;   // the batch's date: a version of the same date keeps none of its own
    };
    // The batch the origin writes the language's rows into, opened now when
    // it has none yet.
    const Open& batchFor(const std::string& language, double now);

private:
    HistoryReader& m_reader;
    WriteOrigin m_origin;
    std::map<std::string, Open> m_open;   // by language
    std::vector<std::int64_t> m_written;
};

} // namespace trd::server
