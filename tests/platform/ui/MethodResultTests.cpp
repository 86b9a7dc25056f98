#include "ValuePrinting.hpp"

#include "platform/core/MainQueue.hpp"
#include "platform/ui/MethodResult.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using platform::core::MainQueue;
using platform::ui::MethodError;
using platform::ui::MethodReply;
using platform::ui::MethodResult;
using platform::ui::NotImplemented;
using platform::ui::Value;

TEST(MethodResult, OnlyTheFirstReplyOfAllCopiesIsDelivered) {
    MainQueue queue;
    std::vector<MethodReply> delivered;
    const MethodResult result(queue, [&](MethodReply reply) { delivered.push_back(std::move(reply)); });
    const MethodResult copy = result;

    EXPECT_FALSE(copy.isAnswered());
    copy.error("bad_args", "text is required");
    result.success("late");
    copy.notImplemented();
    queue.runUntilIdle();

    EXPECT_TRUE(result.isAnswered());
    const MethodReply expected = MethodError{.code = "bad_args", .message = "text is required", .details = {}};
    EXPECT_EQ(delivered, std::vector<MethodReply>{expected});
}

TEST(MethodResult, RepliesFromAnotherThreadAreDeliveredOnTheMainQueueInTheOrderGiven) {
    MainQueue queue;
    std::vector<MethodReply> delivered;
    bool allOnMainQueue = true;
    std::vector<MethodResult> results;
    for (int index = 0; index < 50; ++index) {
        results.emplace_back(queue, [&](MethodReply reply) {
            allOnMainQueue = allOnMainQueue && queue.isCurrent();
            delivered.push_back(std::move(reply));
        });
    }
    std::thread worker([&results] {
        for (std::size_t index = 0; index < results.size(); ++index) {
            if (index % 10 == 9) {
                results[index].notImplemented();
            } else {
                results[index].success(static_cast<int>(index));
            }
        }
    });
    worker.join();
    EXPECT_TRUE(delivered.empty());

    queue.runUntilIdle();
    ASSERT_EQ(delivered.size(), results.size());
    for (std::size_t index = 0; index < delivered.size(); ++index) {
        const MethodReply expected =
            index % 10 == 9 ? MethodReply(NotImplemented{}) : MethodReply(Value(static_cast<int>(index)));
        EXPECT_EQ(delivered[index], expected) << index;
    }
    EXPECT_TRUE(allOnMainQueue);
}

// A reply on the main queue waits its turn behind what other threads posted before it.
TEST(MethodResult, AReplyOnTheMainQueueDoesNotOvertakeEarlierPostedWork) {
    MainQueue queue;
    std::vector<std::string> order;
    const MethodResult result(queue, [&](const MethodReply&) { order.push_back("reply"); });
    queue.async([&] {
        std::thread([&queue, &order] { queue.async([&order] { order.push_back("posted first"); }); }).join();
        result.success();
    });
    queue.runUntilIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"posted first", "reply"}));
}

} // namespace
