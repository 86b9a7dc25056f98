#include "QuorlAudio/diarization/chunked/PowersetConversion.hpp"

#include "QuorlAudio/foundation/DiarizerError.hpp"
#include "platform/dsp/Vector.hpp"

#include <array>
#include <initializer_list>
#include <string>

namespace quorl::PowersetConversion {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

// The local speakers of each class.
const std::array<std::initializer_list<std::size_t>, classCount>& speakersOfClass() {
    static const std::array<std::initializer_list<std::size_t>, classCount> table{
        {{}, {0}, {1}, {2}, {0, 1}, {0, 2}, {1, 2}}};
    return table;
}

std::size_t frameCountOf(const Matrix& scores) {
    const std::size_t frames = scores.empty() ? 0 : scores.front().size();
    for (const auto& batch : scores) {
        if (batch.size() < frames) {
            throw DiarizerError::processingFailed("Segmentation batches hold fewer frames than batch 0");
        }
    }
    return frames;
}

const std::initializer_list<std::size_t>& speakersOf(std::size_t bestClass) {
    if (bestClass >= classCount) {
        throw DiarizerError::processingFailed("Segmentation class " + std::to_string(bestClass) +
                                              " is not a powerset class");
    }
    return speakersOfClass()[bestClass];
}

// The first index of the largest score, found by a plain scan; 0 for a frame without scores.
std::size_t firstBestIndex(const std::vector<float>& frameScores) {
    std::size_t best = 0;
    for (std::size_t index = 1; index < frameScores.size(); ++index) {
        if (frameScores[index] > frameScores[best]) {
            best = index;
        }
    }
    return best;
}

Matrix zeros(std::size_t batches, std::size_t frames) {
    return Matrix(batches, std::vector<std::vector<float>>(frames, std::vector<float>(speakerCount, 0.0f)));
}

std::size_t offsetOf(const MultiArray& buffer, std::size_t batch, std::size_t frame, std::size_t speaker) {
    const auto& strides = buffer.strides();
    return batch * strides[0] + frame * strides[1] + speaker * strides[2];
}

Matrix convertInto(const Matrix& scores, std::size_t frames, MultiArray& buffer) {
    float* values = buffer.data<float>();
    for (std::size_t batch = 0; batch < scores.size(); ++batch) {
        for (std::size_t frame = 0; frame < frames; ++frame) {
            const auto& frameScores = scores[batch][frame];
            const auto best = platform::dsp::maxWithIndex(frameScores.data(), frameScores.size()).index;
            for (const std::size_t speaker : speakersOf(best)) {
                values[offsetOf(buffer, batch, frame, speaker)] = 1.0f;
            }
        }
    }
    Matrix result = zeros(scores.size(), frames);
    for (std::size_t batch = 0; batch < scores.size(); ++batch) {
        for (std::size_t frame = 0; frame < frames; ++frame) {
            platform::dsp::copy(values + offsetOf(buffer, batch, frame, 0), result[batch][frame].data(), speakerCount);
        }
    }
    return result;
}

} // namespace

Matrix alignedConversion(const Matrix& scores, ANEMemoryOptimizer& memoryOptimizer) {
    const std::size_t frames = frameCountOf(scores);
    std::shared_ptr<MultiArray> buffer;
    try {
        buffer = memoryOptimizer.createAlignedArray({scores.size(), frames, speakerCount}, DataType::float32);
    } catch (const DiarizerError&) {
        return plainConversion(scores);
    }
    return convertInto(scores, frames, *buffer);
}

Matrix plainConversion(const Matrix& scores) {
    const std::size_t frames = frameCountOf(scores);
    Matrix result = zeros(scores.size(), frames);
    for (std::size_t batch = 0; batch < scores.size(); ++batch) {
        for (std::size_t frame = 0; frame < frames; ++frame) {
            for (const std::size_t speaker : speakersOf(firstBestIndex(scores[batch][frame]))) {
                result[batch][frame][speaker] = 1.0f;
            }
        }
    }
    return result;
}

} // namespace quorl::PowersetConversion
