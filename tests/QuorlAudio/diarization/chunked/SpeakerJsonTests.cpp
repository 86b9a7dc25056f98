#include "QuorlAudio/diarization/chunked/Speaker.hpp"
#include "platform/core/JsonDate.hpp"
#include "platform/core/UUID.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <limits>
#include <stdexcept>

namespace quorl {
namespace {

const char* const segmentText = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";

nlohmann::json speakerJson() {
    return {
        {"id", "3"},
        {"name", "Ana"},
        {"currentEmbedding", {3, 4}},
        {"duration", 0.1},
        {"createdAt", 786931200.25},
        {"updatedAt", 786931260.5},
        {"updateCount", 4},
        {"rawEmbeddings", {{{"segmentId", segmentText}, {"embedding", {0.5, 0.25}}, {"timestamp", 786931230.125}}}},
        {"isPermanent", true},
    };
}

TEST(SpeakerJsonTests, ReadingKeepsTheValuesAsFound) {
    const auto speaker = speakerJson().get<Speaker>();
    EXPECT_EQ(speaker.id(), "3");
    EXPECT_EQ(speaker.name, "Ana");
    EXPECT_EQ(speaker.currentEmbedding, (std::vector<float>{3, 4}));
    EXPECT_EQ(speaker.duration, 0.1f);
    EXPECT_EQ(speaker.createdAt, platform::core::dateFromJson(786931200.25));
    EXPECT_EQ(speaker.updateCount, 4);
    ASSERT_EQ(speaker.rawEmbeddings.size(), 1u);
    EXPECT_EQ(speaker.rawEmbeddings[0].segmentId().uuidString(), segmentText);
    EXPECT_EQ(speaker.rawEmbeddings[0].embedding(), (std::vector<float>{0.5f, 0.25f}));
    EXPECT_TRUE(speaker.isPermanent);
}

TEST(SpeakerJsonTests, WritingGivesBackWhatWasRead) {
    EXPECT_EQ(nlohmann::json(speakerJson().get<Speaker>()), speakerJson());
}

TEST(SpeakerJsonTests, FloatsAreWrittenInTheirShortestText) {
    Speaker speaker({.id = "1", .currentEmbedding = {0.6f, 0.8f}, .duration = 0.1f});
    const nlohmann::json json = speaker;
    EXPECT_EQ(json.at("currentEmbedding").dump(), "[0.6,0.8]");
    EXPECT_EQ(json.at("duration").dump(), "0.1");
}

TEST(SpeakerJsonTests, AFreshSpeakerRoundTrips) {
    Speaker speaker({.currentEmbedding = {1, 2, 3}, .duration = 2});
    speaker.addRawEmbedding(
        RawEmbedding(platform::core::UUID::random(), std::vector<float>{1, 0, 1}, std::chrono::system_clock::now()));
    const nlohmann::json json = speaker;
    const auto read = json.get<Speaker>();
    EXPECT_EQ(read.id(), speaker.id());
    EXPECT_EQ(read.rawEmbeddings[0].segmentId(), speaker.rawEmbeddings[0].segmentId());
    EXPECT_EQ(nlohmann::json(read), json);
}

TEST(SpeakerJsonTests, EveryMemberIsRequiredWithItsTypeAndOthersAreIgnored) {
    nlohmann::json extra = speakerJson();
    extra["colour"] = "blue";
    extra["rawEmbeddings"][0]["note"] = 1;
    EXPECT_EQ(nlohmann::json(extra.get<Speaker>()), speakerJson());

    const nlohmann::json valid = speakerJson();
    for (const auto& [key, value] : valid.items()) {
        nlohmann::json missing = speakerJson();
        missing.erase(key);
        EXPECT_THROW(missing.get<Speaker>(), nlohmann::json::out_of_range) << key;
    }
    for (const char* key : {"segmentId", "embedding", "timestamp"}) {
        nlohmann::json missing = speakerJson();
        missing["rawEmbeddings"][0].erase(key);
        EXPECT_THROW(missing.get<Speaker>(), nlohmann::json::out_of_range) << key;
    }
    const struct {
        const char* key;
        nlohmann::json value;
    } mistyped[] = {
        {"id", 3},
        {"name", nullptr},
        {"currentEmbedding", "3,4"},
        {"duration", true},
        {"createdAt", "2025-12-11"},
        {"updateCount", 4.5},
        {"rawEmbeddings", nlohmann::json::object()},
        {"rawEmbeddings", {1}},
        {"isPermanent", 1},
    };
    for (const auto& c : mistyped) {
        nlohmann::json json = speakerJson();
        json[c.key] = c.value;
        EXPECT_THROW(json.get<Speaker>(), nlohmann::json::type_error) << c.key << " " << c.value;
    }
    nlohmann::json badSegment = speakerJson();
    badSegment["rawEmbeddings"][0]["segmentId"] = "not-a-uuid";
    EXPECT_THROW(badSegment.get<Speaker>(), nlohmann::json::type_error);
}

TEST(SpeakerJsonTests, NonFiniteValuesCannotBeWritten) {
    Speaker speaker({.id = "1", .currentEmbedding = {1, 0}});
    speaker.duration = std::numeric_limits<float>::infinity();
    EXPECT_THROW((void)nlohmann::json(speaker), std::domain_error);
    speaker.duration = 0;
    speaker.currentEmbedding[1] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_THROW((void)nlohmann::json(speaker), std::domain_error);
}

} // namespace
} // namespace quorl
