#pragma once

#include "platform/ml/FeatureDescription.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// How the offline embedding extractor reads the tensor sizes of its two models from their input constraints,
// with fallbacks for models that report a flexible or empty shape.
namespace quorl::EmbeddingInputShape {

using Shape = std::vector<std::size_t>;

// The constraint's last default dimension when positive, else the one before it when positive, else the
// fallback (also for no constraint).
std::int64_t resolveElementCount(const std::optional<platform::ml::MultiArrayConstraint>& constraint,
                                 std::int64_t fallback);

// The rank the constraint describes: of its first enumerated shape, else of its default shape, else the
// number of ranged dimensions (possibly 0).
std::size_t dimensionHint(const platform::ml::MultiArrayConstraint& constraint);

// The values with every 0 replaced by the fallback's dimension (its last one past its end, 1 for none), at
// least 1; an empty shape gives the fallback, each dimension at least 1.
Shape sanitizedShape(const Shape& values, const Shape& fallback);

// The first enumerated shape, else the default shape, sanitised; else one dimension per range (its lower bound
// when at least 1, else the fallback's); else the fallback, each dimension at least 1.
Shape sanitizedShape(const platform::ml::MultiArrayConstraint& constraint, const Shape& fallback);

// `rank` − 1 ones followed by `count`.
Shape fallbackShape(std::size_t rank, std::int64_t count);

} // namespace quorl::EmbeddingInputShape
