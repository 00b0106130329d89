#pragma once
// What the back ends keep of every write to a translation row: the batch it
// belongs to (who, when, how, in which language) and one version per row
// written. A version keeps the row's status before and after and its text
// before; the text after is the next version's text before, or the row's
// current text for the newest one, so no text is kept twice (docs/history.md,
// "What is kept"). Reading them back into whole states is the history
// layer's work (history/VersionStates.h).
#include "Storage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trd::server {

// Why rows were written together. Stored as one letter, answered as a word.
enum class BatchKind : char {
    Edit = 'E', // one post of the editor (one SetDestino)
    Replace = 'S', // a replace-all run: many SetDestino calls
    Import = 'I', // an import (--import-tsv, --demo, files)
    Propagation = 'P', // one translation carried to rows with the same source text
    Undo = 'D', // an undo of a version or of a batch
    Review = 'R', // one review mark (MarcaRevisao, docs/users.md)
    Release = 'L', // one language's part of a release of the application (docs/releases.md)
    Machine = 'M', // texts that came from the machine translation: a post or a pre-translation
};

// "edicao", "substituicao", "importacao", "propagacao", "desfazer", "revisao", "liberacao", "automatica".
std::string_view batchKindName(BatchKind kind);
std::optional<BatchKind> batchKindFromName(std::string_view name);
std::optional<BatchKind> batchKindFromCode(char code);

// Who writes, through what, and into which batch. Every write of a
// transaction goes to the batch of its origin; batches are opened as the
// first row of each language is written, so a batch holds one language.
struct WriteOrigin {
    std::string user = "local"; // the login name; "local" on a server without users
    std::string method; // the method or tool that wrote: "SetDestino", "DesfazLote", "--import-tsv"
    BatchKind kind = BatchKind::Edit;
    std::optional<std::int64_t> batch; // write into this open batch (AbreLote) instead of a new one
    std::optional<std::int64_t> undoes; // an undo of a whole batch: that batch
};

struct BatchRecord {
    std::int64_t id = 0;
    std::string language;
    BatchKind kind = BatchKind::Edit;
    std::string user;
    std::string method;
    double when = 0; // when it was opened, days since 1899-12-30, server local time
    std::int64_t rows = 0; // versions written into it
    std::int64_t firstVersion = 0; // its lowest version id; 0 while it has none
    std::optional<std::int64_t> undoes; // an undo of a whole batch: that batch
};

enum class ChangeType : char {
    Change = 'A', // text or status changed
    Insert = 'I', // the row was created
    Delete = 'E', // the row was deleted
    // A review mark set or taken away: the text and status stay as they
    // were (the version keeps the status as before and after, and no text).
    Reviewed = 'R',
    Unreviewed = 'U',
    // Only in a release's batch, or in its undo: the flag moves, the text,
    // status and change date stay.
    Obsolete = 'O', // the row left the application: kept, out of every read
    Revive = 'V', // an obsolete row came back
};
bool isReviewMark(ChangeType type);

// The method that usually writes a batch of the kind: kept as nothing (a
// single post's batch would otherwise carry "SetDestino" every time).
std::string_view usualMethod(BatchKind kind, bool undoesBatch);

// How a change type is stored: 0 a change (stored in no bytes at all by
// SQLite), 1 an insert, 2 a delete, 3 made obsolete, 4 revived, 5 a review
// mark set, 6 one taken away.
int changeTypeCode(ChangeType type);
ChangeType changeTypeFromCode(long long code);

// Refuses (BadArgument) a write of `origin` into the open batch `id` found as
// `batch`: one that does not exist, another language's, another user's, or a
// kind that is not written over several calls (an edit, an undo); and
// (Conflict) one an undo has undone, `undoneBy` naming that undo.
void checkBatchAccepts(const std::optional<BatchRecord>& batch, std::int64_t id, const WriteOrigin& origin,
                       const std::string& language, std::optional<std::int64_t> undoneBy);

