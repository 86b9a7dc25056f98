#include "platform/core/AsyncStream.hpp"
#include "platform/core/TaskGroup.hpp"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

namespace {

using platform::core::AsyncStream;
using platform::core::TaskGroup;

// Audio buffers travel from a capture thread to the recogniser through a stream: the cost per element.
void BM_AsyncStreamAcrossThreads(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto [stream, continuation] = AsyncStream<int>::makeStream();
        std::thread producer([continuation = continuation, count] {
            for (int value = 0; value < count; ++value) {
                continuation.yield(value);
            }
            continuation.finish();
        });
        long sum = 0;
        for (int value : stream) {
            sum += value;
        }
        producer.join();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_AsyncStreamAcrossThreads)->Arg(1024);

// Long audio spawns one job per chunk: the overhead of spawning and awaiting small jobs.
void BM_TaskGroupSpawnAndWait(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::atomic<int> done = 0;
        TaskGroup group;
        for (int index = 0; index < count; ++index) {
            group.spawn([&done] { done.fetch_add(1, std::memory_order_relaxed); });
        }
        group.waitAll();
        benchmark::DoNotOptimize(done.load());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_TaskGroupSpawnAndWait)->Arg(64);

} // namespace
