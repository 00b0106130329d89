#pragma once
// The storage interface of the server. Methods speak to it only; a back end
// (SQLite, PostgreSQL) implements it on its own C client library. Read
// sessions are used one per worker thread at a time; all writes go through one
// writer, driven by the WriteCoordinator, which batches deltas into shared
// transactions while keeping each delta atomic.
#include "ChangeRecords.h"
#include "ColumnCursor.h"
#include "FilterFragment.h"
#include "ReleaseRecords.h"
#include "RowChanges.h"
#include "ServerError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

class HistoryReader;
class StatementDb;
struct WriteOrigin;

// A failure of the database itself (I/O, lost connection, corrupt file), as
// opposed to a refusal of the data: internal, or unavailable when waiting may
// mend it. what() is the database's own account, for the server's log only;
// the client is told userMessage(), which names neither files nor the
// database's internals.
class StorageError : public ServerError {
public:
    explicit StorageError(const std::string& detail, std::string userMessage = {}, bool retryable = false,
                          ErrorKind kind = ErrorKind::Internal)
        : ServerError(kind,
                      userMessage.empty() ? std::string("Erro no banco de dados do servidor. Tente novamente; se "
                                                        "persistir, avise o administrador do sistema.")
                                          : std::move(userMessage),
                      detail),
          m_retryable(retryable)
    {
    }
    // True when running the same transaction again may succeed (a deadlock or
    // a serialization failure the database resolved by aborting us).
    bool retryable() const noexcept { return m_retryable; }

private:
    bool m_retryable;
};

// A commit that failed, or whose files were lost, after the database may
// already have made it durable: the caller must not be told that nothing was
// written, nor that it was. detail names what happened, for the log.
inline StorageError outcomeUnknown(const std::string& detail)
{
    return StorageError(detail,
                        "Não se sabe se a alteração foi gravada: o banco de dados do servidor falhou no momento de "
                        "confirmá-la. O registro será lido de novo do servidor para mostrar o que ficou gravado. Avise "
                        "o administrador do sistema.",
                        false, ErrorKind::OutcomeUnknown);
}

[[noreturn]] inline void reviewNotKept()
{
    throw ServerError(ErrorKind::Unavailable, "Este banco não guarda marcas de revisão.");
}

// What a save would meet now, for GET /health.
struct StorageStatus {
    bool writable = true;
    std::string problem; // empty when saves can go ahead; else why not, for the user
    std::optional<std::uint64_t> freeBytes; // free disk space where the database writes, when known
    bool damaged = false; // a read met a damaged page since start
    std::int64_t lastCheckMs = 0; // when the last integrity check ended (Unix ms; 0: none run)
    bool lastCheckOk = true; // and whether it found the file sound
    std::optional<std::uint64_t> databaseBytes; // the database's files on disk, when known
};

// Field sizes of the translation row, in characters.
namespace fieldsize {
inline constexpr std::size_t Language = 3;
inline constexpr std::size_t LanguageName = 30;
inline constexpr std::size_t LanguageProp = 3;
inline constexpr std::size_t Program = 20;
inline constexpr std::size_t Component = 50;
inline constexpr std::size_t Text = 4000;
inline constexpr std::size_t Status = 1;
} // namespace fieldsize

struct Language {
    std::string code; // IDIDIOMA
    std::string description; // DSIDIOMA
    std::string prop; // IDIPROP
};

// One translation row as a back end hands it out: views into the back end's
// own buffers, valid only during the visitor call.
struct TranslationRowView {
    std::string_view source; // STAGRVALPROP
    std::string_view destination; // STVALORPROP
    std::string_view status; // IDSITTRADUCAO
    std::string_view language; // IDIDIOMA
    std::string_view component; // NMCOMPONENTE
    std::string_view program; // CDPROGTRAD
    double changed = 0; // DTALTERACAO, days since 1899-12-30, server local time
    // The review mark, read by selectRows and selectListedRows only: who
    // marked the row as reviewed (empty: not reviewed) and when.
    std::string_view reviewer; // NMREVISOR
    double reviewed = 0; // DTREVISAO
    bool obsolete = false; // only the memory's reads (scanRows, selectRowsById) hand out obsolete rows
};

// A translation row from a result row whose columns, from `first` on, are in
// the order of TranslationRowView; any back end's row with text() and real().
template <typename ResultRow>
TranslationRowView readRowView(const ResultRow& r, int first)
{
    TranslationRowView row;
    ColumnCursor(r, first).read(row.source, row.destination, row.status, row.language, row.component, row.program,
                                row.changed);
    return row;
}

using RowVisitor = std::function<void(const TranslationRowView&)>;
// A row with its surrogate key (IDTRADUCAO), for what follows rows by it.
using KeyedRowVisitor = std::function<void(std::int64_t id, const TranslationRowView&)>;
// A row's status and destination text, views valid during the call.
using InfoVisitor = std::function<void(std::string_view status, std::string_view destination)>;

// Change-date bounds: from is inclusive, until exclusive; absent = open.
struct DateBounds {
    std::optional<double> from;
    std::optional<double> until;
};

