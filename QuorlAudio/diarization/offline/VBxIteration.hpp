#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorl {

// One VBx run over flat row-major matrices.
struct VBxProblem {
    // T × D features.
    std::vector<double> features{};
    std::size_t frameCount = 0;
    std::size_t dimension = 0;
    // D between-speaker variances.
    std::vector<double> phi{};
    // T × S starting responsibilities.
    std::vector<double> initialGamma{};
    std::size_t speakerCount = 1;
    std::int64_t maxIterations = 0;
    // The loop stops once the ELBO changes by less than this.
    double epsilon = 0;
    double Fa = 0;
    double Fb = 0;
    // The softmax sharpness applied to the starting rows; negative or not a number: none.
    double initSmoothing = 0;
};

struct VBxRun {
    // T × S.
    std::vector<double> gamma;
    std::vector<double> pi;
    std::vector<double> elbos;
};

// Throws ASRError::processingFailed when the frame count, speaker count or dimension (checked in that order)
// does not fit a signed 32-bit index.
VBxRun runVBx(const VBxProblem& problem);

} // namespace quorl
