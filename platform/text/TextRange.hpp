#pragma once

#include <cstddef>

namespace platform::text {

// A stretch of a UTF-8 text, from the byte offset `start` up to, not including, the byte offset `end`.
struct TextRange {
    std::size_t start = 0;
    std::size_t end = 0;

    std::size_t length() const { return end - start; }
    bool operator==(const TextRange&) const = default;
};

} // namespace platform::text
