#pragma once

#include "QuorlAudio/asr/batch/DecodedToken.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrManager.hpp"
#include "QuorlAudio/asr/streaming/UnifiedBatchLayout.hpp"
#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"
#include "QuorlAudio/asr/streaming/UnifiedModelLoader.hpp"
#include "QuorlAudio/asr/streaming/UnifiedModelSet.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/ContinuousAudioConverter.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// Transcribes whole recordings with the unified model family's full-context offline encoder: windows of just
// under 15 s overlapping by 2 s, each encoded and greedily decoded from a fresh decoder state, merged at the
// seams with the batch recogniser's rules. Through the streaming protocol it buffers every appended sample
// and transcribes them all at finish().
//
// Every public operation holds one mutex; windows are decoded one after another. The partial callback runs
// with each finish() result once the lock is released, on the caller's thread.
class UnifiedAsrManager final : public StreamingAsrManager {
public:
    struct Options {
        // None: the CPU and the Neural Engine, low-precision accumulation on the GPU allowed.
        std::optional<platform::ml::ModelConfiguration> configuration;
        // Only the sample rate, frame size, mel bins, decoder sizes, blank and symbol limit are read.
        UnifiedConfig config;
        UnifiedEncoderPrecision encoderPrecision = UnifiedEncoderPrecision::int8;
    };

    UnifiedAsrManager();
    explicit UnifiedAsrManager(Options options);

    // "Parakeet Unified 0.6B (offline 15s batch)".
    std::string displayName() const override;
    const UnifiedConfig& config() const { return config_; }
    UnifiedEncoderPrecision encoderPrecision() const { return encoderPrecision_; }
    const UnifiedBatchLayout& layout() const { return layout_; }
    platform::ml::ModelConfiguration mlConfiguration() const;
    void setMlConfiguration(platform::ml::ModelConfiguration configuration);

    // As in StreamingUnifiedAsrManager, with the offline encoder and a 15 s mel window.
    void loadModels(const std::filesystem::path& from);
    void loadModels(const std::optional<std::filesystem::path>& to,
                    const std::optional<platform::ml::ModelConfiguration>& configuration,
                    const ProgressHandler& progressHandler);
    void loadModels() override;

    // 16 kHz mono samples to text. Any window's failure ends the transcription with its error.
    std::string transcribe(std::span<const float> samples);
    // The buffer converted to 16 kHz mono, then transcribed.
    std::string transcribe(const platform::audio::PCMBuffer& buffer);

    void appendAudio(const platform::audio::PCMBuffer& buffer) override;
    // Does nothing: the audio waits for finish().
    void processBufferedAudio() override;
    // Transcribes everything appended since the last finish or reset and starts buffering afresh. On failure
    // the audio stays buffered and the last transcript stays.
    std::string finish() override;
    void reset() override;
    void cleanup() override;
    void setPartialTranscriptCallback(PartialTranscriptCallback callback) override;
    // The last finish() result.
    std::string getPartialTranscript() const override;

private:
    UnifiedModelLoader loader() const;
    std::string transcribeLocked(std::span<const float> samples);
    std::vector<DecodedToken> transcribeWindow(std::span<const float> samples, std::int64_t chunkStart,
                                               std::int64_t chunkEnd);
    void resetLocked();

    const AppLogger logger_;
    const UnifiedConfig config_;
    const UnifiedEncoderPrecision encoderPrecision_;
    const UnifiedBatchLayout layout_;

    mutable std::mutex mutex_;
    UnifiedModelSet models_;
    AudioConverter audioConverter_;
    ContinuousAudioConverter streamConverter_;
    std::vector<float> bufferedSamples_;
    std::string lastTranscript_;
    PartialTranscriptCallback partialCallback_;
    platform::ml::ModelConfiguration mlConfiguration_;
};

} // namespace quorl
