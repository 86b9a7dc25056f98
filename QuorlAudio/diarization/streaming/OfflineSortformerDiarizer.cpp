#include "QuorlAudio/diarization/streaming/OfflineSortformerDiarizer.hpp"

#include "QuorlAudio/diarization/streaming/SortformerSpeakerStitcher.hpp"
#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "platform/core/Concatenated.hpp"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using Config = OfflineSortformerConfig;
constexpr int slots = Config::numSpeakers;
constexpr int sub = Config::subsamplingFactor;

// The model's slot count and frame duration, whatever the caller's configuration says: the predictions the
// timeline is built from have exactly that geometry.
DiarizerTimelineConfig forModel(const std::optional<DiarizerTimelineConfig>& given) {
    DiarizerTimelineConfig config =
        given.value_or(DiarizerTimelineConfig::defaultConfig(slots, Config::frameDurationSeconds()));
    config.numSpeakers = slots;
    config.frameDurationSeconds = Config::frameDurationSeconds();
    return config;
}

// The prediction matrix of one recording, frame-major, filled window by window. A frame covered by several
// windows holds the running pairwise average, each newer window weighing one half.
class WindowJoiner {
public:
    WindowJoiner(int outputFrames, int overlap)
        : frames_(outputFrames), overlap_(overlap), predictions_(static_cast<std::size_t>(outputFrames) * slots, 0.0f),
          filled_(static_cast<std::size_t>(outputFrames), false) {}

    // Adds the first `validFrames` output frames of the window that starts at output frame `first`.
    void add(std::span<const float> window, int first, int validFrames, bool isFirstWindow) {
        const std::vector<int> map = slotMap(window, first, validFrames, isFirstWindow);
        for (int i = 0; i < validFrames && first + i < frames_; ++i) {
            merge(window.subspan(static_cast<std::size_t>(i) * slots, slots), first + i, map);
        }
    }

    std::span<const float> predictions() const { return predictions_; }

private:
    // Later windows continue the speakers of the frames they share with the earlier ones.
    std::vector<int> slotMap(std::span<const float> window, int first, int validFrames, bool isFirstWindow) const {
        const int shared = std::min({frames_ - first, validFrames, overlap_});
        if (isFirstWindow || overlap_ < 1 || shared < 1) {
            return SortformerSpeakerStitcher::alignment({}, {}, 0, slots);
        }
        const auto rows = static_cast<std::size_t>(shared) * slots;
        return SortformerSpeakerStitcher::alignment(
            std::span(predictions_).subspan(static_cast<std::size_t>(first) * slots, rows), window.first(rows), shared,
            slots);
    }

    void merge(std::span<const float> row, int frame, const std::vector<int>& map) {
        float* target = predictions_.data() + static_cast<std::size_t>(frame) * slots;
        const bool seen = filled_[static_cast<std::size_t>(frame)];
        for (std::size_t slot = 0; slot < slots; ++slot) {
            float& value = target[map[slot]];
            value = seen ? (value + row[slot]) * 0.5f : row[slot];
        }
        filled_[static_cast<std::size_t>(frame)] = true;
    }

    int frames_;
    int overlap_;
    std::vector<float> predictions_;
    std::vector<bool> filled_;
};

} // namespace

OfflineSortformerDiarizer::OfflineSortformerDiarizer(OfflineSortformerConfig config,
                                                     const std::optional<DiarizerTimelineConfig>& timelineConfig)
    : logger_("OfflineSortformerDiarizer"), config_(config), timelineConfig_(forModel(timelineConfig)),
      melSpectrogram_() {}

void OfflineSortformerDiarizer::initialize(const std::filesystem::path& modelPath,
                                           platform::ml::ComputeUnits computeUnits) {
    installModels(OfflineSortformerModels::load(config_, modelPath, computeUnits));
}

