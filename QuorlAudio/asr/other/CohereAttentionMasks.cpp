#include "QuorlAudio/asr/other/CohereAttentionMasks.hpp"

#include "QuorlAudio/asr/other/CohereAsrConfig.hpp"

#include "platform/dsp/Half.hpp"

#include <algorithm>
#include <cstddef>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

// A zero-filled [1, 1, 1, length] mask whose positions from `firstMasked` on hold the masked value, written
// to the raw buffer for the float types and through the numeric subscript for any other type.
std::shared_ptr<MultiArray> maskFrom(std::size_t length, std::size_t firstMasked, DataType dtype) {
    auto mask = std::make_shared<MultiArray>(MultiArray::Shape{1, 1, 1, length}, dtype);
    const std::size_t first = std::min(firstMasked, length);
    if (dtype == DataType::float16) {
        const auto value = static_cast<platform::dsp::Half>(CohereAttentionMasks::masked);
        std::fill(mask->data<platform::dsp::Half>() + first, mask->data<platform::dsp::Half>() + length, value);
    } else if (dtype == DataType::float32) {
        std::fill(mask->data<float>() + first, mask->data<float>() + length, CohereAttentionMasks::masked);
    } else {
        for (std::size_t position = first; position < length; ++position) {
            mask->setValue(position, CohereAttentionMasks::masked);
        }
    }
    return mask;
}

std::size_t count(int value) { return static_cast<std::size_t>(std::max(value, 0)); }

} // namespace

std::shared_ptr<MultiArray> CohereAttentionMasks::buildCrossAttentionMask(int encoderSeqLen, int encoderValid,
                                                                          DataType dtype) {
    return maskFrom(count(encoderSeqLen), count(encoderValid), dtype);
}

std::shared_ptr<MultiArray> CohereAttentionMasks::buildSelfAttentionMask(int step, bool useStatic, DataType dtype) {
    if (!useStatic) {
        return maskFrom(count(step + 1), count(step + 1), dtype);
    }
    return maskFrom(count(CohereAsrConfig::maxSeqLen), count(step + 1), dtype);
}

} // namespace quorl
