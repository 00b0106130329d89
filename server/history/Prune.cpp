#include "Prune.h"

#include "HistoryRecords.h"

namespace trd::server::history {

PruneCount pruneHistory(WriteCoordinator& writer, double days, double now, std::int64_t chunk)
{
    const double before = now - days;
    WriteOrigin origin;
    origin.method = "--prune-history";
    PruneCount total;
    for (;;) {
        PruneCount step;
        writer.runExclusive(origin, [&](StorageWriter& w) { step = w.pruneHistory(before, chunk); });
        total.batches += step.batches;
        total.versions += step.versions;
        if (step.batches < chunk)
            return total;
    }
}

} // namespace trd::server::history
