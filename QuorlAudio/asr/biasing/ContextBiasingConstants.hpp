#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorl {

// The fixed tuning values of context biasing, the vocabulary-size tiers, and five rescorer defaults that
// environment variables may override. Nothing here is ever instantiated.
struct ContextBiasingConstants {
    ContextBiasingConstants() = delete;

    // A similarity floor and a context-biasing weight chosen from the size of a vocabulary.
    struct VocabSizeConfig {
        float minSimilarity;
        float cbw;

        bool operator==(const VocabSizeConfig&) const = default;
    };

    // Token id that stands for any token in a constrained CTC token sequence.
    static constexpr std::int64_t wildcardTokenId = -1;
    static constexpr std::int64_t defaultBlankId = 1024;
    static constexpr float defaultMinSpotterScore = -15.0f;
    static constexpr float defaultMinVocabCtcScore = -12.0f;
    static constexpr float ctcTemperature = 1.0f;
    static constexpr float blankBias = 0.0f;
    static constexpr float minSimilarityFloor = 0.5f;
    static constexpr float defaultMinSimilarity = 0.52f;
    static constexpr float defaultMinCombinedConfidence = 0.54f;
    static constexpr float lengthRatioThreshold = 0.75f;
    static constexpr float shortWordSimilarity = 0.80f;
    static constexpr float stopwordSpanSimilarity = 0.85f;
    static constexpr float defaultCbw = 3.0f;
    static constexpr float defaultAlpha = 0.5f;
    static constexpr double defaultMarginSeconds = 0.1;
    // Term counts above which a vocabulary is large (no spotter-anchored rescue) and extra large.
    static constexpr std::int64_t largeVocabThreshold = 10;
    static constexpr std::int64_t extraLargeVocabThreshold = 100;
    static constexpr std::int64_t baselineTokenCountForThreshold = 3;
    static constexpr float thresholdRelaxationPerToken = 1.0f;
    static constexpr std::int64_t defaultReferenceTokenCount = 3;
    static constexpr bool defaultUseAdaptiveThresholds = true;
    static constexpr std::int64_t shortWordMaxLength = 4;
    static constexpr bool useBkTree = false;
    static constexpr std::int64_t bkTreeMaxDistance = 3;

    // Each reads its variable at the moment of the call; a value that does not parse counts as unset.
    static std::int64_t defaultShortTermCbwTaperPivot();       // "QUORL_CBW_TAPER_PIVOT", default 1
    static float defaultShortTermCbwTaperExponent();           // "QUORL_CBW_TAPER_EXP", default 2.0
    static float defaultSpotterRescueMinSimilarity();          // "QUORL_SPOTTER_MIN_SIM", default 0.0
    static float defaultSpotterRescueMultiWordMinSimilarity(); // "QUORL_SPOTTER_MIN_SIM_MULTI", default 0.0
    static bool defaultSpotterRescueEnabled();                 // "QUORL_SPOTTER_RESCUE", default true

    // 0.50 up to 10 terms (zero and negative counts included), 0.55 up to 100, 0.60 beyond; the weight is
    // 4.5 in every tier.
    static VocabSizeConfig rescorerConfig(std::int64_t forVocabSize);

private:
    // An optional sign and ASCII digits only, within the signed 64-bit range.
    static std::optional<std::int64_t> envInt(const std::string& name);
    // The C locale's conversion consuming the whole value; no leading white space, none trailing.
    static std::optional<float> envFloat(const std::string& name);
    // "1", "true", "yes", "on" and "0", "false", "no", "off", in any letter case.
    static std::optional<bool> envBool(const std::string& name);
};

} // namespace quorl