// One version as kept, with what its batch says about it.
struct VersionRecord {
    std::int64_t id = 0;
    std::int64_t batch = 0;
    std::int64_t row = 0; // IDTRADUCAO
    std::optional<std::int64_t> previous; // the row's version before this one, when still kept
    ChangeType type = ChangeType::Change;
    std::string statusBefore; // empty for an insert
    std::string statusAfter; // empty for a delete
    // The text before: absent for an insert, and for a change that left the
    // text as it was (a status change), whose text before is its text after.
    std::optional<std::string> textBefore;
    double when = 0; // the change date-time
    // Of its batch:
    BatchKind kind = BatchKind::Edit;
    std::string user;
    std::string method;
};

// The refusal of a save whose row changed since the client read it, naming
// who changed it and when when the row's newest version tells (a row that
// is gone, or one with no version yet, names no one).
[[noreturn]] void changedByOther(const RowKey& original, const std::optional<VersionRecord>& newest);

// A translation row as it stands, with its newest version.
struct CurrentRow {
    std::int64_t id = 0;
    std::string language, program, component, source;
    std::string destination;
    std::string status;
    double changed = 0;
    std::optional<std::int64_t> lastVersion;
};

// What a back end reads of the history, from a read session or from inside
// the writer's transaction (where an undo reads what it is about to change).
class HistoryReader {
public:
    virtual ~HistoryReader() = default;

    virtual std::optional<CurrentRow> rowByKey(const std::string& language, const std::string& program,
                                               const std::string& component, const std::string& source) = 0;
    virtual std::optional<CurrentRow> rowById(std::int64_t id) = 0;
    // The chain of a row's versions from `newest` back, newest first: at most
    // `limit` (0: all), stopping after the version `downTo` (0: none).
    virtual std::vector<VersionRecord> chain(std::int64_t newest, std::size_t limit, std::int64_t downTo = 0) = 0;
    // rowById for many rows: those of the ids that exist, in no order.
    virtual std::vector<CurrentRow> rowsById(const std::vector<std::int64_t>& ids)
    {
        std::vector<CurrentRow> out;
        for (const std::int64_t id : ids)
            if (auto row = rowById(id))
                out.push_back(std::move(*row));
        return out;
    }
    // chain(newest, 0, downTo) for each (newest, downTo), in the order asked.
    virtual std::vector<std::vector<VersionRecord>> chains(
        const std::vector<std::pair<std::int64_t, std::int64_t>>& asked)
    {
        std::vector<std::vector<VersionRecord>> out;
        out.reserve(asked.size());
        for (const auto& [newest, downTo] : asked)
            out.push_back(chain(newest, 0, downTo));
        return out;
    }
    virtual std::optional<VersionRecord> version(std::int64_t id) = 0;
    virtual std::optional<BatchRecord> batch(std::int64_t id) = 0;
    // The language's batches that hold versions and were opened within the
    // dates, newest first.
    virtual std::vector<BatchRecord> batches(const std::string& language, const DateBounds& dates) = 0;
    // Every version of the batch, oldest first.
    virtual std::vector<VersionRecord> batchVersions(const BatchRecord& batch) = 0;
    // The newest delete version of the row with this id, and the identity it
    // kept of the row.
    virtual std::optional<std::pair<std::int64_t, RowKey>> lastDeletion(std::int64_t row) = 0;
    // The newest batch that undid this whole batch.
    virtual std::optional<std::int64_t> undoneBy(std::int64_t batch) = 0;
    // Every undo of a whole batch of the language: (the batch, its newest undo).
    virtual std::vector<std::pair<std::int64_t, std::int64_t>> undos(const std::string& language) = 0;
};

// "O lote N", as the refusals about a batch name it.
std::string batchName(std::int64_t id);
// The batch an undo of the language names, as kept; refuses a batch that is
// not kept (never written, or pruned) and one of another language.
BatchRecord batchToUndo(HistoryReader& history, std::int64_t id, const std::string& language);

} // namespace trd::server