void OfflineSortformerDiarizer::initializeFromHuggingFace(platform::ml::ComputeUnits computeUnits,
                                                          const ProgressHandler& progressHandler) {
    installModels(OfflineSortformerModels::loadFromHuggingFace(config_, std::nullopt, computeUnits, progressHandler));
}

void OfflineSortformerDiarizer::initialize(OfflineSortformerModels models) { installModels(std::move(models)); }

void OfflineSortformerDiarizer::installModels(OfflineSortformerModels models) {
    std::lock_guard lock(mutex_);
    models_.emplace(std::move(models));
}

bool OfflineSortformerDiarizer::isAvailable() const {
    std::lock_guard lock(mutex_);
    return models_.has_value();
}

std::unique_ptr<DiarizerTimeline> OfflineSortformerDiarizer::processComplete(std::span<const float> samples,
                                                                             std::optional<double> sourceSampleRate) {
    std::lock_guard lock(mutex_);
    if (!models_) {
        throw SortformerError::notInitialized();
    }
    if (!sourceSampleRate || *sourceSampleRate == static_cast<double>(Config::sampleRate)) {
        return diarize(samples);
    }
    const auto converted = AudioConverter(Config::sampleRate).resample(samples, *sourceSampleRate);
    return diarize(converted);
}

std::unique_ptr<DiarizerTimeline>
OfflineSortformerDiarizer::processComplete(const std::filesystem::path& audioFileURL) {
    const auto samples = AudioConverter(Config::sampleRate).resampleAudioFile(audioFileURL);
    return processComplete(samples, std::nullopt);
}

// Runs windows of windowMelFrames mel frames, each starting (windowOutputFrames - overlap) output frames after
// the one before, until a window reaches the end of the recording.
std::unique_ptr<DiarizerTimeline> OfflineSortformerDiarizer::diarize(std::span<const float> samples) {
    if (samples.empty()) {
        return std::make_unique<DiarizerTimeline>(timelineConfig_);
    }
    const auto mel =
        melSpectrogram_.computeFlatTransposed(samples, 0, AudioMelSpectrogram::PaddingMode::center, std::nullopt);
    const int melFrames = mel.melLength;
    if (melFrames < 1) {
        return std::make_unique<DiarizerTimeline>(timelineConfig_);
    }
    constexpr int window = Config::windowMelFrames();
    const int overlap = std::clamp(config_.overlapOutputFrames, 0, Config::windowOutputFrames - 1);
    const int step = (Config::windowOutputFrames - overlap) * sub;
    const int outputFrames = (melFrames + sub - 1) / sub;
    WindowJoiner joiner(outputFrames, overlap);
    int windows = 0;
    for (int start = 0; start < melFrames; start += step) {
        const int remaining = melFrames - start;
        const int valid = std::min(remaining, window);
        const auto slice = std::span(mel.mel).subspan(static_cast<std::size_t>(start) * Config::melFeatures,
                                                      static_cast<std::size_t>(valid) * Config::melFeatures);
        const auto predictions = models_->runOffline(slice, valid);
        const int validFrames = std::min((valid + sub - 1) / sub, Config::windowOutputFrames);
        if (predictions.size() < static_cast<std::size_t>(validFrames) * slots) {
            throw SortformerError::inferenceFailed(
                platform::core::concatenated({"speaker_preds holds ", std::to_string(predictions.size()),
                                              " values, the window needs ", std::to_string(validFrames * slots)}));
        }
        joiner.add(predictions, start / sub, validFrames, windows == 0);
        ++windows;
        if (remaining < window) {
            break;
        }
    }
    logger_.info(platform::core::concatenated(
        {"Offline diarization: ", std::to_string(windows), " window(s), ", std::to_string(outputFrames), " frames"}));
    return std::make_unique<DiarizerTimeline>(
        timelineConfig_, DiarizerTimeline::Rebuild{.finalizedPredictions = joiner.predictions(), .isComplete = true});
}

} // namespace quorl
