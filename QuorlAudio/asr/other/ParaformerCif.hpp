#pragma once

#include "QuorlAudio/asr/other/FeatureRows.hpp"

#include <span>

namespace quorl {

// Continuous integrate-and-fire: turns encoder rows and their firing weights into one acoustic embedding per
// token.
struct ParaformerCif {
    // Accumulates each frame's weight; while the sum stays below the threshold (1.0) the weighted row is added
    // to the pending embedding, and when it reaches the threshold the part of the weight that fills it
    // completes the embedding and the remainder starts the next. A frame fires at most once, so a remainder
    // of 1.0 or more makes the next frame fire whatever its own weight. After the last frame the tail (0.45)
    // is added, and a sum that reaches the threshold then emits the pending embedding as it is. Rows without
    // a weight are ignored; the embeddings have the rows' width (512 when there are none).
    static FeatureRows integrateAndFire(const FeatureRows& encRows, std::span<const float> alphas);
};

} // namespace quorl
