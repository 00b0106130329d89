// A user's save waiting beside a piece of a long run (a write into an open
// batch: a pre-translation, a replace-all run) is committed first, in a
// transaction of its own; the piece gives way once only, so saves arriving
// without pause cannot hold the run back.
#include "HistoryRecords.h"
#include "WriteCoordinator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <thread>

using namespace trd::server;

namespace {

// Writes down each change's key and every commit ("|"); holds a change whose
// key has a gate until the test opens it, as a long piece on a slow disk would.
class GatedWriter : public StorageWriter {
public:
    void beginBatch() override { }
    void beginItem() override { }
    void endItem(bool) override { }
    void commitBatch() override { note("|"); }
    void rollbackBatch() override { }
    void apply(const RowChange& change, double) override
    {
        const std::string& key = change.original.component;
        note(key);
        std::shared_future<void> gate;
        {
            std::lock_guard lock(m_mutex);
            const auto found = m_gates.find(key);
            if (found == m_gates.end())
                return;
            found->second.entered.set_value();
            gate = found->second.open;
        }
        gate.wait();
    }
    void putLanguage(const Language&) override { }
    void insertRow(const TranslationRow&, double) override { }

    // The change of `key` will wait in apply() until the returned promise is kept.
    std::promise<void> gate(const std::string& key, std::future<void>& entered)
    {
        std::promise<void> open;
        std::lock_guard lock(m_mutex);
        Gate& g = m_gates[key];
        g.open = open.get_future().share();
        entered = g.entered.get_future();
        return open;
    }
    std::string written()
    {
        std::lock_guard lock(m_mutex);
        return m_written;
    }

private:
    struct Gate {
        std::promise<void> entered;
        std::shared_future<void> open;
    };
    void note(const std::string& what)
    {
        std::lock_guard lock(m_mutex);
        m_written += (m_written.empty() || what == "|" ? "" : " ") + what;
    }
    std::mutex m_mutex;
    std::map<std::string, Gate> m_gates;
    std::string m_written;
};

std::vector<RowChange> change(const std::string& key)
{
    RowChange c;
    c.original = {"ENG", "P", key, "s"};
    c.updated.key = c.original;
    return {c};
}

WriteOrigin pieceOfRun()
{
    WriteOrigin o;
    o.method = "SetDestino";
    o.kind = BatchKind::Machine;
    o.batch = 7;
    return o;
}

// Until `n` deltas wait in the coordinator's queue.
void waitQueued(const WriteCoordinator& coordinator, std::uint64_t n)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (coordinator.stats().waiting < n && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(coordinator.stats().waiting, n);
}

} // namespace

TEST(WriteCoordinatorOrder, SavesGoBeforeThePiecesOfARunButAPieceGivesWayOnceOnly)
{
    auto owned = std::make_unique<GatedWriter>();
    GatedWriter& writer = *owned;
    WriteCoordinator coordinator(std::move(owned), [] { return 100.0; });
    const WriteOrigin piece = pieceOfRun(), save;

    // A piece of the run is being written; another piece, then a save, queue behind it.
    std::future<void> firstEntered, saveEntered;
    std::promise<void> first = writer.gate("piece1", firstEntered);
    std::promise<void> save1 = writer.gate("save1", saveEntered);
    std::thread t1([&] { coordinator.apply(change("piece1"), piece); });
    firstEntered.wait();
    std::thread t2([&] { coordinator.apply(change("piece2"), piece); });
    waitQueued(coordinator, 1);
    std::thread t3([&] { coordinator.apply(change("save1"), save); });
    waitQueued(coordinator, 2);
    first.set_value();

    // The save went first, alone; while it is written a second save queues.
    saveEntered.wait();
    EXPECT_EQ(writer.written(), "piece1| save1");
    std::thread t4([&] { coordinator.apply(change("save2"), save); });
    waitQueued(coordinator, 2);
    save1.set_value();
    for (std::thread* t : {&t1, &t2, &t3, &t4})
        t->join();

    // The piece has given way once: it goes with the next save, not behind it.
    EXPECT_EQ(writer.written(), "piece1| save1| piece2 save2|");
    EXPECT_EQ(coordinator.stats().deltas, 4u);
    EXPECT_EQ(coordinator.stats().waiting, 0u);
}
