#include "QuorlAudio/asr/streaming/UnifiedEncodedWindow.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/UnifiedEncoderFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

#include <algorithm>
#include <vector>

namespace quorl {

UnifiedEncodedWindow UnifiedEncodedWindow::encode(platform::ml::Model& encoder, const UnifiedMelExtractor& melExtractor,
                                                  std::span<const float> audio) {
    std::vector<float> window(static_cast<std::size_t>(melExtractor.windowSamples), 0.0f);
    const auto real = audio.first(std::min(audio.size(), window.size()));
    std::ranges::copy(real, window.begin());
    auto features = melExtractor.features(window, static_cast<std::int64_t>(real.size()));
    const auto result =
        encoder.predict(UnifiedEncoderFeatureProvider(std::move(features.mel), std::move(features.length)));
    auto encoded = platform::ml::multiArrayOutput(*result, "encoder");
    const auto length = platform::ml::multiArrayOutput(*result, "encoder_length");
    if (!encoded || encoded->shape().size() < 3 || !length || length->count() == 0) {
        throw ASRError::processingFailed("Unified encoder failed to produce output");
    }
    const auto frames = static_cast<std::int64_t>(encoded->shape()[2]);
    const auto reported = static_cast<std::int64_t>(length->value(0));
    return {.encoded = std::move(encoded), .validFrames = std::min(frames, reported)};
}

} // namespace quorl
