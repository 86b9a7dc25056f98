#pragma once

#include "QuorlAudio/asr/batch/TokenTiming.hpp"
#include "QuorlAudio/asr/batch/WordTiming.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrManager.hpp"
#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"
#include "QuorlAudio/asr/streaming/UnifiedModelLoader.hpp"
#include "QuorlAudio/asr/streaming/UnifiedModelSet.hpp"
#include "QuorlAudio/asr/streaming/UnifiedRnntDecoder.hpp"
#include "QuorlAudio/asr/streaming/UnifiedStreamingWindower.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/ContinuousAudioConverter.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// The live engine of the unified transducer. It keeps no encoder cache: every step re-encodes a window of
// already decoded left context, the new chunk and the look-ahead, and decodes only the chunk, with the
// decoder's recurrent state carried from window to window. The chunk and the look-ahead set the latency.
//
// Every public operation holds one mutex, so the engine decodes one window at a time whatever the callers'
// threads. The partial callback runs once the decoding operation has released it, on the caller's thread,
// before the operation returns, once per window that emitted a token.
class StreamingUnifiedAsrManager final : public StreamingAsrManager {
public:
    struct Options {
        // None: the CPU and the Neural Engine, low-precision accumulation on the GPU allowed.
        std::optional<platform::ml::ModelConfiguration> configuration;
        UnifiedConfig config;
        UnifiedEncoderPrecision encoderPrecision = UnifiedEncoderPrecision::int8;
    };

    // The default Options: 70/13/13 (2080 ms) with the 8-bit encoder.
    StreamingUnifiedAsrManager();
    explicit StreamingUnifiedAsrManager(Options options);

    // "Parakeet Unified 0.6B (<latencyMs>ms)".
    std::string displayName() const override;
    const UnifiedConfig& config() const { return config_; }
    UnifiedEncoderPrecision encoderPrecision() const { return encoderPrecision_; }
    platform::ml::ModelConfiguration mlConfiguration() const;
    void setMlConfiguration(platform::ml::ModelConfiguration configuration);

    // Loads the model set in `from` (see UnifiedModelLoader); a failure is thrown, what loaded before it stays.
    void loadModels(const std::filesystem::path& from);
    // Downloads the set into `to` (default: Application Support / "QuorlAudio" / "Models") unless this
    // geometry's encoder is there, then loads it. A given configuration replaces the engine's.
    void loadModels(const std::optional<std::filesystem::path>& to,
                    const std::optional<platform::ml::ModelConfiguration>& configuration,
                    const ProgressHandler& progressHandler);
    void loadModels() override;

    // Converts the buffer to 16 kHz mono with the stream's one resampler and buffers it; needs no models.
    void appendAudio(const platform::audio::PCMBuffer& buffer) override;
    // Encodes and decodes every window the buffered audio completes.
    void processBufferedAudio() override;
    // Decodes everything left, look-ahead included, and returns the transcript. The stream stays; further
    // audio is buffered but not decoded until reset().
    std::string finish() override;
    void reset() override;
    void cleanup() override;
    void setPartialTranscriptCallback(PartialTranscriptCallback callback) override;
    std::string getPartialTranscript() const override;

    // The timings gathered since the last call, handed over once.
    std::vector<TokenTiming> consumeTokenTimings();
    // The same, grouped into words.
    std::vector<WordTiming> consumeWordTimings();

private:
    UnifiedModelLoader loader() const;
    void requireModels() const;
    void decodeWindows(bool isFinal, std::vector<std::string>& partials);
    void processWindow(const UnifiedStreamingWindower::Plan& plan, std::vector<std::string>& partials);
    void appendEmission(const UnifiedRnntDecoder::Emission& emission);
    void trimSamples();
    void resetLocked();
    std::string transcriptLocked() const;
    void notify(const std::vector<std::string>& partials) const;

    const AppLogger logger_;
    const UnifiedConfig config_;
    const UnifiedEncoderPrecision encoderPrecision_;

    mutable std::mutex mutex_;
    UnifiedModelSet models_;
    ContinuousAudioConverter audioConverter_;
    // Audio not yet trimmed; samples_[0] is sample samplesGlobalStart_ of the stream.
    std::vector<float> samples_;
    std::int64_t samplesGlobalStart_ = 0;
    UnifiedStreamingWindower windower_;
    std::string transcriptCache_;
    std::vector<TokenTiming> pendingTokenTimings_;
    PartialTranscriptCallback partialCallback_;
    platform::ml::ModelConfiguration mlConfiguration_;
};

} // namespace quorl
