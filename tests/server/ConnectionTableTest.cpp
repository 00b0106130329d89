// The accounting of open connections: the limits per address and in all,
// the idle connection that gives its place to a newcomer of its address, and
// a connection counted out exactly once whatever happened to it.
#include "ConnectionTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace trd::server;

namespace {

struct Fake : CountedConnection {
    explicit Fake(std::string address) : CountedConnection(std::move(address)) { }
    void evict() override { ++evictions; }
    int evictions = 0;
};

// Admits a connection and makes it, as the server does once admitted.
std::shared_ptr<Fake> open(ConnectionTable& table, const std::string& address)
{
    const auto admission = table.admit(address);
    EXPECT_TRUE(admission.refusal.empty()) << admission.refusal;
    EXPECT_EQ(admission.evicted, nullptr);
    return std::make_shared<Fake>(address);
}

} // namespace

TEST(ConnectionTable, LimitsPerAddressAndInAllWithTheirWords)
{
    ConnectionTable table(3, 2);
    auto a1 = open(table, "10.0.0.1");
    auto a2 = open(table, "10.0.0.1");
    EXPECT_EQ(table.admit("10.0.0.1").refusal, "Conexões demais deste endereço (limite 2).");
    auto b1 = open(table, "10.0.0.2");
    EXPECT_EQ(table.admit("10.0.0.3").refusal, "Servidor com conexões demais; tente de novo em instantes.");
    EXPECT_EQ(table.total(), 3);
    EXPECT_EQ(table.addresses(), 2u) << "a refused address leaves no entry behind";

    // Closing frees the place, once: a second release counts nothing.
    table.release(*a1);
    table.release(*a1);
    EXPECT_EQ(table.countOf("10.0.0.1"), 1);
    EXPECT_EQ(table.total(), 2);
    auto a3 = open(table, "10.0.0.1");
    table.release(*a2);
    table.release(*a3);
    table.release(*b1);
    EXPECT_EQ(table.total(), 0);
    EXPECT_EQ(table.addresses(), 0u);
}

TEST(ConnectionTable, TheOldestIdleConnectionGivesWayToANewcomerOfItsAddress)
{
    ConnectionTable table(100, 3);
    std::vector<std::shared_ptr<Fake>> mine;
    for (int i = 0; i < 3; ++i)
        mine.push_back(open(table, "127.0.0.1"));
    table.markIdle(*mine[1]);
    table.markIdle(*mine[2]);
    table.markIdle(*mine[1]); // already idle: keeps its age
    table.markBusy(*mine[2]); // a request began: not to be evicted

    auto admission = table.admit("127.0.0.1");
    ASSERT_TRUE(admission.refusal.empty()) << admission.refusal;
    EXPECT_EQ(admission.evicted, mine[1]);
    EXPECT_EQ(table.countOf("127.0.0.1"), 3) << "one out, one in";
    auto newcomer = std::make_shared<Fake>("127.0.0.1");
    // The evicted one closes later: it was counted out already.
    table.release(*mine[1]);
    EXPECT_EQ(table.countOf("127.0.0.1"), 3);

    // With no idle one left the address is at its limit.
    EXPECT_FALSE(table.admit("127.0.0.1").refusal.empty());

    // An idle connection on its way out (its last owner gone, its
    // destructor not yet through) is passed over for the next idle one.
    table.markIdle(*mine[0]);
    table.markIdle(*newcomer);
    mine[0].reset();
    admission = table.admit("127.0.0.1");
    EXPECT_EQ(admission.evicted, newcomer);
    EXPECT_EQ(table.idleOf("127.0.0.1"), 0);
}

TEST(ConnectionTable, NoEvictionWhenTheServerItselfIsFull)
{
    ConnectionTable table(2, 2);
    auto a = open(table, "10.0.0.1");
    auto b = open(table, "10.0.0.1");
    table.markIdle(*a);
    const auto admission = table.admit("10.0.0.1");
    EXPECT_EQ(admission.refusal, "Servidor com conexões demais; tente de novo em instantes.");
    EXPECT_EQ(admission.evicted, nullptr);
    EXPECT_EQ(table.idleOf("10.0.0.1"), 1);
    EXPECT_EQ(table.total(), 2);
}
