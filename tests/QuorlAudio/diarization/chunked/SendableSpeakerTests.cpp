#include "QuorlAudio/diarization/chunked/SendableSpeaker.hpp"
#include "QuorlAudio/diarization/chunked/Speaker.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace quorl {
namespace {

Speaker speakerWithId(const std::string& id) { return Speaker({.id = id, .currentEmbedding = {3, 4}}); }

TEST(SendableSpeakerTests, DecimalIdsAreReadAsNumbers) {
    const struct {
        const char* id;
        std::int64_t expected;
    } cases[] = {
        {"7", 7},
        {"+7", 7},
        {"-3", -3},
        {"007", 7},
        {"-0", 0},
        {"9223372036854775807", 9223372036854775807},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(speakerWithId(c.id).toSendable().id(), c.expected) << c.id;
    }
}

TEST(SendableSpeakerTests, OtherIdsTakeAStableNonNegativeHash) {
    for (const char* id : {"7a", "+", "-", "", " 7", "+-3", "9223372036854775808", "E621E1F8-C36C-495A"}) {
        const auto first = speakerWithId(id).toSendable().id();
        EXPECT_GE(first, 0) << id;
        EXPECT_EQ(speakerWithId(id).toSendable().id(), first) << id;
    }
    EXPECT_NE(speakerWithId("7a").toSendable().id(), speakerWithId("7b").toSendable().id());
}

TEST(SendableSpeakerTests, TheSnapshotCopiesTheSpeaker) {
    Speaker speaker = speakerWithId("12");
    speaker.name = "Ana";
    speaker.duration = 4.5f;
    const SendableSpeaker snapshot(speaker);
    EXPECT_EQ(snapshot.name(), "Ana");
    EXPECT_EQ(snapshot.duration(), 4.5f);
    EXPECT_EQ(snapshot.mainEmbedding(), speaker.currentEmbedding);
    EXPECT_EQ(snapshot.createdAt(), speaker.createdAt);
    EXPECT_EQ(snapshot.updatedAt(), speaker.updatedAt);
}

TEST(SendableSpeakerTests, TheLabelIsTheNameOrTheNumberedSpeaker) {
    EXPECT_EQ(SendableSpeaker({.id = 12}).label(), "Speaker #12");
    EXPECT_EQ(SendableSpeaker({.id = 12, .name = "Ana"}).label(), "Ana");
}

TEST(SendableSpeakerTests, EqualityNeedsIdAndNameWhileTheHashTakesTheId) {
    const SendableSpeaker ana({.id = 3, .name = "Ana", .duration = 1});
    const SendableSpeaker anaLater({.id = 3, .name = "Ana", .duration = 9});
    const SendableSpeaker bo({.id = 3, .name = "Bo"});
    EXPECT_EQ(ana, anaLater);
    EXPECT_NE(ana, bo);
    EXPECT_EQ(std::hash<SendableSpeaker>{}(ana), std::hash<SendableSpeaker>{}(bo));
    EXPECT_NE(ana, SendableSpeaker({.id = 4, .name = "Ana"}));
}

} // namespace
} // namespace quorl
