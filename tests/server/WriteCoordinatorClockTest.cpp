// The moment GetDataHoraServ answers is one no later write is dated before:
// while a batch is being written its own date, which is earlier than the
// clock by the time the batch takes, so an export stamped with that moment
// tells the batch's rows as changed after it.
#include "WriteCoordinator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

using namespace trd::server;

namespace {

// Holds the first change until released, as a long batch on a slow disk would.
class SlowWriter : public StorageWriter {
public:
    SlowWriter(std::promise<void>& entered, std::shared_future<void> release) : m_entered(entered), m_release(release)
    {
    }
    void beginBatch() override { }
    void beginItem() override { }
    void endItem(bool) override { }
    void commitBatch() override { }
    void rollbackBatch() override { }
    void apply(const RowChange&, double now) override
    {
        dated = now;
        m_entered.set_value();
        m_release.wait();
    }
    void putLanguage(const Language&) override { }
    void insertRow(const TranslationRow&, double) override { }
    double dated = 0;

private:
    std::promise<void>& m_entered;
    std::shared_future<void> m_release;
};

} // namespace

TEST(WriteCoordinatorClock, TheReadTimeIsNeverLaterThanABatchStillBeingWritten)
{
    std::atomic<double> clock{100.0};
    std::promise<void> entered, release;
    auto writer = std::make_unique<SlowWriter>(entered, release.get_future().share());
    SlowWriter& seen = *writer;
    WriteCoordinator coordinator(std::move(writer), [&clock] { return clock.load(); });
    EXPECT_EQ(coordinator.readTime(), 100.0);

    RowChange change;
    change.original = {"ENG", "P", "c", "s"};
    change.updated.key = change.original;
    std::thread saver([&] { coordinator.apply({change}); });
    entered.get_future().wait();
    clock = 200.0; // the clock moves on while the batch is written
    EXPECT_EQ(coordinator.readTime(), 100.0);
    EXPECT_EQ(seen.dated, 100.0);
    release.set_value();
    saver.join();
    EXPECT_EQ(coordinator.readTime(), 200.0);
}
