#pragma once

#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/models/ProgressReporter.hpp"
#include "QuorlAudio/vad/VadConfig.hpp"
#include "QuorlAudio/vad/VadResult.hpp"
#include "QuorlAudio/vad/VadSegment.hpp"
#include "QuorlAudio/vad/VadSegmentationConfig.hpp"
#include "QuorlAudio/vad/VadState.hpp"
#include "QuorlAudio/vad/VadStreamEvent.hpp"
#include "QuorlAudio/vad/VadStreamResult.hpp"
#include "QuorlAudio/vad/VadStreamState.hpp"

#include "platform/audio/PCMBuffer.hpp"
#include "platform/ml/Model.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

// Voice-activity detection with one recurrent model over 4096-sample blocks (256 ms) of 16 kHz mono audio: each
// block, with the last 64 samples of the one before as context and the recurrent state, gives a speech
// probability and the next state. On top of the probabilities it cuts whole recordings into speech segments and
// reports speech starts and ends while streaming.
//
// The caller holds each stream's state, so one manager serves any number of streams; blocks are processed one at
// a time. A failed block leaves the manager usable and the caller's state as it was.
class VadManager {
public:
    static constexpr int sampleRate = 16000;
    static constexpr std::size_t chunkSize = 4096;

    // Loads the model through the hub into <Application Support>/QuorlAudio/Models, downloading it when missing.
    // The hub's failures pass through; VadError::modelLoadingFailed when the loaded set lacks the model.
    explicit VadManager(const VadConfig& config = VadConfig::defaultConfig(),
                        const ProgressHandler& progressHandler = {});
    // The same with `modelDirectory` in place of <Application Support>/QuorlAudio.
    VadManager(const VadConfig& config, const std::filesystem::path& modelDirectory,
               const ProgressHandler& progressHandler = {});
    // Uses a model loaded elsewhere; loads nothing.
    VadManager(const VadConfig& config, std::shared_ptr<platform::ml::Model> vadModel);

    VadManager(const VadManager&) = delete;
    VadManager& operator=(const VadManager&) = delete;

    bool isAvailable() const { return vadModel_ != nullptr; }
    const VadConfig& config() const { return config_; }
    const VadConfig& currentConfig() const { return config_; }

    // One block, brought to 4096 samples (cut, or extended by repeating its last sample), with the given state
    // or the initial one. VadError::notInitialized without a model; VadError::modelProcessingFailed when the
    // prediction fails or lacks an output.
    VadResult processChunk(std::span<const float> chunk, const std::optional<VadState>& inputState = std::nullopt);
    // One result per 4096 samples (the last block may be shorter), each block continuing the state of the one
    // before from the initial state. A failing block fails the whole call.
    std::vector<VadResult> processAudioSamples(std::span<const float> samples);
    // The whole file, converted to 16 kHz mono first; conversion errors pass through.
    std::vector<VadResult> process(const std::filesystem::path& url);
    // The buffer's first channel, converted first unless it is already 16 kHz mono 32-bit float.
    std::vector<VadResult> process(const platform::audio::PCMBuffer& buffer);
    std::vector<VadResult> process(std::span<const float> samples);

    // The speech segments of 16 kHz mono samples.
    std::vector<VadSegment> segmentSpeech(std::span<const float> samples,
                                          const VadSegmentationConfig& config = VadSegmentationConfig::defaultConfig());
    // The speech segments of a recording of `totalSamples` samples from its block results; never touches the model.
    std::vector<VadSegment>
    segmentSpeech(const std::vector<VadResult>& results, std::int64_t totalSamples,
                  const VadSegmentationConfig& config = VadSegmentationConfig::defaultConfig()) const;
    // The samples of each speech segment.
    std::vector<std::vector<float>>
    segmentSpeechAudio(std::span<const float> samples,
                       const VadSegmentationConfig& config = VadSegmentationConfig::defaultConfig());

    static VadStreamState makeStreamState();
    // Feeds one block of a stream: its probability, the stream's next state and the speech start or end it
    // causes. A failing block throws and the caller keeps its state.
    VadStreamResult processStreamingChunk(std::span<const float> chunk, const VadStreamState& state,
                                          const VadSegmentationConfig& config = VadSegmentationConfig::defaultConfig(),
                                          const VadEventTiming& timing = {});

private:
    struct ModelAnswer {
        float probability = 0.0f;
        std::vector<float> hiddenState;
        std::vector<float> cellState;
    };

    void loadUnifiedModel(const std::optional<std::filesystem::path>& from, const ProgressHandler& progressHandler);
    static std::filesystem::path getDefaultBaseDirectory();
    void logInitialization(std::chrono::steady_clock::time_point started) const;
    VadResult processChunkLocked(std::span<const float> chunk, const std::optional<VadState>& inputState);
    ModelAnswer processUnifiedModel(std::span<const float> block, const VadState& inputState,
                                    const platform::ml::Model& model);
    ModelAnswer predict(std::span<const float> block, const VadState& inputState, const platform::ml::Model& model);

    AppLogger logger_;
    const VadConfig config_;
    const AudioConverter audioConverter_;
    ANEMemoryOptimizer memoryOptimizer_;
    std::shared_ptr<platform::ml::Model> vadModel_;
    std::mutex mutex_;
};

} // namespace quorl
