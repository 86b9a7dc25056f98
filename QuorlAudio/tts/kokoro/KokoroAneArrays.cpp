#include "QuorlAudio/tts/kokoro/KokoroAneArrays.hpp"

#include "platform/dsp/Half.hpp"
#include "platform/ml/MultiArrayFloats.hpp"

#include <cstddef>
#include <cstring>

namespace quorl::KokoroAneArrays {
namespace {

using platform::dsp::Half;
using platform::ml::DataType;
using platform::ml::MultiArray;

// Densely packed in row-major order; dimensions of size 0 or 1 may carry any stride.
bool isContiguous(const MultiArray& array) {
    const auto& shape = array.shape();
    const auto& strides = array.strides();
    if (shape.size() != strides.size()) {
        return false;
    }
    std::size_t expected = 1;
    for (std::size_t dimension = shape.size(); dimension-- > 0;) {
        if (shape[dimension] < 2) {
            continue;
        }
        if (strides[dimension] != expected) {
            return false;
        }
        expected *= shape[dimension];
    }
    return true;
}

void genericCopy(const MultiArray& source, MultiArray& into, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        into.setValue(index, static_cast<float>(source.value(index)));
    }
}

void copyBytes(const MultiArray& source, MultiArray& into) {
    std::memcpy(into.dataPointer(), source.dataPointer(), into.count() * platform::ml::elementSize(into.dataType()));
}

ArrayPointer converted(const Shape& shape, const MultiArray& source, DataType target) {
    auto array = std::make_shared<MultiArray>(shape, target);
    const auto count = array->count();
    const bool dense = isContiguous(source) && isContiguous(*array) && source.count() == count;
    if (!dense) {
        genericCopy(source, *array, count);
    } else if (source.dataType() == target) {
        copyBytes(source, *array);
    } else if (source.dataType() == DataType::float32 && target == DataType::float16) {
        platform::dsp::floatToHalf(source.data<float>(), array->data<Half>(), count);
    } else if (source.dataType() == DataType::float16 && target == DataType::float32) {
        platform::dsp::halfToFloat(source.data<Half>(), array->data<float>(), count);
    } else {
        genericCopy(source, *array, count);
    }
    return array;
}

} // namespace

ArrayPointer int32Array(const Shape& shape, std::span<const std::int32_t> values) {
    auto array = std::make_shared<MultiArray>(shape, DataType::int32);
    std::memcpy(array->dataPointer(), values.data(), values.size_bytes());
    return array;
}

ArrayPointer float16Array(const Shape& shape, std::span<const float> values) {
    auto array = std::make_shared<MultiArray>(shape, DataType::float16);
    platform::dsp::floatToHalf(values.data(), array->data<Half>(), values.size());
    return array;
}

ArrayPointer float32Array(const Shape& shape, std::span<const float> values) {
    auto array = std::make_shared<MultiArray>(shape, DataType::float32);
    std::memcpy(array->dataPointer(), values.data(), values.size_bytes());
    return array;
}

ArrayPointer float16Array(const Shape& shape, const MultiArray& source) {
    return converted(shape, source, DataType::float16);
}

ArrayPointer float32Array(const Shape& shape, const MultiArray& source) {
    return converted(shape, source, DataType::float32);
}

std::vector<float> readFloats(const MultiArray& array) {
    if (array.count() == 0 || !isContiguous(array)) {
        return platform::ml::floatElements(array);
    }
    std::vector<float> values(array.count());
    if (array.dataType() == DataType::float32) {
        std::memcpy(values.data(), array.dataPointer(), values.size() * sizeof(float));
    } else if (array.dataType() == DataType::float16) {
        platform::dsp::halfToFloat(array.data<Half>(), values.data(), values.size());
    } else {
        return platform::ml::floatElements(array);
    }
    return values;
}

} // namespace quorl::KokoroAneArrays
