#pragma once

namespace quorl {

// How the activity of a diarizer segment is measured from the speech probabilities of its active frames.
enum class DiarizerActivityType {
    // The mean probability.
    sigmoids,
    // The mean log-odds, ln(p / (1 - p)), with p held within [1e-6, 0.999999].
    logits,
};

using ActivityFunction = float (*)(float probability);

// The per-frame measure whose mean is a segment's activity. NaN gives NaN.
ActivityFunction evaluationFunction(DiarizerActivityType type);

} // namespace quorl
