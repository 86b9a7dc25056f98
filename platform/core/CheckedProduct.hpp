#pragma once

#include <cstddef>

namespace platform::core {

// a × b; throws what `makeError()` returns when the product does not fit, so that sizes computed from shapes
// and strides can never wrap around to a small allocation.
template <class MakeError> std::size_t checkedProduct(std::size_t a, std::size_t b, MakeError makeError) {
    std::size_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) {
        throw makeError();
    }
    return product;
}

} // namespace platform::core
