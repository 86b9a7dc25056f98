#include "QuorlAudio/diarization/offline/OfflineModelWarmup.hpp"

#include "QuorlAudio/diarization/offline/OfflineEmbeddingExtractor.hpp"
#include "QuorlAudio/diarization/offline/PLDATransform.hpp"
#include "QuorlAudio/diarization/offline/SingleInputPrediction.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/core/SecondsSince.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

std::size_t windowLength(const OfflineDiarizerConfig& config) {
    return static_cast<std::size_t>(std::max<std::int64_t>(0, config.samplesPerWindow()));
}

void prewarmSegmentation(const OfflineDiarizerModels& models, const OfflineDiarizerConfig& config) {
    const auto audio = std::make_shared<MultiArray>(MultiArray::Shape{1, 1, windowLength(config)}, DataType::float32);
    std::fill_n(audio->data<float>(), audio->extent(), 0.0f);
    predictSingleInput(*models.segmentationModel, "audio", audio);
}

void prewarmEmbeddingStack(const OfflineDiarizerModels& models, const OfflineDiarizerConfig& config) {
    const OfflineEmbeddingExtractor extractor(models.fbankModel, models.embeddingModel,
                                              PLDATransform(models.pldaRhoModel, models.pldaPsi), config);
    const SegmentationOutput oneWindow{
        .logProbs = {{{0.0f}}},
        .speakerWeights = {{{1.0f}}},
        .numChunks = 1,
        .numFrames = 1,
        .numSpeakers = 1,
        .chunkOffsets = {0.0},
        .frameDuration = std::max(config.segmentation.windowDurationSeconds, 0.001),
    };
    extractor.extractEmbeddings(std::vector<float>(windowLength(config), 0.0f), oneWindow);
}

void timed(const std::function<void()>& prewarm, const std::string& done, const std::string& skipped,
           const AppLogger& logger) {
    const auto start = std::chrono::steady_clock::now();
    try {
        prewarm();
        logger.debug(done + fixedDecimalText(platform::core::secondsSince(start), 3) + "s");
    } catch (const std::exception& error) {
        logger.debug(skipped + error.what());
    }
}

} // namespace

void prewarmOfflineModels(const OfflineDiarizerModels& models, const OfflineDiarizerConfig& config,
                          const AppLogger& logger) {
    timed([&] { prewarmSegmentation(models, config); }, "Segmentation model prewarmed in ",
          "Segmentation prewarm skipped: ", logger);
    timed([&] { prewarmEmbeddingStack(models, config); }, "Embedding stack prewarmed in ",
          "Embedding prewarm skipped: ", logger);
}

} // namespace quorl
