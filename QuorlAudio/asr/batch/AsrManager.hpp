#pragma once

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/ASRResult.hpp"
#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/AudioSampleSource.hpp"
#include "QuorlAudio/foundation/Language.hpp"
#include "QuorlAudio/foundation/ProgressEmitter.hpp"

#include "platform/audio/PCMBuffer.hpp"
#include "platform/core/BackgroundJobs.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {

class AsrWindowInference;

// The batch TDT transducer recogniser: it holds one loaded model set and turns a PCM buffer, an audio file or
// 16 kHz samples into an ASRResult. Audio of at most one model window (240000 samples) is decoded in one pass
// of its window inference. Longer audio, and every file read through a disk-backed sample file, goes to the
// ChunkProcessor, which decodes overlapping chunks in parallel on clones of the manager and merges them. The
// sliding-window streaming recogniser decodes its windows through the same window inference.
//
// The bound models live in the window inference, whose lock is never held across predictions, decoding or file
// work, so a long transcription does not block the other operations: a cleanup during a window may let that
// window fail with notInitialized. Managers are always owned by std::shared_ptr (see create) because the
// progress handler of long transcriptions holds its manager weakly.
class AsrManager : public std::enable_shared_from_this<AsrManager> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    using Vocabulary = std::unordered_map<int, std::string>;
    using Clock = std::chrono::steady_clock;
    using ProgressHandler = std::function<void(double progress)>;

    // A manager with the configuration, bound to the model set when one is given. Starts, without waiting for
    // them, the warming of the shared array pool for the window's input shapes and the opening of a progress
    // session.
    static std::shared_ptr<AsrManager> create(ASRConfig config = ASRConfig(),
                                              std::optional<AsrModels> models = std::nullopt);
    // Reached only through create.
    AsrManager(Passkey, ASRConfig config, std::optional<AsrModels> models);
    ~AsrManager();
    AsrManager(const AsrManager&) = delete;
    AsrManager& operator=(const AsrManager&) = delete;

    const AppLogger& logger() const { return logger_; }
    const ASRConfig& config() const { return config_; }
    int parallelChunkConcurrency() const { return config_.parallelChunkConcurrency; }
    bool melChunkContext() const { return config_.melChunkContext; }
    bool dualDecodeArbitration() const { return config_.dualDecodeArbitration; }

    // The bound models, their window inference and token text; the manager's category "ASR" is its logger's.
    AsrWindowInference& windowInference() const;

    // A new manager with this one's configuration and bound model set (sharing the model objects); null when no
    // set is bound. The long-audio chunker decodes in parallel on such clones.
    std::shared_ptr<AsrManager> makeWorkerClone() const;

    // The stream of the open progress session, opening one when none is open. Long transcriptions report
    // fractions in [0, 1] on it and end it when they end.
    ProgressEmitter::Stream transcriptionProgressStream();

    // Binds the set and its vocabulary. Cannot fail.
    void loadModels(const AsrModels& models);
    // Empties the shared array pool in the background; nothing else changes.
    void reset();
    // Drops the models and the set (the vocabulary stays) and empties the shared array pool in the background.
    void cleanup();

    // The entry points. A transcription of at most one window continues from `decoderState` and leaves it
    // updated; longer audio neither reads nor changes it. `language` is honoured by v3 sets only. Fails with
    // ASRError::notInitialized without a usable set and ASRError::invalidAudioData below 0.3 s of audio;
    // conversion, file, model and decoding errors pass through unchanged.
    ASRResult transcribe(const platform::audio::PCMBuffer& buffer, TdtDecoderState& decoderState,
                         std::optional<Language> language = std::nullopt);
    // Files whose estimated length at the recognition rate exceeds config().streamingThreshold (when streaming
    // is enabled) take the disk-backed road; others are read whole.
    ASRResult transcribe(const std::filesystem::path& url, TdtDecoderState& decoderState,
                         std::optional<Language> language = std::nullopt);
    // Converts the file into a temporary memory-mapped sample file, which is removed however the call ends.
    ASRResult transcribeDiskBacked(const std::filesystem::path& url, TdtDecoderState& decoderState,
                                   std::optional<Language> language = std::nullopt);
    ASRResult transcribe(std::vector<float> samples, TdtDecoderState& decoderState,
                         std::optional<Language> language = std::nullopt);
    // The driver behind the entry points: checks, then one window or the long-audio road.
    ASRResult transcribeWithState(std::vector<float> samples, TdtDecoderState& decoderState,
                                  std::optional<Language> language);

private:
    ProgressHandler progressHandler();

    ASRResult transcribeOneWindow(std::span<const float> samples, TdtDecoderState& decoderState,
                                  std::optional<Language> language, Clock::time_point startTime);
    // The long-audio road: every recording longer than one window, and every disk-backed file.
    ASRResult transcribeWithChunker(std::shared_ptr<const AudioSampleSource> source, std::int64_t totalSamples,
                                    Clock::time_point startTime, const ProgressHandler& progressHandler,
                                    std::optional<Language> language);

    const AppLogger logger_;
    const ASRConfig config_;
    const AudioConverter audioConverter_;
    const std::shared_ptr<ProgressEmitter> progressEmitter_;
    const std::unique_ptr<AsrWindowInference> windowInference_;

    // Last, so that it is destroyed first: its jobs finish while everything they might use still exists.
    platform::core::BackgroundJobs backgroundTasks_;
};

} // namespace quorl
