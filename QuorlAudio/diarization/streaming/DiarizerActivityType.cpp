#include "QuorlAudio/diarization/streaming/DiarizerActivityType.hpp"

#include <cmath>

namespace quorl {

namespace {

float identity(float probability) { return probability; }

float logOdds(float probability) {
    constexpr float lowest = 1e-6f;
    constexpr float highest = 0.999999f;
    float clamped = probability;
    if (probability <= lowest) {
        clamped = lowest;
    } else if (probability > highest) {
        clamped = highest;
    }
    return std::log(clamped / (1.0f - clamped));
}

} // namespace

ActivityFunction evaluationFunction(DiarizerActivityType type) {
    return type == DiarizerActivityType::logits ? logOdds : identity;
}

} // namespace quorl
