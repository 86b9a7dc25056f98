#pragma once

#include "platform/ml/MultiArray.hpp"

#include <span>
#include <vector>

namespace quorl {

// What the Cohere decoding loop does to the decoder's scores before it picks the best token.
struct CohereScoreRules {
    // Every element of the logits, whatever their shape, as 32-bit floats in row-major order.
    static std::vector<float> copyLogitsFloat32(const platform::ml::MultiArray& logits);

    // Each distinct history id in range once: a score of 0 or more divided by the penalty, a negative one
    // multiplied by it. A penalty of exactly 1 or an empty history changes nothing.
    static void applyRepetitionPenalty(std::span<float> scores, std::span<const int> history, float penalty);

    // Bans (score -1e9) every id that would complete an n-gram already in the history: for n = 1 every
    // history id; for n >= 2 the id that followed each earlier occurrence of the last n - 1 history tokens.
    // Nothing for n < 1 or a history shorter than n - 1.
    static void applyNoRepeatNgram(std::span<float> scores, std::span<const int> history, int n);

    static constexpr float banned = -1e9f;
};

} // namespace quorl
