#include "QuorlAudio/diarization/offline/CentroidLinkage.hpp"
#include "QuorlAudio/diarization/offline/KMeansClustering.hpp"
#include "QuorlAudio/diarization/offline/PLDATransform.hpp"
#include "QuorlAudio/diarization/offline/VBxClustering.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorl {
namespace {

// Rows drawn around `speakers` directions, so the clustering stages see the structure of real embeddings.
std::vector<std::vector<double>> speakerRows(std::size_t rows, std::size_t dimension, std::size_t speakers) {
    std::vector<std::vector<double>> result(rows, std::vector<double>(dimension));
    for (std::size_t row = 0; row < rows; ++row) {
        const double speaker = static_cast<double>(row % speakers + 1);
        for (std::size_t d = 0; d < dimension; ++d) {
            const double position = static_cast<double>(d + 1);
            result[row][d] = std::sin(speaker * position * 0.7) + 0.3 * std::sin(static_cast<double>(row) * position);
        }
    }
    return result;
}

void BM_CentroidLinkageOf2000By256(benchmark::State& state) {
    constexpr std::size_t n = 2000;
    constexpr std::size_t dim = 256;
    std::vector<double> data;
    for (const auto& row : speakerRows(n, dim, 10)) {
        data.insert(data.end(), row.begin(), row.end());
    }
    std::vector<double> out(4 * (n - 1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(fastcluster_compute_centroid_linkage(data.data(), n, dim, out.data(), out.size()));
    }
}
BENCHMARK(BM_CentroidLinkageOf2000By256)->Unit(benchmark::kMillisecond);

void BM_VBxTwentyIterationsOf2000Rows10Speakers128Dimensions(benchmark::State& state) {
    constexpr std::size_t rows = 2000;
    constexpr std::size_t speakers = 10;
    auto config = OfflineDiarizerConfig::defaultConfig();
    // A tolerance of 0 never stops the loop early.
    config.vbx = {.maxIterations = 20, .convergenceTolerance = 0.0};
    const VBxClustering clustering(config, PLDATransform(nullptr, std::vector<double>(128, 2.0)));
    const auto rho = speakerRows(rows, 128, speakers);
    std::vector<std::int64_t> labels(rows);
    for (std::size_t row = 0; row < rows; ++row) {
        labels[row] = static_cast<std::int64_t>(row % speakers);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(clustering.refine(rho, labels));
    }
}
BENCHMARK(BM_VBxTwentyIterationsOf2000Rows10Speakers128Dimensions)->Unit(benchmark::kMillisecond);

void BM_KMeansTenSeedsOf2000By256IntoFive(benchmark::State& state) {
    const auto embeddings = speakerRows(2000, 256, 7);
    for (auto _ : state) {
        benchmark::DoNotOptimize(KMeansClustering::clusterWithSeedSearch(embeddings, 5));
    }
}
BENCHMARK(BM_KMeansTenSeedsOf2000By256IntoFive)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quorl
