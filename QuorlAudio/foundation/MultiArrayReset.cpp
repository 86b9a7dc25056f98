#include "QuorlAudio/foundation/MultiArrayReset.hpp"

#include "platform/dsp/Vector.hpp"
#include "platform/ml/MultiArrayRows.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace quorl {

using platform::ml::DataType;
using platform::ml::MultiArray;

namespace {

std::int32_t integerOf(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<std::int32_t>(std::clamp(value, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                                                static_cast<double>(std::numeric_limits<std::int32_t>::max())));
}

template <class T, class FillRow> void fillRows(MultiArray& array, T value, FillRow fillRow) {
    T* data = array.data<T>();
    const std::size_t columns = array.shape().back();
    const std::size_t step = array.strides().back();
    platform::ml::forEachRow(array.shape(), array.strides(), array.strides(), [&](std::size_t offset, std::size_t) {
        if (step == 1) {
            fillRow(data + offset, value, columns);
            return;
        }
        for (std::size_t column = 0; column < columns; ++column) {
            data[offset + column * step] = value;
        }
    });
}

} // namespace

void reset(MultiArray& array, double value) {
    if (array.count() == 0) {
        return;
    }
    if (array.dataType() == DataType::float32) {
        fillRows(array, static_cast<float>(value), platform::dsp::fill);
    } else if (array.dataType() == DataType::int32) {
        fillRows(array, integerOf(value), [](std::int32_t* row, std::int32_t fillValue, std::size_t count) {
            std::fill_n(row, count, fillValue);
        });
    }
}

} // namespace quorl
