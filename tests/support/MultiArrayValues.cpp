#include "tests/support/MultiArrayValues.hpp"

#include "platform/ml/MultiArrayCopy.hpp"

#include <stdexcept>

namespace testsupport {

using platform::ml::MultiArray;

std::shared_ptr<MultiArray> makeArray(const std::vector<std::size_t>& shape, const std::vector<double>& values,
                                      platform::ml::DataType dataType) {
    auto array = std::make_shared<MultiArray>(shape, dataType);
    if (values.size() != array->count()) {
        throw std::invalid_argument("makeArray: the values do not fill the shape");
    }
    for (std::size_t index = 0; index < values.size(); ++index) {
        array->setValue(index, values[index]);
    }
    return array;
}

std::vector<double> valuesOf(const MultiArray& array) {
    std::vector<double> values(array.count());
    for (std::size_t index = 0; index < values.size(); ++index) {
        values[index] = array.value(index);
    }
    return values;
}

std::shared_ptr<MultiArray> snapshotOf(const MultiArray& array) {
    auto copy = std::make_shared<MultiArray>(array.shape(), array.dataType());
    platform::ml::copyElements(array, *copy);
    return copy;
}

} // namespace testsupport
