#pragma once

#include "QuorlAudio/asr/streaming/StreamingAsrManager.hpp"
#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"
#include "QuorlAudio/asr/streaming/UnifiedModelLoader.hpp"
#include "QuorlAudio/asr/streaming/UnifiedModelSet.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <filesystem>
#include <mutex>
#include <optional>

namespace quorl {

// What the streaming and the offline recognisers of the unified model family share: their options, the
// model set with the configuration it is loaded with, loading it through the recogniser's own
// UnifiedModelLoader, and the partial callback. One mutex guards this state and each recogniser's own.
class UnifiedAsrEngine : public StreamingAsrManager {
public:
    struct Options {
        // None: the CPU and the Neural Engine, low-precision accumulation on the GPU allowed.
        std::optional<platform::ml::ModelConfiguration> configuration;
        // The offline recogniser reads only the sample rate, frame size, mel bins, decoder sizes, blank and
        // symbol limit.
        UnifiedConfig config;
        UnifiedEncoderPrecision encoderPrecision = UnifiedEncoderPrecision::int8;
    };

    const UnifiedConfig& config() const { return config_; }
    UnifiedEncoderPrecision encoderPrecision() const { return encoderPrecision_; }
    platform::ml::ModelConfiguration mlConfiguration() const;
    void setMlConfiguration(platform::ml::ModelConfiguration configuration);

    // Loads the model set in `from` (see UnifiedModelLoader); a failure is thrown, what loaded before it stays.
    void loadModels(const std::filesystem::path& from);
    // Downloads the set into `to` (default: Application Support / "QuorlAudio" / "Models") unless the
    // recogniser's encoder is there, then loads it. A given configuration replaces the recogniser's.
    void loadModels(const std::optional<std::filesystem::path>& to,
                    const std::optional<platform::ml::ModelConfiguration>& configuration,
                    const ProgressHandler& progressHandler);
    void loadModels() override;

    void setPartialTranscriptCallback(PartialTranscriptCallback callback) override;

protected:
    explicit UnifiedAsrEngine(const Options& options);

    const UnifiedConfig config_;
    const UnifiedEncoderPrecision encoderPrecision_;

    mutable std::mutex mutex_;
    UnifiedModelSet models_;
    PartialTranscriptCallback partialCallback_;

private:
    // The recogniser's loader: its encoder, download variant, mel window and log lines.
    virtual UnifiedModelLoader loader() const = 0;

    platform::ml::ModelConfiguration mlConfiguration_;
};

} // namespace quorl
