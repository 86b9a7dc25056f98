#include "QuorlAudio/asr/batch/ASRResult.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

namespace quorl {
namespace {

ASRResult fullResult() {
    return {"hello world",
            0.1f,
            2.5,
            0.125,
            std::vector<TokenTiming>{{"\u2581hello", 7, 0.0, 0.4, 0.95f}, {"\u2581world", 8, 0.48, 0.8, 0.5f}},
            ASRPerformanceMetrics{0.01, 0.05, 0.06, 0.125, 20.0f, 300.5f, std::nullopt},
            std::vector<std::string>{"World"},
            std::vector<std::string>{}};
}

ASRResult timed(double duration, double processingTime) {
    ASRResult result;
    result.duration = duration;
    result.processingTime = processingTime;
    return result;
}

TEST(ASRResultTests, JsonOfAResultWithoutOptionalsHasOnlyTheFourRequiredKeys) {
    const ASRResult result{"hi", 0.1f, 1.5, 0.25, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    const nlohmann::json json = result;
    EXPECT_EQ(json.dump(), R"({"confidence":0.1,"duration":1.5,"processingTime":0.25,"text":"hi"})");

    const auto read = json.get<ASRResult>();
    EXPECT_EQ(read, result);
    EXPECT_FALSE(read.tokenTimings || read.performanceMetrics || read.ctcDetectedTerms || read.ctcAppliedTerms);
}

TEST(ASRResultTests, JsonRoundTripKeepsEveryOptionalIncludingAnEmptyList) {
    const ASRResult result = fullResult();
    const nlohmann::json json = result;
    EXPECT_EQ(json.at("ctcAppliedTerms"), nlohmann::json::array());
    EXPECT_EQ(json.at("performanceMetrics").at("rtfx"), 20.0);
    EXPECT_FALSE(json.contains("rtfx"));
    EXPECT_EQ(json.get<ASRResult>(), result);
}

TEST(ASRResultTests, ReadingRequiresTheFourRequiredKeysAndIgnoresOthers) {
    nlohmann::json json = fullResult();
    json["language"] = "en";
    EXPECT_EQ(json.get<ASRResult>(), fullResult());

    for (const char* key : {"text", "confidence", "duration", "processingTime"}) {
        nlohmann::json incomplete = json;
        incomplete.erase(key);
        EXPECT_THROW(incomplete.get<ASRResult>(), nlohmann::json::exception) << key;
    }
    json["tokenTimings"][0].erase("tokenId");
    EXPECT_THROW(json.get<ASRResult>(), nlohmann::json::exception);
}

TEST(ASRResultTests, RtfxDividesDurationByProcessingTimeWithoutGuard) {
    EXPECT_EQ(timed(30.0, 0.5).rtfx(), 60.0f);
    EXPECT_EQ(timed(30.0, 0.0).rtfx(), std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(timed(0.0, 0.0).rtfx()));
}

TEST(ASRResultTests, WithRescoringReplacesTextAndTermsOnly) {
    const ASRResult original = fullResult();
    const ASRResult rescored =
        original.withRescoring("hello World", std::vector<std::string>{"World", "Hello"}, std::nullopt);

    ASRResult expected = original;
    expected.text = "hello World";
    expected.ctcDetectedTerms = std::vector<std::string>{"World", "Hello"};
    expected.ctcAppliedTerms = std::nullopt;
    EXPECT_EQ(rescored, expected);
}

} // namespace
} // namespace quorl