struct RowSelection {
    std::string language;
    std::string statuses; // wanted statuses, a subset of "TDN"
    DateBounds dates;
    std::vector<FilterCondition> conditions; // all must hold
    std::optional<bool> reviewed; // only rows marked as reviewed (true) or not (false)
    // The obsolete rows of the selection instead of its live ones: what the
    // editor shows, read-only, when asked to (docs/releases.md).
    bool obsolete = false;
};

// The review rules of a language (docs/users.md), both off by default.
struct ReviewSettings {
    bool required = false; // a reviewed row can be changed only by a revisor or above
    bool ownChangeBlocked = false; // a revisor cannot mark their own last change
    bool operator==(const ReviewSettings&) const = default;
};

// A row's review mark.
struct ReviewMark {
    std::string reviewer;
    double when = 0;
};

// Rows of one status and how many of them are marked as reviewed.
struct ReviewCount {
    char status = 'T';
    std::int64_t rows = 0;
    std::int64_t reviewed = 0;
};

// The identity of a translation row: unique per language, program, component
// and source text.
struct RowKey {
    std::string language;
    std::string program;
    std::string component;
    std::string source;
};

// What a file of listed rows names: one row, or with no source text every row
// of the component.
struct ListedKey {
    std::string program;
    std::string component;
    std::optional<std::string> source;
};

struct TranslationRow {
    RowKey key;
    std::string destination;
    std::string status;
    std::optional<double> changed; // for imports; the server sets it on every client write
};

// One change of a SetDestino delta, validated.
struct RowChange {
    // Review: marks (or unmarks) the row found by `original` as reviewed,
    // leaving its text and status as they are.
    enum class Kind { Modify, Delete, Insert, Review };
    Kind kind = Kind::Modify;
    int rowNumber = 0; // row of the delta packet, for messages
    RowKey original; // Modify/Delete: where the row was
    std::string originalDestination; // Modify/Delete: what the client saw
    std::string originalStatus;
    TranslationRow updated; // Modify/Insert: the values to write
    // Insert only, for an undo of a delete: bring the row back under its old
    // IDTRADUCAO when it is free, its versions going on after this one.
    std::optional<std::int64_t> reviveId;
    std::optional<std::int64_t> reviveAfterVersion;
    // Modify/Delete by a writer below revisor: refused when the row is
    // marked as reviewed, its language requires review and the change
    // touches its text or status. Checked by the writer in the transaction
    // that would write it, rules and mark read together.
    bool guardReviewed = false;
    // Review only: mark (true) or unmark; who marks; whether the row must
    // still hold originalDestination/originalStatus (what the revisor saw);
    // whether a row whose last change of text or status is the reviewer's
    // own is refused (docs/users.md).
    bool marked = false;
    std::string reviewer;
    bool checkSeen = false;
    bool refuseOwnChange = false;
};

// What a run of --prune-history removed.
struct PruneCount {
    std::int64_t batches = 0;
    std::int64_t versions = 0;
};

class StorageSession {
public:
    virtual ~StorageSession() = default;

    virtual std::vector<Language> languages() = 0;
    // Visits the rows in the order program, component, source text.
    virtual void selectRows(const RowSelection& selection, const RowVisitor& visit) = 0;
    // Visits each listed row of the language once, in the same order.
    virtual void selectListedRows(const std::string& language, const std::vector<ListedKey>& keys,
                                  const RowVisitor& visit) = 0;
    // The status and destination text of every row of the language changed
    // within the dates, in no particular order: what counting characters
    // needs, without the other columns and without sorting.
    virtual void selectInfoRows(const std::string& language, const DateBounds& dates, const InfoVisitor& visit) = 0;
    virtual std::int64_t countRows(const std::string& language, std::string_view statuses, const DateBounds& dates) = 0;
    // Throws when the database does not answer.
    virtual void ping() = 0;

    // The translation memory's reads: every row of every language, and the
    // rows with the given ids that still exist; both in no particular order.
    virtual void scanRows(const KeyedRowVisitor& visit) = 0;
    virtual void selectRowsById(const std::vector<std::int64_t>& ids, const KeyedRowVisitor& visit) = 0;

    // The review marks and rules (docs/users.md).
    // The rules of every language that has any turned on.
    virtual std::vector<std::pair<std::string, ReviewSettings>> reviewSettings() { return {}; }
    // Rows of the language within the dates, per status T, D, N, and how
    // many are marked as reviewed.
    virtual std::vector<ReviewCount> countReviewed(const std::string& language, const DateBounds& dates)
    {
        (void)language, (void)dates;
        reviewNotKept();
    }
    // The row's mark; none when it is not marked or does not exist.
    virtual std::optional<ReviewMark> reviewMark(const RowKey& row)
    {
        (void)row;
        return std::nullopt;
    }

    // The versions and batches kept of every write (docs/history.md).
    virtual HistoryReader& history();
    // The change feed's reading: the versions after query.after, with their
    // rows and what the reading could see (ChangeRecords.h, docs/live.md).
    virtual ChangeWindow readChanges(const ChangeQuery& query);

