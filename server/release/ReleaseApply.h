#pragma once
// A release read, reconciled and shown (preview) or written (apply) through
// the storage interface, language by language, in one transaction for the
// apply: each language's rows are read inside it, planned, checked against
// the guards and written as its own batch of kind "liberacao", so a guard
// that trips in the last language leaves the first ones untouched as well.
// Also the undo of one language's release batch, whole.
#include "ReleaseProgress.h"
#include "ReleaseSummary.h"
#include "WriteCoordinator.h"

#include <cstdint>
#include <string>
#include <vector>

namespace trd::server::release {

struct ReleaseRequest {
    std::string file; // the release file's text
    ReconcileOptions options;
    int vanishLimit = 30; // percent
    bool confirm = false; // apply even when a guard trips
    std::string user = "local";
};

// A row of the answer's lists (docs/protocol.md, "Releases").
struct DetailRow {
    char kind = 'N'; // 'R', 'M', 'N', 'V', 'O'
    std::string program, component, source;
    std::string fromProgram, fromComponent, fromSource;
    std::string destination, status;
    int similarity = 0;
    bool fromMemory = false;
};

struct LanguageOutcome {
    std::string language;
    LanguageSummary summary;
    std::vector<DetailRow> details; // by kind R, M, N, V, O, each in key order
    std::int64_t batch = 0; // the apply's batch; 0 when nothing was written
};

struct ReleaseOutcome {
    std::size_t keys = 0;
    std::vector<LanguageOutcome> languages; // in the order given
};

// Writes nothing. Refuses (BadArgument) a file with a fault.
ReleaseOutcome previewRelease(StorageSession& session, const std::vector<std::string>& languages,
                              const ReleaseRequest& request);
// Refuses a file with a fault, and (Unconfirmed) without request.confirm a
// release that trips a guard in any language, with nothing written. With
// `progress`, each language's steps are told to it, and a cancel asked for
// there before the commit rolls the whole release back.
ReleaseOutcome applyRelease(WriteCoordinator& writer, const std::vector<std::string>& languages,
                            const ReleaseRequest& request, ReleaseProgress* progress = nullptr);

struct ReleaseUndoRow {
    std::string program, component, source;
    bool restored = false;
    std::string reason; // why the undo did not go ahead, for a row changed since
    std::string destination, status; // after the undo (empty when the row is gone)
};

struct ReleaseUndoOutcome {
    std::int64_t batch = 0; // the undo's own batch; 0 when nothing was written
    std::vector<ReleaseUndoRow> rows;
};

// Undoes the whole of one language's release batch: rows it created deleted,
// rows it made obsolete live again, rows it revived obsolete again. When a
// row it wrote has changed since, nothing is undone unless forced.
ReleaseUndoOutcome undoRelease(WriteCoordinator& writer, const std::string& language, std::int64_t batch, bool force,
                               const std::string& user);

} // namespace trd::server::release
