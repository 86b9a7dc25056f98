#pragma once

#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>
#include <string_view>

namespace quorl {

// Which build of a Sortformer bundle is loaded: the half-precision one or the palettised one.
enum class SortformerModelPrecision {
    fp16,
    palettized,
};

// "fp16" or "palettized".
std::string_view rawValue(SortformerModelPrecision precision);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match: "FP16" is no precision.
template <>
std::optional<quorl::SortformerModelPrecision> fromRawValue<quorl::SortformerModelPrecision>(std::string_view rawValue);

// fp16, then palettized.
template <> std::span<const quorl::SortformerModelPrecision> allCases<quorl::SortformerModelPrecision>();

} // namespace platform::core
