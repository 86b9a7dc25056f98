#pragma once

#include <vector>

// The noise levels of a Karras diffusion schedule. The StyleTTS2 sampler model runs its steps itself; this is
// the schedule its settings in StyleTTS2Constants describe.
namespace quorl::StyleTTS2DiffusionSchedule {

// numSteps levels falling from sigmaMax to sigmaMin, evenly spaced in sigma^(1/rho), and a final 0. Throws
// std::invalid_argument for fewer than 2 steps.
std::vector<double> karrasSigmas(int numSteps, double sigmaMin, double sigmaMax, double rho);

} // namespace quorl::StyleTTS2DiffusionSchedule
