#pragma once

#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>

namespace quorl {

// The tag of one character in the segmentation model; the raw value is the index into every table of the model.
enum class JiebaHmmState {
    begin,  // first character of a word of two or more characters
    middle, // inner character of such a word
    end,    // last character of such a word
    single, // a word of one character
};

// 0 to 3, in declaration order.
constexpr int rawValue(JiebaHmmState state) { return static_cast<int>(state); }

// None for a value outside 0 to 3.
std::optional<JiebaHmmState> jiebaHmmStateFromRawValue(int value);

} // namespace quorl

namespace platform::core {

// The four cases in declaration order, the index order of the model's tables.
template <> std::span<const quorl::JiebaHmmState> allCases<quorl::JiebaHmmState>();

} // namespace platform::core
