#include "Prune.h"

#include "HistoryRecords.h"

#include <chrono>
#include <thread>

namespace trd::server::history {

namespace {

// A chunk that found the database busy (the serving server's writer holding
// it past the busy wait) is tried again this many times before giving up.
constexpr int BusyRetries = 20;

} // namespace

PruneCount pruneHistory(WriteCoordinator& writer, double days, double now, std::int64_t chunk)
{
    const double before = now - days;
    WriteOrigin origin;
    origin.method = "--prune-history";
    PruneCount total;
    int busy = 0;
    for (;;) {
        PruneCount step;
        try {
            writer.runExclusive(origin, [&](StorageWriter& w) { step = w.pruneHistory(before, chunk); });
        } catch (const ServerError& e) {
            if (e.kind() == ErrorKind::Unavailable && ++busy <= BusyRetries) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100 * busy));
                continue;
            }
            // What the chunks before this one removed is committed: say so, so
            // that the operator knows where a second run starts.
            throw PruneStopped(total, e);
        }
        busy = 0;
        total.batches += step.batches;
        total.versions += step.versions;
        if (step.batches < chunk)
            return total;
    }
}

PruneStopped::PruneStopped(PruneCount done, const ServerError& cause)
    : ServerError(cause.kind(), cause.userMessage(),
                  "a limpeza do histórico parou depois de remover " + std::to_string(done.batches) + " lotes e "
                      + std::to_string(done.versions) + " versões: " + cause.what()),
      m_done(done)
{
}

} // namespace trd::server::history
