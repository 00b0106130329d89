// The memory budget for request bodies: who waits, in what order, and what a
// wait given up frees for the others.
#include "MemoryBudget.h"

#include <gtest/gtest.h>

#include <vector>

using trd::server::MemoryBudget;

TEST(MemoryBudget, LargeRequestsTakeTurnsSmallOnesPassAndGivingUpFreesTheQueue)
{
    MemoryBudget budget(6400);
    std::vector<int> granted;
    EXPECT_EQ(budget.acquire(4000, [] {}), 0u); // fits: at once
    const auto second = budget.acquire(3000, [&] { granted.push_back(2); }); // waits
    const auto third = budget.acquire(2000, [&] { granted.push_back(3); }); // fits, but a large one is first
    ASSERT_NE(second, 0u);
    ASSERT_NE(third, 0u);
    EXPECT_EQ(budget.acquire(100, [] {}), 0u); // small (up to 1/64): passes the queue when it fits
    EXPECT_EQ(budget.inUse(), 4100u);

    // The first to wait gives up: the one behind it no longer waits for it.
    EXPECT_TRUE(budget.cancel(second));
    EXPECT_EQ(granted, std::vector<int>{3});
    EXPECT_EQ(budget.inUse(), 6100u);
    EXPECT_FALSE(budget.cancel(third)); // granted already

    const auto fourth = budget.acquire(5000, [&] { granted.push_back(4); });
    budget.release(4000);
    EXPECT_EQ(granted, (std::vector<int>{3}));
    budget.release(2000);
    EXPECT_EQ(granted, (std::vector<int>{3, 4}));
    EXPECT_FALSE(budget.cancel(fourth));
    budget.release(100);
    budget.release(5000);
    EXPECT_EQ(budget.inUse(), 0u);
}
