#include "QuorlAudio/diarization/offline/SpeakerCountConstraints.hpp"

#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::sys::LogType;

TEST(SpeakerCountConstraintsTests, ResolvesTheBoundsAgainstTheEmbeddingCount) {
    const std::optional<std::int64_t> none;
    const struct {
        std::string name;
        std::int64_t embeddings;
        std::optional<std::int64_t> exact;
        std::optional<std::int64_t> min;
        std::optional<std::int64_t> max;
        SpeakerCountConstraints expected;
        std::string debugLine;
    } cases[] = {
        {"an exact count overrides the bounds", 5, 3, 1, 2, {3, 3, 3}, "numSpeakers=3, min=3, max=3"},
        {"an exact count above the embeddings", 5, 9, none, none, {5, 5, 5}, "numSpeakers=5, min=5, max=5"},
        {"contradictory bounds lower the minimum", 5, none, 4, 2, {2, 2, 2}, "numSpeakers=2, min=2, max=2"},
        {"no embedding still allows one speaker", 0, none, none, none, {1, 1, 1}, "numSpeakers=1, min=1, max=1"},
        {"an open maximum is the embedding count", 10, none, 2, none, {none, 2, 10}, "numSpeakers=nil, min=2, max=10"},
        {"bounds below one", 4, none, -3, 0, {1, 1, 1}, "numSpeakers=1, min=1, max=1"},
    };
    for (const auto& c : cases) {
        testsupport::RecordingLogSink sink;
        EXPECT_EQ(SpeakerCountConstraints::resolve(c.embeddings, c.exact, c.min, c.max), c.expected) << c.name;
        EXPECT_EQ(sink.messages("SpeakerCountConstraints", LogType::debug),
                  std::vector<std::string>{"Resolved constraints: " + c.debugLine})
            << c.name;
    }
}

TEST(SpeakerCountConstraintsTests, WarnsWhenTheMinimumExceedsTheMaximum) {
    testsupport::RecordingLogSink sink;
    SpeakerCountConstraints::resolve(5, std::nullopt, 4, 2);
    EXPECT_EQ(sink.messages("SpeakerCountConstraints", LogType::error),
              std::vector<std::string>{"minSpeakers (4) > maxSpeakers (2); clamping minSpeakers to 2"});
}

} // namespace
} // namespace quorl
