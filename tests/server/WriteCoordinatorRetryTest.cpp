// A batch the database aborts for a deadlock or a serialization failure runs
// again, whole, a bounded number of times; then its callers get the message
// meant for them and nothing of the batch stands.
#include "RpcError.h"
#include "WriteCoordinator.h"

#include <gtest/gtest.h>

using namespace trd::server;

namespace {

// Records what reached the database; aborts the first `aborts` transactions
// at their first change, as a deadlock victim would be.
class AbortingWriter : public StorageWriter {
public:
    explicit AbortingWriter(int aborts, std::vector<std::string>& committed, int& attempts)
        : m_aborts(aborts), m_committed(committed), m_attempts(attempts)
    {
    }
    void beginBatch() override
    {
        ++m_attempts;
        m_pending.clear();
    }
    void beginItem() override { }
    void endItem(bool) override { }
    void commitBatch() override { m_committed.insert(m_committed.end(), m_pending.begin(), m_pending.end()); }
    void rollbackBatch() override { m_pending.clear(); }
    void lockRows(const std::vector<const RowKey*>& keys) override { locked = keys.size(); }
    void apply(const RowChange& change, double) override
    {
        if (m_attempts <= m_aborts)
            throw StorageError("deadlock detected", "tente salvar novamente", true);
        m_pending.push_back(change.updated.destination);
    }
    void putLanguage(const Language&) override { }
    void insertRow(const TranslationRow&, double) override { }
    std::size_t locked = 0;

private:
    int m_aborts;
    std::vector<std::string>& m_committed;
    int& m_attempts;
    std::vector<std::string> m_pending;
};

std::vector<RowChange> delta(const std::string& text)
{
    RowChange change;
    change.original = {"ENG", "P", "c", "s"};
    change.updated.key = change.original;
    change.updated.destination = text;
    return {change, change};
}

} // namespace

TEST(WriteCoordinatorRetry, AnAbortedBatchRunsAgainThenGivesUpWithTheUsersMessage)
{
    std::vector<std::string> committed;
    int attempts = 0;
    auto writer = std::make_unique<AbortingWriter>(2, committed, attempts);
    AbortingWriter& seen = *writer;
    WriteCoordinator coordinator(std::move(writer), [] { return 46000.0; });
    EXPECT_NO_THROW(coordinator.apply(delta("a")));
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(committed, (std::vector<std::string>{"a", "a"})); // once, not once per attempt
    EXPECT_EQ(seen.locked, 2u);

    committed.clear();
    attempts = 0;
    WriteCoordinator hopeless(std::make_unique<AbortingWriter>(1000, committed, attempts), [] { return 46000.0; });
    try {
        hopeless.apply(delta("b"));
        FAIL() << "an always aborted save was acknowledged";
    } catch (const StorageError& e) {
        EXPECT_EQ(e.userMessage(), "tente salvar novamente");
    }
    EXPECT_EQ(attempts, 4);
    EXPECT_TRUE(committed.empty());
}
