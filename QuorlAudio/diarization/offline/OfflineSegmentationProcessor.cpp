#include "QuorlAudio/diarization/offline/OfflineSegmentationProcessor.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/diarization/offline/PowersetFrame.hpp"
#include "QuorlAudio/diarization/offline/ProfileLog.hpp"
#include "QuorlAudio/diarization/offline/SegmentationScores.hpp"
#include "QuorlAudio/diarization/offline/SegmentationStatistics.hpp"
#include "QuorlAudio/diarization/offline/SegmentationWindowReader.hpp"
#include "QuorlAudio/diarization/offline/SingleInputPrediction.hpp"
#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"
#include "platform/text/TextPieces.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <exception>
#include <string>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using platform::ml::DataType;
using platform::ml::MultiArray;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t maxBatchWindows = 32;

const AppLogger& logger() {
    static const AppLogger instance("OfflineSegmentation");
    return instance;
}


// One call of process: the window plan, the reader, the windows collected so far and the statistics.
class SegmentationRun {
public:
    SegmentationRun(const AudioSampleSource& source, const platform::ml::Model& model,
                    const OfflineDiarizerConfig& config, const OfflineSegmentationProcessor::ChunkHandler& handler,
                    ANEMemoryOptimizer& pool)
        : model_(model), config_(config), handler_(handler), pool_(pool), totalSamples_(source.sampleCount()),
          chunkSize_(config.samplesPerWindow()), step_(config.samplesPerStep()), reader_(source, chunkSize_, step_),
          statistics_(config.segmentation.speechOnsetThreshold) {}

    SegmentationOutput run() {
        logger().debug(concatenated({"Offline segmentation: chunkSize=", std::to_string(chunkSize_), ", stepSize=",
                                     std::to_string(step_), ", totalSamples=", std::to_string(totalSamples_)}));
        warmUp();
        platform::core::Task::checkCancellation();
        const std::int64_t windows = totalSamples_ / step_ + (totalSamples_ % step_ != 0 ? 1 : 0);
        for (std::int64_t first = 0; first < windows; first += maxBatchWindows) {
            processBatch(first, std::min(maxBatchWindows, windows - first));
            platform::core::Task::checkCancellation();
        }
        logSummary();
        output_.numChunks = static_cast<std::int64_t>(output_.logProbs.size());
        return std::move(output_);
    }

private:
    void warmUp() {
        try {
            const auto audio = pool_.getPooledBuffer(concatenated({"offline_segmentation_warmup_", sizeText()}),
                                                     {1, 1, windowSize()}, DataType::float32);
            std::fill_n(audio->data<float>(), audio->extent(), 0.0f);
            predictSingleInput(model_, "audio", audio);
        } catch (const std::exception& error) {
            logger().debug(std::string("Segmentation warmup skipped due to error: ") + error.what());
        }
    }

    void processBatch(std::int64_t first, std::int64_t count) {
        const auto preparationStart = Clock::now();
        const auto audio = prepareInput(first, count);
        const auto preparation = Clock::now() - preparationStart;
        platform::core::Task::checkCancellation();
        const auto predictionStart = Clock::now();
        const auto output = predictSingleInput(model_, "audio", audio);
        statistics_.recordBatch(count, preparation, Clock::now() - predictionStart);
        decode(SegmentationScores::read(*output, static_cast<std::size_t>(count)), first, count);
    }

    // Window rows go at the array's own row stride, so any window length fits its padded layout.
    std::shared_ptr<MultiArray> prepareInput(std::int64_t first, std::int64_t count) {
        const auto windows = static_cast<std::size_t>(count);
        auto audio =
            pool_.getPooledBuffer(concatenated({"offline_segmentation_audio_", std::to_string(count), "_", sizeText()}),
                                  {windows, 1, windowSize()}, DataType::float32);
        float* rows = audio->data<float>();
        for (std::size_t row = 0; row < windows; ++row) {
            const auto window = reader_.read(startOf(first + static_cast<std::int64_t>(row)));
            std::copy(window.begin(), window.end(), rows + row * audio->strides()[0]);
        }
        return audio;
    }

