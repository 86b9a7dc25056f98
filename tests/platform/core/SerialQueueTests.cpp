#include "platform/core/SerialQueue.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

using platform::core::SerialQueue;

TEST(SerialQueue, RunsJobsOneAtATimeInSubmissionOrder) {
    std::vector<int> order;
    {
        SerialQueue queue("test");
        for (int index = 0; index < 1000; ++index) {
            queue.async([&order, index] { order.push_back(index); });
        }
    }
    ASSERT_EQ(order.size(), 1000u);
    for (int index = 0; index < 1000; ++index) {
        ASSERT_EQ(order[index], index);
    }
}

TEST(SerialQueue, SyncReturnsTheResultOrRethrows) {
    SerialQueue queue("test");
    EXPECT_EQ(queue.sync([] { return 42; }), 42);
    EXPECT_THROW(queue.sync([]() -> int { throw std::runtime_error("failed"); }), std::runtime_error);
}

TEST(SerialQueue, SyncFromTheQueueItselfRunsInline) {
    SerialQueue queue("test");
    const bool nestedRanOnQueue = queue.sync([&queue] { return queue.sync([&queue] { return queue.isCurrent(); }); });
    EXPECT_TRUE(nestedRanOnQueue);
    EXPECT_FALSE(queue.isCurrent());
}

} // namespace
