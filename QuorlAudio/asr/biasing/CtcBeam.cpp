#include "QuorlAudio/asr/biasing/CtcBeam.hpp"

#include <cmath>
#include <limits>

namespace quorl {

float logAddExp(float a, float b) {
    constexpr float minusInfinity = -std::numeric_limits<float>::infinity();
    if (a == minusInfinity) {
        return b;
    }
    if (b == minusInfinity) {
        return a;
    }
    const float m = a > b ? a : b;
    return m + std::log(std::exp(a - m) + std::exp(b - m));
}

std::optional<int> CtcBeam::lastToken() const {
    if (prefix.empty()) {
        return std::nullopt;
    }
    return prefix.back();
}

} // namespace quorl
