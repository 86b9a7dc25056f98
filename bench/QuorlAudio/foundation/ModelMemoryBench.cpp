#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "QuorlAudio/foundation/MLArrayCache.hpp"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

// The recogniser's per-window input: one borrow and one return (with its zero fill) per model call.
void BM_ArrayPoolGetReturnCycle(benchmark::State& state) {
    quorl::MLArrayCache cache;
    const std::vector<std::size_t> shape{1, static_cast<std::size_t>(state.range(0))};
    cache.returnArray(cache.getArray(shape, DataType::float32));
    for (auto _ : state) {
        auto array = cache.getArray(shape, DataType::float32);
        benchmark::DoNotOptimize(array->dataPointer());
        cache.returnArray(array);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * static_cast<std::int64_t>(sizeof(float)));
}
BENCHMARK(BM_ArrayPoolGetReturnCycle)->Arg(1)->Arg(240000);

// An encoder-sized output in the padded layout copied into a dense array, row by row.
void BM_StrideAwareCopyPaddedToDense(benchmark::State& state) {
    const std::vector<std::size_t> shape{1, 1024, static_cast<std::size_t>(state.range(0))};
    auto padded = quorl::ANEMemoryUtils::createAlignedArray(shape, DataType::float32, true);
    MultiArray dense(shape, DataType::float32);
    for (auto _ : state) {
        quorl::ANEMemoryUtils::strideAwareCopy(*padded, dense);
        benchmark::DoNotOptimize(dense.dataPointer());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(dense.count() * sizeof(float)));
}
BENCHMARK(BM_StrideAwareCopyPaddedToDense)->Arg(1000)->Arg(1008);

// The same copy between two arrays of the padded layout: one block move.
void BM_StrideAwareCopySameLayout(benchmark::State& state) {
    const std::vector<std::size_t> shape{1, 1024, 1000};
    auto source = quorl::ANEMemoryUtils::createAlignedArray(shape, DataType::float32, true);
    auto destination = quorl::ANEMemoryUtils::createAlignedArray(shape, DataType::float32, true);
    for (auto _ : state) {
        quorl::ANEMemoryUtils::strideAwareCopy(*source, *destination);
        benchmark::DoNotOptimize(destination->dataPointer());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source->count() * sizeof(float)));
}
BENCHMARK(BM_StrideAwareCopySameLayout);

} // namespace
