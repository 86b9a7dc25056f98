#include "QuorlAudio/tts/styletts2/StyleTTS2GlueOps.hpp"

#include "QuorlAudio/tts/styletts2/StyleTTS2Constants.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2MultiArray.hpp"
#include "platform/dsp/Vector.hpp"
#include "platform/text/TextPieces.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace quorl::StyleTTS2GlueOps {
namespace {

void require(bool condition, const char* message) {
    if (!condition) {
        throw std::invalid_argument(message);
    }
}

void requireConsistent(const Matrix& matrix) {
    require(matrix.values.size() == matrix.rows * matrix.columns, "StyleTTS2GlueOps: matrix size mismatch");
}

float sigmoidSum(const platform::ml::MultiArray& logits, std::size_t token, std::size_t classes) {
    float sum = 0.0F;
    for (std::size_t index = token * classes; index < (token + 1) * classes; ++index) {
        const auto logit = static_cast<float>(logits.value(index));
        if (!std::isfinite(logit)) {
            throw StyleTTS2Error::inferenceFailed("duration_logits",
                                                  "non-finite logit for token " + std::to_string(token));
        }
        sum += 1.0F / (1.0F + std::exp(-logit));
    }
    return sum;
}

} // namespace

std::vector<std::int64_t> roundDurations(const platform::ml::MultiArray& logits) {
    const auto& shape = logits.shape();
    // Token i's logits are the elements (0, i, j): without a batch entry there are none to read.
    if (shape.size() != 3 || shape[0] == 0) {
        throw StyleTTS2Error::invalidTensorShape("duration_logits", "[1, T, C]",
                                                 platform::text::bracketedList(StyleTTS2MultiArray::shape(logits)));
    }
    std::vector<std::int64_t> durations(shape[1]);
    for (std::size_t token = 0; token < durations.size(); ++token) {
        durations[token] = std::max<std::int64_t>(1, std::lround(sigmoidSum(logits, token, shape[2])));
    }
    return durations;
}

Alignment buildAlignmentMatrix(std::span<const std::int64_t> durations) {
    require(std::ranges::none_of(durations, [](std::int64_t duration) { return duration < 0; }),
            "StyleTTS2GlueOps: negative duration");
    Alignment alignment;
    for (const auto duration : durations) {
        alignment.totalFrames += static_cast<std::size_t>(duration);
    }
    alignment.matrix.assign(durations.size() * alignment.totalFrames, 0.0F);
    std::size_t start = 0;
    for (std::size_t token = 0; token < durations.size(); ++token) {
        const auto end = start + static_cast<std::size_t>(durations[token]);
        std::fill(alignment.matrix.begin() + static_cast<std::ptrdiff_t>(token * alignment.totalFrames + start),
                  alignment.matrix.begin() + static_cast<std::ptrdiff_t>(token * alignment.totalFrames + end), 1.0F);
        start = end;
    }
    return alignment;
}

std::vector<float> matmulAligned(const Matrix& features, const Matrix& alignment) {
    requireConsistent(features);
    requireConsistent(alignment);
    require(features.columns == alignment.rows, "StyleTTS2GlueOps: features and alignment disagree on tokens");
    std::vector<float> product(features.rows * alignment.columns);
    platform::dsp::matrixProduct(features.values.data(), alignment.values.data(), product.data(), features.rows,
                                 alignment.columns, features.columns);
    return product;
}

std::vector<float> transposeLast2D(const Matrix& matrix) {
    requireConsistent(matrix);
    std::vector<float> transposed(matrix.values.size());
    for (std::size_t row = 0; row < matrix.rows; ++row) {
        platform::dsp::copy(matrix.values.data() + row * matrix.columns, 1, transposed.data() + row, matrix.rows,
                            matrix.columns);
    }
    return transposed;
}

std::vector<float> hifiganShift(const Matrix& matrix) {
    requireConsistent(matrix);
    require(matrix.rows == 0 || matrix.columns > 0, "StyleTTS2GlueOps: a shifted row needs a frame");
    std::vector<float> shifted(matrix.values.size());
    for (std::size_t row = 0; row < matrix.rows; ++row) {
        const float* source = matrix.values.data() + row * matrix.columns;
        float* destination = shifted.data() + row * matrix.columns;
        destination[0] = source[0];
        platform::dsp::copy(source, destination + 1, matrix.columns - 1);
    }
    return shifted;
}

StyleBlend blendStyle(std::span<const float> sPred256, std::span<const float> refS256, float alpha, float beta) {
    constexpr auto styleDim = static_cast<std::size_t>(StyleTTS2Constants::styleDim);
    constexpr auto split = static_cast<std::size_t>(StyleTTS2Constants::refSplit);
    require(sPred256.size() == styleDim && refS256.size() == styleDim, "StyleTTS2GlueOps: style vectors hold 256");
    StyleBlend blend{.ref128 = std::vector<float>(split), .s128 = std::vector<float>(styleDim - split)};
    for (std::size_t index = 0; index < split; ++index) {
        blend.ref128[index] = alpha * sPred256[index] + (1.0F - alpha) * refS256[index];
    }
    for (std::size_t index = 0; index < styleDim - split; ++index) {
        blend.s128[index] = beta * sPred256[split + index] + (1.0F - beta) * refS256[split + index];
    }
    return blend;
}

} // namespace quorl::StyleTTS2GlueOps
