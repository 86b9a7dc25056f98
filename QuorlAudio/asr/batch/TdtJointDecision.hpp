#pragma once

#include <optional>
#include <span>

namespace quorl {

// The joint model's answer for one encoder frame and one decoder output.
struct TdtJointDecision {
    // "token_id".
    int token = 0;
    // "token_prob".
    float probability = 0;
    // "duration": an index into TdtConfig::durationBins.
    int durationIndex = 0;
    // "top_k_ids" and "top_k_logits", read only when asked for and present (always both or neither). They view
    // lists the window's step buffers own, so they hold until the next joint step.
    std::optional<std::span<const int>> topKIds;
    std::optional<std::span<const float>> topKLogits;
};

// A probability as a token confidence in [0, 1]: infinite and NaN values give 0, larger values are capped
// at 1 and negative ones give 0.
float confidenceOf(float probability);

} // namespace quorl
