#pragma once

#include <cstddef>
#include <span>

namespace platform::sys {

// Writes every byte of `bytes` to the blocking `descriptor`, carrying on after partial writes and interrupted
// calls. False when a write fails, with errno telling why; a write that makes no progress counts as EIO.
bool writeAll(int descriptor, std::span<const std::byte> bytes);

} // namespace platform::sys
