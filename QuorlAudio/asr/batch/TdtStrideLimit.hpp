#pragma once

#include <cstddef>

namespace quorl {

// Whether a stride fits a signed 32-bit integer, the largest stride the frame and projection copies accept.
bool fitsInt32(std::size_t value);

} // namespace quorl
