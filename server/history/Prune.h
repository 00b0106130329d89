#pragma once
// Retention: versions are kept until an operator removes the old ones
// (trd-server --prune-history DAYS, docs/history.md).
#include "WriteCoordinator.h"

namespace trd::server::history {

// Removes the batches opened more than `days` days before `now`, with their
// versions, a chunk of batches per transaction so that saves go on between
// them. Returns what was removed.
PruneCount pruneHistory(WriteCoordinator& writer, double days, double now, std::int64_t chunk = 2000);

} // namespace trd::server::history
