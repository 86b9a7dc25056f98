#include "QuorlAudio/asr/streaming/UnifiedAsrEngine.hpp"

#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"

#include <utility>

namespace quorl {

UnifiedAsrEngine::UnifiedAsrEngine(const Options& options)
    : config_(options.config), encoderPrecision_(options.encoderPrecision),
      mlConfiguration_(options.configuration ? *options.configuration
                                             : MLModelConfigurationUtils::defaultConfiguration(
                                                   platform::ml::ComputeUnits::cpuAndNeuralEngine)) {}

platform::ml::ModelConfiguration UnifiedAsrEngine::mlConfiguration() const {
    const std::lock_guard lock(mutex_);
    return mlConfiguration_;
}

void UnifiedAsrEngine::setMlConfiguration(platform::ml::ModelConfiguration configuration) {
    const std::lock_guard lock(mutex_);
    mlConfiguration_ = std::move(configuration);
}

void UnifiedAsrEngine::loadModels(const std::filesystem::path& from) {
    const std::lock_guard lock(mutex_);
    loader().loadFrom(models_, from, mlConfiguration_);
}

void UnifiedAsrEngine::loadModels(const std::optional<std::filesystem::path>& to,
                                  const std::optional<platform::ml::ModelConfiguration>& configuration,
                                  const ProgressHandler& progressHandler) {
    const std::lock_guard lock(mutex_);
    if (configuration) {
        mlConfiguration_ = *configuration;
    }
    loader().load(models_, to, mlConfiguration_, progressHandler);
}

void UnifiedAsrEngine::loadModels() { loadModels(std::nullopt, std::nullopt, {}); }

void UnifiedAsrEngine::setPartialTranscriptCallback(PartialTranscriptCallback callback) {
    const std::lock_guard lock(mutex_);
    partialCallback_ = std::move(callback);
}

} // namespace quorl
