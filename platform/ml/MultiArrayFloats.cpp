#include "platform/ml/MultiArrayFloats.hpp"

#include "platform/dsp/Half.hpp"
#include "platform/ml/MultiArrayRows.hpp"

#include <cstdint>
#include <type_traits>

namespace platform::ml {
namespace {

template <class Element> void convertRows(const MultiArray& array, std::vector<float>& values) {
    const auto* source = static_cast<const Element*>(array.dataPointer());
    const MultiArray::Shape dense = denseStrides(array.shape());
    const std::size_t columns = array.shape().back();
    const std::size_t columnStride = array.strides().back();
    forEachRow(array.shape(), array.strides(), dense, [&](std::size_t sourceOffset, std::size_t valueOffset) {
        const Element* row = source + sourceOffset;
        float* destination = values.data() + valueOffset;
        if constexpr (std::is_same_v<Element, dsp::Half>) {
            if (columnStride == 1) {
                dsp::halfToFloat(row, destination, columns);
                return;
            }
        }
        for (std::size_t column = 0; column < columns; ++column) {
            destination[column] = static_cast<float>(row[column * columnStride]);
        }
    });
}

} // namespace

std::vector<float> floatElements(const MultiArray& array) {
    std::vector<float> values(array.count());
    if (values.empty()) {
        return values;
    }
    switch (array.dataType()) {
    case DataType::float16: convertRows<dsp::Half>(array, values); break;
    case DataType::float32: convertRows<float>(array, values); break;
    case DataType::float64: convertRows<double>(array, values); break;
    case DataType::int32: convertRows<std::int32_t>(array, values); break;
    }
    return values;
}

} // namespace platform::ml
