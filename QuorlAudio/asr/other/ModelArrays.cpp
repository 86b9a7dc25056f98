#include "QuorlAudio/asr/other/ModelArrays.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

bool isDenseFloat(const MultiArray& array) {
    return array.dataType() == DataType::float32 && array.strides() == platform::ml::denseStrides(array.shape());
}

// The index of the greatest of `width` scores read by `score`; a tie keeps the lower index.
template <class Score> std::size_t bestIndex(std::size_t width, Score score) {
    std::size_t best = 0;
    float bestScore = -std::numeric_limits<float>::infinity();
    for (std::size_t index = 0; index < width; ++index) {
        const float candidate = score(index);
        if (candidate > bestScore) {
            bestScore = candidate;
            best = index;
        }
    }
    return best;
}

} // namespace

std::shared_ptr<MultiArray> float32Zeros(MultiArray::Shape shape) {
    return std::make_shared<MultiArray>(std::move(shape), DataType::float32);
}

std::shared_ptr<MultiArray> int32Scalar(std::int32_t value) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->at<std::int32_t>(0) = value;
    return array;
}

std::span<float> floats(MultiArray& array) { return {array.data<float>(), array.count()}; }

void copyLeading(const MultiArray& array, std::size_t count, std::span<float> destination) {
    const std::size_t copied = std::min({count, array.count(), destination.size()});
    if (isDenseFloat(array)) {
        std::copy_n(array.data<float>(), copied, destination.begin());
        return;
    }
    for (std::size_t index = 0; index < copied; ++index) {
        destination[index] = static_cast<float>(array.value(index));
    }
}

std::shared_ptr<MultiArray> predictOutput(const platform::ml::Model& model,
                                          std::map<std::string, platform::ml::FeatureValue> inputs,
                                          const std::string& output, std::string_view producer) {
    const auto result = model.predict(platform::ml::DictionaryFeatureProvider(std::move(inputs)));
    const auto value = result->featureValue(output);
    auto array = value ? value->multiArrayValue() : nullptr;
    if (!array) {
        throw ASRError::processingFailed(platform::core::concatenated({producer, " produced no `", output, "`"}));
    }
    return array;
}

std::size_t bestScoreIndex(const MultiArray& scores, std::size_t position) {
    const std::size_t width = scores.shape()[2];
    if (width == 0) {
        return 0;
    }
    if (scores.dataType() == DataType::float32) {
        const std::array<std::size_t, 3> start{0, position, 0};
        const float* row = scores.data<float>() + scores.offsetOf(start);
        const std::size_t stride = scores.strides()[2];
        return bestIndex(width, [row, stride](std::size_t index) { return row[index * stride]; });
    }
    const std::size_t first = position * width;
    return bestIndex(width,
                     [&scores, first](std::size_t index) { return static_cast<float>(scores.value(first + index)); });
}

} // namespace quorl
