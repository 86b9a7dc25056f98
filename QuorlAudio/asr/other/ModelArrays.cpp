#include "QuorlAudio/asr/other/ModelArrays.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"

#include <algorithm>
#include <utility>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

bool isDenseFloat(const MultiArray& array) {
    return array.dataType() == DataType::float32 && array.strides() == platform::ml::denseStrides(array.shape());
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

} // namespace quorl
