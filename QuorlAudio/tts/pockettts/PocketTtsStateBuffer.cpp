#include "QuorlAudio/tts/pockettts/PocketTtsStateBuffer.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsStateError.hpp"
#include "platform/ml/DataType.hpp"

#include <cstring>

namespace quorl::PocketTtsStateBuffer {
namespace {

using platform::ml::MultiArray;

void validate(const MultiArray& buffer, const std::string& name, std::size_t expectedCount) {
    if (buffer.dataType() != platform::ml::DataType::float16) {
        throw PocketTtsStateError::unsupportedStateLayout(name);
    }
    if (buffer.count() != expectedCount) {
        throw PocketTtsStateError::stateBufferMismatch(name, static_cast<std::int64_t>(expectedCount),
                                                       static_cast<std::int64_t>(buffer.count()));
    }
}

bool isDense(const MultiArray& buffer) { return isContiguous(buffer.shape(), buffer.strides()); }

// Calls `visit(storageOffset, flatIndex)` for every element of a padded four-dimensional buffer, in row-major
// order of its shape.
template <class Visit> void walkPadded(const MultiArray& buffer, const std::string& name, Visit visit) {
    const auto& shape = buffer.shape();
    const auto& strides = buffer.strides();
    if (shape.size() != 4 || strides.size() != 4) {
        throw PocketTtsStateError::unsupportedStateLayout(name);
    }
    std::size_t flat = 0;
    for (std::size_t a = 0; a < shape[0]; ++a) {
        for (std::size_t b = 0; b < shape[1]; ++b) {
            for (std::size_t c = 0; c < shape[2]; ++c) {
                const std::size_t row = a * strides[0] + b * strides[1] + c * strides[2];
                for (std::size_t d = 0; d < shape[3]; ++d) {
                    visit(row + d * strides[3], flat++);
                }
            }
        }
    }
}

} // namespace

void write(MultiArray& buffer, std::span<const std::uint16_t> values, const std::string& name) {
    validate(buffer, name, values.size());
    auto* storage = static_cast<unsigned char*>(buffer.dataPointer());
    if (isDense(buffer)) {
        std::memcpy(storage, values.data(), values.size_bytes());
        return;
    }
    walkPadded(buffer, name, [&](std::size_t offset, std::size_t flat) {
        std::memcpy(storage + offset * sizeof(std::uint16_t), &values[flat], sizeof(std::uint16_t));
    });
}

std::vector<std::uint16_t> read(const MultiArray& buffer, const std::string& name) {
    validate(buffer, name, buffer.count());
    std::vector<std::uint16_t> values(buffer.count());
    const auto* storage = static_cast<const unsigned char*>(buffer.dataPointer());
    if (isDense(buffer)) {
        std::memcpy(values.data(), storage, values.size() * sizeof(std::uint16_t));
        return values;
    }
    walkPadded(buffer, name, [&](std::size_t offset, std::size_t flat) {
        std::memcpy(&values[flat], storage + offset * sizeof(std::uint16_t), sizeof(std::uint16_t));
    });
    return values;
}

bool isContiguous(std::span<const std::size_t> shape, std::span<const std::size_t> strides) {
    if (shape.size() != strides.size()) {
        return false;
    }
    std::size_t expected = 1;
    for (std::size_t index = shape.size(); index-- > 0;) {
        if (strides[index] != expected) {
            return false;
        }
        expected *= shape[index];
    }
    return true;
}

} // namespace quorl::PocketTtsStateBuffer
