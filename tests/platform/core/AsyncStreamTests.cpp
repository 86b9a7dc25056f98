#include "platform/core/AsyncStream.hpp"
#include "platform/core/TaskGroup.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using platform::core::AsyncStream;
using platform::core::CancellationSource;
using platform::core::Task;

TEST(AsyncStream, DeliversEveryValueInOrderAcrossThreadsThenEnds) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    std::thread producer([continuation = continuation] {
        for (int value = 0; value < 10000; ++value) {
            continuation.yield(value);
        }
        continuation.finish();
    });
    std::vector<int> received;
    for (int value : stream) {
        received.push_back(value);
    }
    producer.join();
    ASSERT_EQ(received.size(), 10000u);
    for (int index = 0; index < 10000; ++index) {
        ASSERT_EQ(received[index], index);
    }
    EXPECT_EQ(stream.next(), std::nullopt);
}

// A consumer that is already waiting must be woken by each yield and by finish; repeated to expose races.
TEST(AsyncStream, WakesAConsumerThatIsAlreadyWaiting) {
    for (int round = 0; round < 200; ++round) {
        auto [stream, continuation] = AsyncStream<int>::makeStream();
        std::thread consumer([stream = stream]() mutable {
            EXPECT_EQ(stream.next(), 1);
            EXPECT_EQ(stream.next(), std::nullopt);
        });
        continuation.yield(1);
        continuation.finish();
        consumer.join();
    }
}

TEST(AsyncStream, FailureComesAfterBufferedValuesAndOnlyOnce) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    continuation.yield(1);
    continuation.fail(std::make_exception_ptr(std::runtime_error("broken")));
    EXPECT_EQ(stream.next(), 1);
    EXPECT_THROW(stream.next(), std::runtime_error);
    EXPECT_EQ(stream.next(), std::nullopt);
}

TEST(AsyncStream, RangeForPropagatesTheFailure) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    continuation.yield(7);
    continuation.fail(std::make_exception_ptr(std::runtime_error("broken")));
    std::vector<int> received;
    EXPECT_THROW(
        {
            for (int value : stream) {
                received.push_back(value);
            }
        },
        std::runtime_error);
    EXPECT_EQ(received, std::vector<int>{7});
}

TEST(AsyncStream, RejectsValuesAfterTheEnd) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    EXPECT_TRUE(continuation.yield(1));
    continuation.finish();
    EXPECT_FALSE(continuation.yield(2));
    continuation.fail(std::make_exception_ptr(std::runtime_error("too late")));
    EXPECT_EQ(stream.next(), 1);
    EXPECT_EQ(stream.next(), std::nullopt);
}

// A stream whose producer never finishes must not hold its consumer for ever once the consumer is cancelled.
TEST(AsyncStream, CancellingTheConsumerEndsAStreamThatNeverFinishes) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    CancellationSource cancellation;
    std::thread consumer([stream = stream, token = cancellation.token()]() mutable {
        Task::Scope scope(token);
        EXPECT_EQ(stream.next(), std::nullopt);
    });
    cancellation.cancel();
    consumer.join();
    EXPECT_FALSE(continuation.yield(1));
}

// Each way a stream can end runs the producer's termination handler exactly once.
TEST(AsyncStream, TerminationHandlerRunsOnceForEveryKindOfEnd) {
    const std::vector<std::pair<std::string, std::function<void(AsyncStream<int>&, AsyncStream<int>::Continuation&)>>>
        ends{{"finish", [](auto&, auto& continuation) { continuation.finish(); }},
             {"fail",
              [](auto&, auto& continuation) {
                  continuation.fail(std::make_exception_ptr(std::runtime_error("broken")));
              }},
             {"consumer cancelled",
              [](auto& stream, auto&) {
                  CancellationSource cancellation;
                  cancellation.cancel();
                  Task::Scope scope(cancellation.token());
                  EXPECT_EQ(stream.next(), std::nullopt);
              }},
             {"consumer dropped", [](auto& stream, auto&) { stream = AsyncStream<int>(); }},
             {"consumer ended", [](auto& stream, auto&) { stream.cancel(); }}};
    for (const auto& [name, end] : ends) {
        SCOPED_TRACE(name);
        auto [stream, continuation] = AsyncStream<int>::makeStream();
        int calls = 0;
        continuation.onTermination([&calls] { ++calls; });
        EXPECT_TRUE(continuation.yield(1));
        end(stream, continuation);
        continuation.finish();
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(continuation.yield(2));
    }
}

// A consumer that stops reading while other copies of its side live must still turn its producer away.
TEST(AsyncStream, AConsumerThatEndsTheStreamRefusesLaterValues) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    const auto copy = stream;
    EXPECT_TRUE(continuation.yield(1));
    stream.cancel();
    EXPECT_FALSE(continuation.yield(2));
    EXPECT_EQ(stream.next(), std::nullopt);
}

TEST(AsyncStream, EndingAFailedStreamKeepsItsError) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    continuation.fail(std::make_exception_ptr(std::runtime_error("broken")));
    stream.cancel();
    EXPECT_THROW(stream.next(), std::runtime_error);
}

TEST(AsyncStream, HandlerSetAfterTheEndRunsAtOnce) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    continuation.finish();
    bool ran = false;
    continuation.onTermination([&ran] { ran = true; });
    EXPECT_TRUE(ran);
}

// A copy of the consumer's side keeps the stream alive; only the last one to go ends it.
TEST(AsyncStream, StreamEndsWhenTheLastConsumerCopyIsDropped) {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    bool ended = false;
    continuation.onTermination([&ended] { ended = true; });
    auto copy = std::make_optional(stream);
    stream = AsyncStream<int>();
    EXPECT_FALSE(ended);
    EXPECT_TRUE(continuation.yield(1));
    copy.reset();
    EXPECT_TRUE(ended);
}

} // namespace
