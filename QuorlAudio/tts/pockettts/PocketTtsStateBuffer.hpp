#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The half-precision key and value buffers that the stateful PocketTTS model keeps in its model state, read and
// written as flat lists of bit patterns in the row-major order of their shape, whether the runtime stores
// them densely or with padded strides. Every operation throws PocketTtsStateError: unsupportedStateLayout for
// a buffer that is not half precision, or padded but not four-dimensional.
namespace quorl::PocketTtsStateBuffer {

// stateBufferMismatch when the buffer does not hold exactly as many elements as there are values.
void write(platform::ml::MultiArray& buffer, std::span<const std::uint16_t> values, const std::string& name);
std::vector<std::uint16_t> read(const platform::ml::MultiArray& buffer, const std::string& name);

// Whether the strides are the dense row-major strides of the shape; an empty shape is.
bool isContiguous(std::span<const std::size_t> shape, std::span<const std::size_t> strides);

} // namespace quorl::PocketTtsStateBuffer
