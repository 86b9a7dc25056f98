#include "QuorlAudio/diarization/streaming/SortformerSpeakerStitcher.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace quorl {
namespace {

using SortformerSpeakerStitcher::alignment;

struct Frames {
    std::vector<float> global;
    std::vector<float> window;
    int count = 0;
};

// One frame per listed pair, global slot g and window slot j both fully active, so each pair adds 1 to the
// pair's score and nothing elsewhere.
Frames pairFrames(const std::vector<std::pair<int, int>>& pairs, int slots) {
    Frames frames;
    for (const auto& [global, window] : pairs) {
        frames.global.resize(frames.global.size() + static_cast<std::size_t>(slots));
        frames.window.resize(frames.window.size() + static_cast<std::size_t>(slots));
        frames.global[frames.global.size() - static_cast<std::size_t>(slots) + static_cast<std::size_t>(global)] = 1;
        frames.window[frames.window.size() - static_cast<std::size_t>(slots) + static_cast<std::size_t>(window)] = 1;
        ++frames.count;
    }
    return frames;
}

// For each window slot the global slot it goes to, when global slot g matches window slot permutation[g].
std::vector<int> assignmentFor(const std::string& permutation) {
    std::vector<int> assignment(permutation.size());
    for (std::size_t g = 0; g < permutation.size(); ++g) {
        assignment[static_cast<std::size_t>(permutation[g] - '0')] = static_cast<int>(g);
    }
    return assignment;
}

TEST(SortformerSpeakerStitcherTests, AmongEqualScoresThePermutationVisitedFirstWins) {
    // Two permutations that score the same, higher than any other: the earlier in 012, 021, 102, 120, 210, 201
    // wins, whichever way round they are given.
    const std::vector<std::string> order{"012", "021", "102", "120", "210", "201"};
    for (std::size_t index = 0; index + 1 < order.size(); ++index) {
        for (const auto& [first, second] :
             {std::pair{order[index], order[index + 1]}, std::pair{order[index + 1], order[index]}}) {
            std::vector<std::pair<int, int>> pairs;
            for (const auto& permutation : {first, second}) {
                for (int g = 0; g < 3; ++g) {
                    pairs.emplace_back(g, permutation[static_cast<std::size_t>(g)] - '0');
                }
            }
            const auto frames = pairFrames(pairs, 3);
            EXPECT_EQ(alignment(frames.global, frames.window, frames.count, 3), assignmentFor(order[index]))
                << first << " against " << second;
        }
    }
}

TEST(SortformerSpeakerStitcherTests, SwappedSlotsAreMappedBack) {
    const auto swapped = pairFrames({{0, 1}, {1, 0}, {0, 1}, {2, 2}, {3, 3}}, 4);
    EXPECT_EQ(alignment(swapped.global, swapped.window, swapped.count, 4), (std::vector<int>{1, 0, 2, 3}));

    // A rotation tells the assignment from its inverse: global slot g continues window slot (g + 1) % 3.
    const auto rotated = pairFrames({{0, 1}, {1, 2}, {2, 0}}, 3);
    EXPECT_EQ(alignment(rotated.global, rotated.window, rotated.count, 3), (std::vector<int>{2, 0, 1}));

    // Probabilities weigh: global slot 0 overlaps window slot 1 more than window slot 0.
    const std::vector<float> global{0.9f, 0.1f, 0.8f, 0.2f};
    const std::vector<float> window{0.4f, 0.6f, 0.3f, 0.7f};
    EXPECT_EQ(alignment(global, window, 2, 2), (std::vector<int>{1, 0}));
}

TEST(SortformerSpeakerStitcherTests, NothingToCompareKeepsTheIdentity) {
    const std::vector<int> identity{0, 1, 2, 3};
    const auto swapped = pairFrames({{0, 1}, {1, 0}}, 4);
    const std::vector<float> silent(swapped.global.size(), 0.0f);
    const std::vector<float> short1(swapped.global.begin(), swapped.global.end() - 1);
    const std::vector<float> short2(swapped.window.begin(), swapped.window.end() - 1);

    EXPECT_EQ(alignment(silent, swapped.window, 2, 4), identity);
    EXPECT_EQ(alignment(short1, swapped.window, 2, 4), identity);
    EXPECT_EQ(alignment(swapped.global, short2, 2, 4), identity);
    EXPECT_EQ(alignment(swapped.global, swapped.window, 0, 4), identity);
    EXPECT_EQ(alignment(swapped.global, swapped.window, -1, 4), identity);
    EXPECT_EQ(alignment(swapped.global, swapped.window, 2, 0), std::vector<int>{});
    // Only the frames asked for count: the first frame alone matches slot 0 with slot 1.
    EXPECT_EQ(alignment(swapped.global, swapped.window, 1, 4)[1], 0);
}

} // namespace
} // namespace quorl