    // ---- releases (docs/releases.md). Every other read leaves obsolete rows out.
    // Every row of the language, obsolete ones included, in no order.
    virtual void readReleaseRows(const std::string& language, const ReleaseRowVisitor& visit);
    // The live rows a release created from another row or the memory, in
    // key order; only those of `batch` when it is not 0.
    virtual void selectPreviousSources(const std::string& language, std::int64_t batch,
                                       const PreviousSourceVisitor& visit);
    // The language's obsolete rows, in key order.
    virtual void selectObsoleteRows(const std::string& language, const ObsoleteRowVisitor& visit);

    // ---- the glossary (docs/glossary.md): its statements (TermStore.h) on
    // this session's connection; null where the database keeps none.
    virtual StatementDb* glossary() { return nullptr; }
};

// The single writer. Each batch is one transaction; each item inside it (one
// delta) can be undone alone when it is refused.
class StorageWriter {
public:
    virtual ~StorageWriter() = default;

    virtual void beginBatch() = 0;
    virtual void beginItem() = 0;
    virtual void endItem(bool keep) = 0;
    // Durable on return (fsync); throws when the commit fails.
    virtual void commitBatch() = 0;
    virtual void rollbackBatch() = 0;

    // Applies one change with the given change date; throws a Conflict
    // ServerError when the row was changed or deleted meanwhile, or when it
    // would collide.
    virtual void apply(const RowChange& change, double now) = 0;
    // Applies the changes in their order, with the results and refusals that
    // apply() gives them one by one; a back end may write many as one set.
    virtual void applyAll(const std::vector<RowChange>& changes, double now)
    {
        for (const RowChange& change : changes)
            apply(change, now);
    }

    // Locks, before a batch's changes are applied, the rows they find by
    // their original keys. Back ends shared by several servers take the locks
    // in one fixed order here, so that two batches never wait on each other.
    virtual void lockRows(const std::vector<const RowKey*>&) { }

    // Sets the review rules of a language (an administrador's call).
    virtual void setReviewSettings(const std::string& language, const ReviewSettings& settings)
    {
        (void)language, (void)settings;
        reviewNotKept();
    }

    // Imports (demo, seeding): insert or replace a language; insert rows.
    virtual void putLanguage(const Language& language) = 0;
    virtual void insertRow(const TranslationRow& row, double now) = 0;

    // Brackets a large import inside one batch. Into an empty table a back end
    // may build its secondary indexes once at the end instead of row by row.
    virtual void beginBulkLoad() { }
    virtual void endBulkLoad() { }

    // ---- history (docs/history.md)
    // Every write keeps a version in a batch of this origin, from now until
    // the next call or the end of the transaction; without a call, writes go
    // to an import batch of the user "local".
    virtual void setOrigin(const WriteOrigin&) { }
    // Opens an empty batch that later writes name (WriteOrigin::batch).
    virtual std::int64_t openBatch(const WriteOrigin& origin, const std::string& language, double now);
    // The batches written since the last setOrigin.
    virtual std::vector<std::int64_t> batchesWritten() const { return {}; }
    // Reads inside the writer's transaction.
    virtual HistoryReader& history();
    // Locks the rows with these ids, in id order, before an undo reads them.
    virtual void lockRowIds(const std::vector<std::int64_t>&) { }
    // Removes up to `limit` batches opened before `before`, with their
    // versions.
    virtual PruneCount pruneHistory(double before, std::int64_t limit);

    // ---- releases (docs/releases.md)
    // The language's rows inside the writer's transaction, obsolete ones
    // included; on a database shared by several servers, other writers of
    // the rows wait until the commit.
    virtual void readReleaseRows(const std::string& language, const ReleaseRowVisitor& visit);
    // Writes one language's part of a release or of its undo, each row with
    // its version in write.batch.
    virtual void writeRelease(const ReleaseWrite& write, double now);

    // ---- the glossary (docs/glossary.md), inside the writer's transaction;
    // null where the database keeps none.
    virtual StatementDb* glossary() { return nullptr; }
};

class StorageBackend {
public:
    virtual ~StorageBackend() = default;
    virtual std::unique_ptr<StorageSession> openSession() = 0;
    virtual std::unique_ptr<StorageWriter> openWriter() = 0;
    // True when the database has no language and no row yet (fresh file).
    virtual bool isEmpty() = 0;
    // Cheap enough for every health probe: no statement of its own.
    virtual StorageStatus status() { return {}; }
    // From now on, tells the watcher soon after each commit which rows it
    // touched (RowChanges.h); a back end that cannot know says nothing.
    // Returns the watcher's number for unwatchRowChanges (0: not watched).
    virtual std::uint64_t watchRowChanges(RowChangeWatcher watcher)
    {
        (void)watcher;
        return 0;
    }
    // The watcher is not running when this returns, and is not called again.
    virtual void unwatchRowChanges(std::uint64_t id) { (void)id; }
};

} // namespace trd::server
