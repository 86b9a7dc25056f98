#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <memory>
#include <vector>

namespace testsupport {

// A dense array of the shape and type holding the values in row-major order (converted to the element type).
std::shared_ptr<platform::ml::MultiArray> makeArray(const std::vector<std::size_t>& shape,
                                                    const std::vector<double>& values,
                                                    platform::ml::DataType dataType = platform::ml::DataType::float32);

// Every element in logical row-major order, read through the strides.
std::vector<double> valuesOf(const platform::ml::MultiArray& array);

// A dense copy with the same shape, type and values, so a test keeps what an array held at one moment.
std::shared_ptr<platform::ml::MultiArray> snapshotOf(const platform::ml::MultiArray& array);

} // namespace testsupport
