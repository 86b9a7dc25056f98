#include "QuorlAudio/asr/biasing/VocabularyRescorerConfig.hpp"

#include "QuorlAudio/asr/biasing/ContextBiasingConstants.hpp"

#include <algorithm>
#include <cmath>

namespace quorl {

const VocabularyRescorerConfig& VocabularyRescorerConfig::defaultConfig() {
    static const VocabularyRescorerConfig config = fromEnvironment();
    return config;
}

VocabularyRescorerConfig VocabularyRescorerConfig::fromEnvironment() {
    return {
        .useAdaptiveThresholds = ContextBiasingConstants::defaultUseAdaptiveThresholds,
        .referenceTokenCount = ContextBiasingConstants::defaultReferenceTokenCount,
        .shortTermCbwTaperPivot = ContextBiasingConstants::defaultShortTermCbwTaperPivot(),
        .shortTermCbwTaperExponent = ContextBiasingConstants::defaultShortTermCbwTaperExponent(),
        .spotterRescueMinSimilarity = ContextBiasingConstants::defaultSpotterRescueMinSimilarity(),
        .spotterRescueMultiWordMinSimilarity = ContextBiasingConstants::defaultSpotterRescueMultiWordMinSimilarity(),
        .spotterRescueEnabled = ContextBiasingConstants::defaultSpotterRescueEnabled(),
    };
}

float VocabularyRescorerConfig::adaptiveCbw(float baseCbw, std::int64_t tokenCount) const {
    if (!useAdaptiveThresholds) {
        return baseCbw;
    }
    if (shortTermCbwTaperPivot >= 2 && tokenCount < shortTermCbwTaperPivot) {
        const float fraction =
            static_cast<float>(std::max<std::int64_t>(tokenCount, 1)) / static_cast<float>(shortTermCbwTaperPivot);
        return baseCbw * std::pow(fraction, shortTermCbwTaperExponent);
    }
    if (tokenCount > referenceTokenCount) {
        const float ratio = static_cast<float>(tokenCount) / static_cast<float>(referenceTokenCount);
        return baseCbw * (1.0f + 0.3f * std::log2(ratio));
    }
    return baseCbw;
}

} // namespace quorl
