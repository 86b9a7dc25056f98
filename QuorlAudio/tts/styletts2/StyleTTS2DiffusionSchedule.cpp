#include "QuorlAudio/tts/styletts2/StyleTTS2DiffusionSchedule.hpp"

#include <cmath>
#include <stdexcept>

namespace quorl::StyleTTS2DiffusionSchedule {

std::vector<double> karrasSigmas(int numSteps, double sigmaMin, double sigmaMax, double rho) {
    if (numSteps < 2) {
        throw std::invalid_argument("StyleTTS2DiffusionSchedule: at least 2 steps");
    }
    const double top = std::pow(sigmaMax, 1.0 / rho);
    const double bottom = std::pow(sigmaMin, 1.0 / rho);
    std::vector<double> sigmas(static_cast<std::size_t>(numSteps) + 1, 0.0);
    for (int step = 0; step < numSteps; ++step) {
        const double fraction = static_cast<double>(step) / static_cast<double>(numSteps - 1);
        sigmas[static_cast<std::size_t>(step)] = std::pow(top + fraction * (bottom - top), rho);
    }
    return sigmas;
}

} // namespace quorl::StyleTTS2DiffusionSchedule
