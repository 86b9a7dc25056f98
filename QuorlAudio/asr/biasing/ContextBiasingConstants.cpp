#include "QuorlAudio/asr/biasing/ContextBiasingConstants.hpp"

#include "platform/sys/Environment.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/DecimalFloat.hpp"
#include "platform/text/DecimalInteger.hpp"

namespace quorl {

std::optional<std::int64_t> ContextBiasingConstants::envInt(const std::string& name) {
    const auto value = platform::sys::environmentValue(name);
    return value ? platform::text::decimalInteger(*value) : std::nullopt;
}

std::optional<float> ContextBiasingConstants::envFloat(const std::string& name) {
    const auto value = platform::sys::environmentValue(name);
    return value ? platform::text::decimalFloat(*value) : std::nullopt;
}

std::optional<bool> ContextBiasingConstants::envBool(const std::string& name) {
    const auto value = platform::sys::environmentValue(name);
    if (!value) {
        return std::nullopt;
    }
    const std::string lowered = platform::text::lowercased(*value);
    if (lowered == "1" || lowered == "true" || lowered == "yes" || lowered == "on") {
        return true;
    }
    if (lowered == "0" || lowered == "false" || lowered == "no" || lowered == "off") {
        return false;
    }
    return std::nullopt;
}

std::int64_t ContextBiasingConstants::defaultShortTermCbwTaperPivot() {
    return envInt("QUORL_CBW_TAPER_PIVOT").value_or(1);
}

float ContextBiasingConstants::defaultShortTermCbwTaperExponent() {
    return envFloat("QUORL_CBW_TAPER_EXP").value_or(2.0f);
}

float ContextBiasingConstants::defaultSpotterRescueMinSimilarity() {
    return envFloat("QUORL_SPOTTER_MIN_SIM").value_or(0.0f);
}

float ContextBiasingConstants::defaultSpotterRescueMultiWordMinSimilarity() {
    return envFloat("QUORL_SPOTTER_MIN_SIM_MULTI").value_or(0.0f);
}

bool ContextBiasingConstants::defaultSpotterRescueEnabled() { return envBool("QUORL_SPOTTER_RESCUE").value_or(true); }

ContextBiasingConstants::VocabSizeConfig ContextBiasingConstants::rescorerConfig(std::int64_t forVocabSize) {
    constexpr float weight = 4.5f;
    if (forVocabSize <= largeVocabThreshold) {
        return VocabSizeConfig{.minSimilarity = 0.50f, .cbw = weight};
    }
    if (forVocabSize <= extraLargeVocabThreshold) {
        return VocabSizeConfig{.minSimilarity = 0.55f, .cbw = weight};
    }
    return VocabSizeConfig{.minSimilarity = 0.60f, .cbw = weight};
}

} // namespace quorl
