#include "QuorlAudio/asr/biasing/ContextBiasingConstants.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

namespace quorl {
namespace {

using testsupport::ScopedEnvironment;
using VocabSizeConfig = ContextBiasingConstants::VocabSizeConfig;

TEST(ContextBiasingConstantsTests, VocabularySizeTiersIncludeTheirUpperBoundary) {
    const struct {
        std::int64_t terms;
        float minSimilarity;
    } cases[] = {{-5, 0.50f}, {0, 0.50f}, {1, 0.50f}, {10, 0.50f}, {11, 0.55f}, {100, 0.55f}, {101, 0.60f}};
    for (const auto& testCase : cases) {
        EXPECT_EQ(ContextBiasingConstants::rescorerConfig(testCase.terms),
                  (VocabSizeConfig{.minSimilarity = testCase.minSimilarity, .cbw = 4.5f}))
            << testCase.terms;
    }
}

TEST(ContextBiasingConstantsTests, TaperPivotTakesOnlyASignedRunOfDigits) {
    const struct {
        std::optional<std::string> value;
        std::int64_t pivot;
    } cases[] = {
        {std::nullopt, 1},
        {"+5", 5},
        {"-2", -2},
        {"007", 7},
        {" 5", 1},
        {"5 ", 1},
        {"5.0", 1},
        {"0x5", 1},
        {"", 1},
        {"+", 1},
        {"--5", 1},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", 1},
    };
    for (const auto& testCase : cases) {
        ScopedEnvironment environment;
        environment.set("QUORL_CBW_TAPER_PIVOT", testCase.value);
        EXPECT_EQ(ContextBiasingConstants::defaultShortTermCbwTaperPivot(), testCase.pivot)
            << testCase.value.value_or("(unset)");
    }
}

TEST(ContextBiasingConstantsTests, FloatSettingsConsumeTheWholeValueInTheCLocale) {
    // No parsed value means each setting keeps its own default.
    const struct {
        std::optional<std::string> value;
        std::optional<float> parsed;
    } cases[] = {
        {std::nullopt, std::nullopt},
        {"1.5", 1.5f},
        {"1e1", 10.0f},
        {"0x1p1", 2.0f},
        {"-0.25", -0.25f},
        {"+3", 3.0f},
        {" 1.5", std::nullopt},
        {"1.5 ", std::nullopt},
        {"", std::nullopt},
        {"1,5", std::nullopt},
        {"abc", std::nullopt},
        {"1e99", std::nullopt},
    };
    for (const auto& testCase : cases) {
        ScopedEnvironment environment;
        environment.set("QUORL_CBW_TAPER_EXP", testCase.value)
            .set("QUORL_SPOTTER_MIN_SIM", testCase.value)
            .set("QUORL_SPOTTER_MIN_SIM_MULTI", testCase.value);
        const std::string label = testCase.value.value_or("(unset)");
        EXPECT_EQ(ContextBiasingConstants::defaultShortTermCbwTaperExponent(), testCase.parsed.value_or(2.0f)) << label;
        EXPECT_EQ(ContextBiasingConstants::defaultSpotterRescueMinSimilarity(), testCase.parsed.value_or(0.0f))
            << label;
        EXPECT_EQ(ContextBiasingConstants::defaultSpotterRescueMultiWordMinSimilarity(), testCase.parsed.value_or(0.0f))
            << label;
    }
    ScopedEnvironment environment;
    environment.set("QUORL_SPOTTER_MIN_SIM", "inf");
    EXPECT_TRUE(std::isinf(ContextBiasingConstants::defaultSpotterRescueMinSimilarity()));
}

TEST(ContextBiasingConstantsTests, RescueSwitchReadsTheWholeWordInAnyCase) {
    const struct {
        std::optional<std::string> value;
        bool enabled;
    } cases[] = {
        {std::nullopt, true}, {"OFF", false}, {"No", false},   {"0", false},    {"false", false}, {"YES", true},
        {"1", true},          {"On", true},   {"maybe", true}, {" true", true}, {"", true},       {"off ", true},
    };
    for (const auto& testCase : cases) {
        ScopedEnvironment environment;
        environment.set("QUORL_SPOTTER_RESCUE", testCase.value);
        EXPECT_EQ(ContextBiasingConstants::defaultSpotterRescueEnabled(), testCase.enabled)
            << testCase.value.value_or("(unset)");
    }
}

} // namespace
} // namespace quorl
