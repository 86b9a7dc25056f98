#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace quorl {

// Rows of floats of one width stored one after another: encoder rows or acoustic embeddings.
struct FeatureRows {
    std::size_t width = 0;
    std::vector<float> values;

    std::size_t count() const { return width == 0 ? 0 : values.size() / width; }
    std::span<const float> row(std::size_t index) const {
        return std::span<const float>(values).subspan(index * width, width);
    }
};

} // namespace quorl
