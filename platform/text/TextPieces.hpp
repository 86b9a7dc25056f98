#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::text {

// The pieces of the text between the separators, empty pieces dropped ("a::b:" at ":" gives "a" and "b").
std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator);

// The pieces written one after another with the separator between each two.
std::string joined(std::span<const std::string> pieces, std::string_view separator);

// The text with every occurrence of `found` (not empty) replaced, left to right; a replacement is never searched
// again, so "aaa" with "aa" replaced by "a" gives "aa".
std::string replacingAll(std::string_view text, std::string_view found, std::string_view replacement);

// Integers as "[1, 50, 256]": how shapes read in messages.
std::string bracketedList(std::span<const std::int64_t> values);

// Texts in double quotes as "[\"a\", \"b\"]": how lists of names read in messages.
std::string quotedList(std::span<const std::string> values);

} // namespace platform::text
