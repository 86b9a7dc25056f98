#include "QuorlAudio/tts/styletts2/StyleTTS2MultiArray.hpp"

#include "platform/ml/ModelError.hpp"

#include <algorithm>

namespace quorl::StyleTTS2MultiArray {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

template <class Element>
std::shared_ptr<MultiArray> make(std::span<const Element> values, const std::vector<std::size_t>& shape,
                                 DataType dataType) {
    auto array = std::make_shared<MultiArray>(shape, dataType);
    if (array->count() != values.size()) {
        throw platform::ml::ModelError::invalidArray("a shape of " + std::to_string(array->count()) +
                                                     " elements cannot hold " + std::to_string(values.size()) +
                                                     " values");
    }
    std::ranges::copy(values, array->data<Element>());
    return array;
}

bool isDenseFloat32(const MultiArray& array) {
    return array.dataType() == DataType::float32 && array.strides() == platform::ml::denseStrides(array.shape());
}

} // namespace

std::shared_ptr<MultiArray> makeFloat32(std::span<const float> values, const std::vector<std::size_t>& shape) {
    return make(values, shape, DataType::float32);
}

std::shared_ptr<MultiArray> makeInt32(std::span<const std::int32_t> values, const std::vector<std::size_t>& shape) {
    return make(values, shape, DataType::int32);
}

std::vector<float> extractFloats(const MultiArray& array) {
    if (isDenseFloat32(array)) {
        const float* start = array.data<float>();
        return {start, start + array.count()};
    }
    std::vector<float> values(array.count());
    for (std::size_t index = 0; index < values.size(); ++index) {
        values[index] = static_cast<float>(array.value(index));
    }
    return values;
}

std::vector<std::int64_t> shape(const MultiArray& of) { return {of.shape().begin(), of.shape().end()}; }

} // namespace quorl::StyleTTS2MultiArray
