#pragma once
// Retention: versions are kept until an operator removes the old ones
// (trd-server --prune-history DAYS, docs/history.md).
#include "WriteCoordinator.h"

namespace trd::server::history {

// Removes the batches opened more than `days` days before `now`, with their
// versions, a chunk of batches per transaction so that saves go on between
// them. A chunk that meets a busy database is tried again. Returns what was
// removed; throws PruneStopped, which says what was removed before, when a
// chunk fails for good.
PruneCount pruneHistory(WriteCoordinator& writer, double days, double now, std::int64_t chunk = 2000);

class PruneStopped : public ServerError {
public:
    PruneStopped(PruneCount done, const ServerError& cause);
    PruneCount done() const { return m_done; }

private:
    PruneCount m_done;
};

} // namespace trd::server::history