    void decode(const SegmentationScores& scores, std::int64_t first, std::int64_t count) {
        if (scores.numClasses > PowersetFrame::classCount) {
            logger().error(
                concatenated({"Segmentation model returned ", std::to_string(scores.numClasses), " classes but only ",
                              std::to_string(PowersetFrame::classCount), " powerset entries available"}));
        }
        output_.numFrames = static_cast<std::int64_t>(scores.numFrames);
        output_.frameDuration = config_.segmentation.windowDurationSeconds / static_cast<double>(scores.numFrames);
        for (std::int64_t window = 0; window < count; ++window) {
            deliver(decodeWindow(scores, static_cast<std::size_t>(window), startOf(first + window)));
        }
    }

    SegmentationChunk decodeWindow(const SegmentationScores& scores, std::size_t window, std::int64_t start) {
        SegmentationChunk chunk{
            .chunkIndex = static_cast<std::int64_t>(output_.logProbs.size()),
            .chunkOffsetSeconds = static_cast<double>(start) / static_cast<double>(config_.segmentation.sampleRate),
            .frameDuration = output_.frameDuration,
            .logProbs = {},
            .speakerWeights = {},
        };
        chunk.logProbs.reserve(scores.numFrames);
        chunk.speakerWeights.reserve(scores.numFrames);
        for (std::size_t frameIndex = 0; frameIndex < scores.numFrames; ++frameIndex) {
            auto frame = PowersetFrame::decode(scores.frame(window, frameIndex));
            statistics_.record(frame);
            chunk.logProbs.push_back(std::move(frame.logProbs));
            chunk.speakerWeights.push_back(std::move(frame.speakerWeights));
        }
        return chunk;
    }

    // The handler sees each window once, until it answers stop; every window is collected regardless.
    void deliver(SegmentationChunk chunk) {
        output_.chunkOffsets.push_back(chunk.chunkOffsetSeconds);
        if (handler_ && handlerActive_ && handler_(chunk) == SegmentationChunkContinuation::stop) {
            handlerActive_ = false;
        }
        if (chunk.chunkIndex == 0) {
            logFirstChunk(chunk);
        }
        output_.logProbs.push_back(std::move(chunk.logProbs));
        output_.speakerWeights.push_back(std::move(chunk.speakerWeights));
    }

    void logFirstChunk(const SegmentationChunk& chunk) const {
        std::array<std::int64_t, PowersetFrame::speakerCount> counts{};
        for (const auto& weights : chunk.speakerWeights) {
            for (std::size_t speaker = 0; speaker < counts.size(); ++speaker) {
                counts[speaker] += weights[speaker] >= config_.segmentation.speechOnsetThreshold ? 1 : 0;
            }
        }
        logger().debug("Chunk 0 speaker frame counts: " + platform::text::bracketedList(counts));
    }

    void logSummary() const {
        for (const auto& line : statistics_.summary(
                 output_.numFrames, static_cast<std::int64_t>(output_.logProbs.size()), output_.frameDuration)) {
            logger().debug(line);
        }
        if (const auto timings = statistics_.timings()) {
            logger().debug(*timings);
            emitProfileLog(*timings, logger());
        }
    }

    std::int64_t startOf(std::int64_t window) const { return window * step_; }
    std::size_t windowSize() const { return static_cast<std::size_t>(chunkSize_); }
    std::string sizeText() const { return std::to_string(chunkSize_); }

    const platform::ml::Model& model_;
    const OfflineDiarizerConfig& config_;
    const OfflineSegmentationProcessor::ChunkHandler& handler_;
    ANEMemoryOptimizer& pool_;
    std::int64_t totalSamples_;
    std::int64_t chunkSize_;
    std::int64_t step_;
    SegmentationWindowReader reader_;
    SegmentationStatistics statistics_;
    SegmentationOutput output_;
    bool handlerActive_ = true;
};

} // namespace

OfflineSegmentationProcessor::OfflineSegmentationProcessor()
    : memoryOptimizer_(std::make_shared<ANEMemoryOptimizer>()) {}

SegmentationOutput OfflineSegmentationProcessor::process(const AudioSampleSource& audioSource,
                                                         const platform::ml::Model& segmentationModel,
                                                         const OfflineDiarizerConfig& config,
                                                         const ChunkHandler& chunkHandler) const {
    if (audioSource.sampleCount() < 1) {
        throw OfflineDiarizationError::noSpeechDetected();
    }
    return SegmentationRun(audioSource, segmentationModel, config, chunkHandler, *memoryOptimizer_).run();
}

} // namespace quorl
