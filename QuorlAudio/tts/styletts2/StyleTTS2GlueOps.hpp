#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The CPU work of the StyleTTS2 chain between model calls: durations from the duration logits, the hard
// token-to-frame alignment and the expansion through it, a transpose, the vocoder's one-frame shift and the
// blend of sampled and reference style. Sizes that break an operation's preconditions throw
// std::invalid_argument; the synthesiser checks model outputs before they get here.
namespace quorl::StyleTTS2GlueOps {

// A row-major matrix: `rows` rows of `columns` values.
struct Matrix {
    std::span<const float> values;
    std::size_t rows = 0;
    std::size_t columns = 0;
};

struct Alignment {
    // [durations][totalFrames], one 1 per frame column.
    std::vector<float> matrix;
    std::size_t totalFrames = 0;
};

struct StyleBlend {
    // Acoustic style: the first halves blended with alpha.
    std::vector<float> ref128;
    // Prosodic style: the second halves blended with beta.
    std::vector<float> s128;
};

// Per token of logits [1, T, C]: the sum of the C sigmoids rounded half away from zero, at least 1. Throws
// StyleTTS2Error::invalidTensorShape (stage "duration_logits") for another rank or an empty batch axis, and
// StyleTTS2Error::inferenceFailed for a logit that is not finite.
std::vector<std::int64_t> roundDurations(const platform::ml::MultiArray& logits);

// Row i holds ones in the frames of token i, which follow those of the tokens before it.
Alignment buildAlignmentMatrix(std::span<const std::int64_t> durations);

// features [channels][realN] times alignment [realN][totalFrames], through BLAS.
std::vector<float> matmulAligned(const Matrix& features, const Matrix& alignment);

// The [columns][rows] matrix.
std::vector<float> transposeLast2D(const Matrix& matrix);

// Each row one frame later, its first frame repeated and its last dropped.
std::vector<float> hifiganShift(const Matrix& matrix);

// alpha and beta weigh the sampled style against the reference; both vectors hold 256 values.
StyleBlend blendStyle(std::span<const float> sPred256, std::span<const float> refS256, float alpha, float beta);

} // namespace quorl::StyleTTS2GlueOps
