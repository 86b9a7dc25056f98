#include "QuorlAudio/diarization/chunked/ChunkEmbedding.hpp"
#include "QuorlAudio/diarization/chunked/DiarizerConfig.hpp"
#include "QuorlAudio/diarization/chunked/TimedSpeakerSegment.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <limits>
#include <stdexcept>

namespace quorl {
namespace {

TEST(DiarizerConfigTests, TheDefaultPresetHoldsTheDocumentedValues) {
    const DiarizerConfig expected{
        .clusteringThreshold = 0.7f,
        .minSpeechDuration = 1.0f,
        .minEmbeddingUpdateDuration = 2.0f,
        .minSilenceGap = 0.5f,
        .numClusters = -1,
        .minActiveFramesCount = 10.0f,
        .debugMode = false,
        .chunkDuration = 10.0f,
        .chunkOverlap = 0.0f,
    };
    EXPECT_EQ(DiarizerConfig::defaultConfig(), expected);
    DiarizerConfig changed = DiarizerConfig::defaultConfig();
    changed.chunkDuration = 5;
    EXPECT_NE(changed, DiarizerConfig::defaultConfig());
    EXPECT_EQ(DiarizerConfig::defaultConfig().chunkDuration, 10.0f);
}

TEST(TimedSpeakerSegmentTests, EachSegmentGetsItsOwnIdAndAnUnclampedDuration) {
    const TimedSpeakerSegment first{.speakerId = "1", .startTimeSeconds = 3, .endTimeSeconds = 1};
    const TimedSpeakerSegment second{.speakerId = "1", .startTimeSeconds = 3, .endTimeSeconds = 1};
    EXPECT_NE(first.id, second.id);
    EXPECT_EQ(first.durationSeconds(), -2);
}

ChunkEmbedding sampleEmbedding() {
    return ChunkEmbedding{
        .speakerId = "S2",
        .chunkIndex = 4,
        .speakerIndex = 1,
        .startTimeSeconds = 12.5,
        .endTimeSeconds = 14.75,
        .embedding256 = {0.1f, -0.3f, 0.7f},
        .rho128 = {0.1, 2.5},
    };
}

TEST(ChunkEmbeddingTests, JsonRoundTripsWithFloatsInTheirShortestText) {
    const nlohmann::json json = sampleEmbedding();
    EXPECT_EQ(json.dump(), R"({"chunkIndex":4,"embedding256":[0.1,-0.3,0.7],"endTimeSeconds":14.75,"rho128":[0.1,2.5],)"
                           R"("speakerId":"S2","speakerIndex":1,"startTimeSeconds":12.5})");
    EXPECT_EQ(json.get<ChunkEmbedding>(), sampleEmbedding());
}

TEST(ChunkEmbeddingTests, DecodingRequiresEveryMemberWithItsTypeAndIgnoresOthers) {
    const nlohmann::json valid = sampleEmbedding();
    nlohmann::json extra = valid;
    extra["note"] = 1;
    EXPECT_EQ(extra.get<ChunkEmbedding>(), sampleEmbedding());

    for (const auto& [key, value] : valid.items()) {
        nlohmann::json missing = valid;
        missing.erase(key);
        EXPECT_THROW(missing.get<ChunkEmbedding>(), nlohmann::json::out_of_range) << key;
    }
    const struct {
        const char* key;
        nlohmann::json value;
    } mistyped[] = {
        {"speakerId", 2},       {"chunkIndex", 1.5},          {"chunkIndex", "4"},
        {"speakerIndex", true}, {"startTimeSeconds", "12.5"}, {"endTimeSeconds", false},
        {"embedding256", 0.1},  {"embedding256", {0.1, "x"}}, {"rho128", {true}},
    };
    for (const auto& c : mistyped) {
        nlohmann::json json = valid;
        json[c.key] = c.value;
        EXPECT_THROW(json.get<ChunkEmbedding>(), nlohmann::json::type_error) << c.key << " " << c.value;
    }
    nlohmann::json tooLarge = valid;
    tooLarge["embedding256"] = {1e39};
    EXPECT_THROW(tooLarge.get<ChunkEmbedding>(), nlohmann::json::out_of_range);
}

TEST(ChunkEmbeddingTests, NonFiniteNumbersAreNotWrittenAsNull) {
    ChunkEmbedding withNaN = sampleEmbedding();
    withNaN.embedding256[1] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_THROW((void)nlohmann::json(withNaN), std::domain_error);
    ChunkEmbedding withInfinity = sampleEmbedding();
    withInfinity.endTimeSeconds = std::numeric_limits<double>::infinity();
    EXPECT_THROW((void)nlohmann::json(withInfinity), std::domain_error);
}

} // namespace
} // namespace quorl
