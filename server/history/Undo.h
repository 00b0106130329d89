#pragma once
// Undo of one version or of a whole batch. Every row the batch wrote whose
// text and status are still what the batch left goes back to what it was
// before the batch; a row changed since is left alone and listed, unless the
// caller forces it. The undo is itself a batch (kind "desfazer"), written in
// one transaction: everything of it or nothing (docs/history.md).
#include "VersionStates.h"
#include "WriteCoordinator.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trd::server::history {

struct UndoRequest {
    std::string language; // the caller's language: a batch of another is refused
    std::string user = "local";
    std::string method; // "DesfazLote", "DesfazVersao"
    bool force = false; // also put back rows changed since
    // Another user's batch or version: refused unless the caller may undo
    // anyone's (administrador of the language; docs/users.md).
    bool mayUndoOthers = true;
    // The caller is below revisor: a reviewed row of a language that
    // requires review refuses the undo (RowChange::guardReviewed).
    bool guardReviewed = false;
};

struct UndoneRow {
    std::string program, component, source;
    bool restored = false; // put back (or already as it was before)
    std::string reason; // why it was left alone
    RowState now; // the row after the undo
};

struct UndoOutcome {
    std::optional<std::int64_t> batch; // the undo's own batch; none when nothing was written
    std::vector<UndoneRow> rows; // one per row of the batch, in the order it first wrote them
};

// Refuses (a ServerError naming the fault) an unknown or another language's
// batch, one without versions, and one already undone (while its undo stands).
UndoOutcome undoBatch(WriteCoordinator& writer, const UndoRequest& request, std::int64_t batch);
// Refuses an unknown version and another language's.
UndoOutcome undoVersion(WriteCoordinator& writer, const UndoRequest& request, std::int64_t version);

} // namespace trd::server::history
