#include "QuorlAudio/diarization/offline/PLDATransform.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/diarization/offline/SingleInputPrediction.hpp"
#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"
#include "platform/ml/MultiArrayFloats.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using platform::ml::DataType;
using platform::ml::MultiArray;

constexpr auto embeddingSize = static_cast<std::size_t>(PLDATransform::embeddingDimension);
constexpr auto rhoSize = static_cast<std::size_t>(PLDATransform::rhoDimension);

const AppLogger& logger() {
    static const AppLogger instance("OfflinePLDA");
    return instance;
}

OfflineDiarizationError wrongLength(const char* noun, std::size_t count) {
    return OfflineDiarizationError::invalidConfiguration(
        concatenated({"Expected ", std::to_string(embeddingSize), "-dim ", noun, ", got ", std::to_string(count)}));
}

// The first rows × rhoDimension values of "rho", in row-major order whatever its layout.
std::vector<float> rhoValues(const platform::ml::FeatureProvider& output, std::size_t rows) {
    const auto rho = platform::ml::multiArrayOutput(output, "rho");
    if (!rho) {
        throw OfflineDiarizationError::processingFailed("PldaRho model did not produce rho output");
    }
    const std::size_t needed = rows * rhoSize;
    if (rho->count() < needed) {
        throw OfflineDiarizationError::processingFailed(
            concatenated({"PldaRho rho output holds ", std::to_string(rho->count()), " values but ",
                          std::to_string(rows), " embeddings need ", std::to_string(needed)}));
    }
    return platform::ml::floatElements(*rho);
}

} // namespace

PLDATransform::PLDATransform(std::shared_ptr<platform::ml::Model> pldaRhoModel, std::vector<double> psi)
    : pldaRhoModel_(std::move(pldaRhoModel)), psi_(std::move(psi)),
      memoryOptimizer_(std::make_shared<ANEMemoryOptimizer>()) {}

std::vector<std::vector<double>> PLDATransform::transform(const std::vector<std::vector<float>>& embeddings) const {
    if (embeddings.empty()) {
        return {};
    }
    const auto wrong =
        std::ranges::find_if(embeddings, [](const auto& embedding) { return embedding.size() != embeddingSize; });
    if (wrong != embeddings.end()) {
        throw wrongLength("embeddings", wrong->size());
    }
    try {
        performWarmup();
    } catch (const std::exception& error) {
        logger().debug(std::string("PLDA warmup skipped due to error: ") + error.what());
    }
    std::vector<std::vector<double>> rho;
    const std::span<const std::vector<float>> all(embeddings);
    for (std::size_t start = 0; start < all.size(); start += static_cast<std::size_t>(maxBatchSize)) {
        platform::core::Task::checkCancellation();
        auto batch = transformBatch(all.subspan(start, std::min<std::size_t>(maxBatchSize, all.size() - start)));
        std::move(batch.begin(), batch.end(), std::back_inserter(rho));
    }
    return rho;
}

std::vector<double> PLDATransform::transform(std::span<const float> embedding) const {
    if (embedding.size() != embeddingSize) {
        throw wrongLength("embedding", embedding.size());
    }
    auto rho = transform(std::vector<std::vector<float>>{{embedding.begin(), embedding.end()}});
    return rho.empty() ? std::vector<double>{} : std::move(rho.front());
}

std::vector<std::vector<double>> PLDATransform::transformBatch(std::span<const std::vector<float>> batch) const {
    if (batch.empty()) {
        return {};
    }
    if (batch.size() > static_cast<std::size_t>(maxBatchSize)) {
        throw OfflineDiarizationError::invalidBatchSize(concatenated(
            {"PldaRho batch size must be <= ", std::to_string(maxBatchSize), ", got ", std::to_string(batch.size())}));
    }
    const auto input = memoryOptimizer_->createAlignedArray({batch.size(), embeddingSize}, DataType::float32);
    float* rows = input->data<float>();
    for (std::size_t row = 0; row < batch.size(); ++row) {
        std::copy(batch[row].begin(), batch[row].end(), rows + row * input->strides()[0]);
    }
    const auto values = rhoValues(*predictSingleInput(*pldaRhoModel_, "embeddings", input), batch.size());
    std::vector<std::vector<double>> rho(batch.size());
    for (std::size_t row = 0; row < batch.size(); ++row) {
        const auto first = values.begin() + static_cast<std::ptrdiff_t>(row * rhoSize);
        rho[row].assign(first, first + static_cast<std::ptrdiff_t>(rhoSize));
    }
    return rho;
}

void PLDATransform::performWarmup() const {
    const auto input = memoryOptimizer_->getPooledBuffer(
        concatenated({"offline_plda_warmup_embedding_", std::to_string(embeddingSize)}), {1, embeddingSize},
        DataType::float32);
    std::fill_n(input->data<float>(), input->extent(), 0.0f);
    predictSingleInput(*pldaRhoModel_, "embeddings", input);
}

double PLDATransform::score(std::span<const double> a, std::span<const double> b) {
    if (a.size() != rhoSize || b.size() != a.size()) {
        return 0.0;
    }
    double ab = 0;
    double aa = 0;
    double bb = 0;
    for (std::size_t index = 0; index < a.size(); ++index) {
        ab += a[index] * b[index];
        aa += a[index] * a[index];
        bb += b[index] * b[index];
    }
    const double denominator = std::sqrt(aa) * std::sqrt(bb);
    return denominator > 0 ? ab / denominator : 0.0;
}

} // namespace quorl
