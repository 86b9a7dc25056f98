#pragma once

#include "platform/core/Concatenated.hpp"

#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <string_view>

// Small helpers shared by the catalogue's sources.
namespace quorl::ModelNames::support {

using platform::core::concatenated;

// A set of owned names from the given ones.
std::set<std::string> nameSet(std::initializer_list<std::string_view> names);

// The set with the names added.
std::set<std::string> adding(std::set<std::string> set, std::initializer_list<std::string_view> names);

// The case whose raw value is exactly the text, found through the enumeration's rawValue.
template <class Enumeration, std::size_t count>
std::optional<Enumeration> caseWithRawValue(const std::array<Enumeration, count>& cases, std::string_view text) {
    for (const auto candidate : cases) {
        if (rawValue(candidate) == text) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace quorl::ModelNames::support
