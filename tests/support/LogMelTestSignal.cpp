#include "tests/support/LogMelTestSignal.hpp"

#include <cmath>
#include <numbers>

namespace testsupport {

std::vector<float> logMelTestSignal() {
    std::vector<float> samples(1600);
    for (std::size_t index = 0; index < samples.size(); ++index) {
        const double t = static_cast<double>(index) / 16000.0;
        double value = 0.5 * std::sin(2.0 * std::numbers::pi * (100.0 * t + (7900.0 - 100.0) / (2.0 * 0.1) * t * t));
        value += 0.01 * (static_cast<double>((index * 7919) % 1000) / 500.0 - 1.0);
        samples[index] = static_cast<float>(value);
    }
    samples[200] += 0.8f;
    samples[777] -= 0.6f;
    samples[1234] += 0.9f;
    return samples;
}

} // namespace testsupport
