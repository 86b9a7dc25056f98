#include "QuorlAudio/diarization/streaming/SortformerSpeakerStitcher.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <numeric>
#include <utility>

namespace quorl::SortformerSpeakerStitcher {
namespace {

// The best assignment of global slots to window slots: best[g] is the window slot of global slot g.
class PermutationSearch {
public:
    PermutationSearch(std::vector<float> scores, std::size_t slots)
        : scores_(std::move(scores)), slots_(slots), current_(slots), best_(slots) {
        std::iota(current_.begin(), current_.end(), 0);
        best_ = current_;
    }

    std::vector<int> run() {
        visit(0);
        return best_;
    }

private:
    // Every permutation of the positions from `depth` on, the unswapped order first.
    void visit(std::size_t depth) {
        if (depth == slots_) {
            score();
            return;
        }
        for (std::size_t offset = 0; depth + offset < slots_; ++offset) {
            std::swap(current_[depth], current_[depth + offset]);
            visit(depth + 1);
            std::swap(current_[depth], current_[depth + offset]);
        }
    }

    void score() {
        float total = 0;
        for (std::size_t global = 0; global < slots_; ++global) {
            total += scores_[global * slots_ + static_cast<std::size_t>(current_[global])];
        }
        if (total > bestScore_) {
            bestScore_ = total;
            best_ = current_;
        }
    }

    std::vector<float> scores_;
    std::size_t slots_;
    std::vector<int> current_;
    std::vector<int> best_;
    float bestScore_ = -std::numeric_limits<float>::max();
};

// scores[g * slots + j]: the dot product of global slot g and window slot j over the frames.
std::vector<float> pairScores(std::span<const float> global, std::span<const float> window, std::size_t frames,
                              std::size_t slots) {
    std::vector<float> scores(slots * slots, 0.0f);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const std::size_t row = frame * slots;
        for (std::size_t g = 0; g < slots; ++g) {
            const float value = global[row + g];
            if (value == 0) {
                continue;
            }
            for (std::size_t j = 0; j < slots; ++j) {
                scores[g * slots + j] += value * window[row + j];
            }
        }
    }
    return scores;
}

} // namespace

std::vector<int> alignment(std::span<const float> global, std::span<const float> window, int frames, int numSpeakers) {
    const auto slots = static_cast<std::size_t>(std::max(numSpeakers, 0));
    std::vector<int> identity(slots);
    std::iota(identity.begin(), identity.end(), 0);
    if (frames <= 0 || slots == 0) {
        return identity;
    }
    const auto needed = static_cast<std::size_t>(frames) * slots;
    if (global.size() < needed || window.size() < needed) {
        return identity;
    }
    const auto best =
        PermutationSearch(pairScores(global, window, static_cast<std::size_t>(frames), slots), slots).run();
    std::vector<int> assignment(slots);
    for (std::size_t g = 0; g < slots; ++g) {
        assignment[static_cast<std::size_t>(best[g])] = static_cast<int>(g);
    }
    return assignment;
}

} // namespace quorl::SortformerSpeakerStitcher
