#include "QuorlAudio/asr/biasing/VocabularyRescorerConfig.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace quorl {
namespace {

TEST(VocabularyRescorerConfigTest, TheWeightGrowsWithTheLogarithmOfLongTerms) {
    const VocabularyRescorerConfig config{};
    const struct {
        std::int64_t tokens;
        float weight;
    } cases[] = {{0, 4.5f},  {1, 4.5f},    {3, 4.5f},  {4, 5.0603f}, {5, 5.4949f},
                 {6, 5.85f}, {8, 6.4103f}, {12, 7.2f}, {24, 8.55f}};
    for (const auto& [tokens, weight] : cases) {
        EXPECT_NEAR(config.adaptiveCbw(4.5f, tokens), weight, 1e-4f) << tokens;
    }
}

TEST(VocabularyRescorerConfigTest, ShortTermsAreTaperedBelowAPivotOfTwoOrMore) {
    const VocabularyRescorerConfig tapered{.shortTermCbwTaperPivot = 3, .shortTermCbwTaperExponent = 2.0f};
    EXPECT_NEAR(tapered.adaptiveCbw(4.5f, 0), 0.5f, 1e-6f);
    EXPECT_NEAR(tapered.adaptiveCbw(4.5f, 1), 0.5f, 1e-6f);
    EXPECT_NEAR(tapered.adaptiveCbw(4.5f, 2), 2.0f, 1e-6f);
    EXPECT_EQ(tapered.adaptiveCbw(4.5f, 3), 4.5f);
    // A tapered count is not also grown, even above the reference.
    const VocabularyRescorerConfig lowReference{.referenceTokenCount = 1, .shortTermCbwTaperPivot = 3};
    EXPECT_NEAR(lowReference.adaptiveCbw(4.5f, 2), 2.0f, 1e-6f);
    for (const std::int64_t pivot : {-1, 0, 1}) {
        const VocabularyRescorerConfig untapered{.shortTermCbwTaperPivot = pivot, .shortTermCbwTaperExponent = 9.0f};
        EXPECT_EQ(untapered.adaptiveCbw(4.5f, 1), 4.5f) << pivot;
    }
}

TEST(VocabularyRescorerConfigTest, WithoutAdaptiveThresholdsEveryTermGetsTheBaseWeight) {
    const VocabularyRescorerConfig config{.useAdaptiveThresholds = false, .shortTermCbwTaperPivot = 3};
    for (const std::int64_t tokens : {-2, 0, 1, 4, 100}) {
        EXPECT_EQ(config.adaptiveCbw(3.0f, tokens), 3.0f) << tokens;
    }
}

TEST(VocabularyRescorerConfigTest, TheEnvironmentOverridesWhatParses) {
    testsupport::ScopedEnvironment environment;
    environment.set("QUORL_CBW_TAPER_PIVOT", "three")
        .set("QUORL_CBW_TAPER_EXP", "1.5")
        .set("QUORL_SPOTTER_MIN_SIM", "0.4")
        .set("QUORL_SPOTTER_MIN_SIM_MULTI", std::nullopt)
        .set("QUORL_SPOTTER_RESCUE", "perhaps");
    EXPECT_EQ(VocabularyRescorerConfig::fromEnvironment(),
              (VocabularyRescorerConfig{.useAdaptiveThresholds = true,
                                        .referenceTokenCount = 3,
                                        .shortTermCbwTaperPivot = 1,
                                        .shortTermCbwTaperExponent = 1.5f,
                                        .spotterRescueMinSimilarity = 0.4f,
                                        .spotterRescueMultiWordMinSimilarity = 0.0f,
                                        .spotterRescueEnabled = true}));
    environment.set("QUORL_CBW_TAPER_PIVOT", "4").set("QUORL_SPOTTER_RESCUE", "off");
    const auto config = VocabularyRescorerConfig::fromEnvironment();
    EXPECT_EQ(config.shortTermCbwTaperPivot, 4);
    EXPECT_FALSE(config.spotterRescueEnabled);
}

} // namespace
} // namespace quorl
