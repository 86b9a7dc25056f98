#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace platform::core {

// Enumerations with string raw values specialise these beside their declaration:
//   template <> std::optional<Repo> fromRawValue<Repo>(std::string_view rawValue);
// so that callers read fromRawValue<Repo>("…") however many enumerations share a namespace.
template <class Enumeration> std::optional<Enumeration> fromRawValue(std::string_view rawValue);

// Every case of an enumeration, in declaration order.
template <class Enumeration> std::span<const Enumeration> allCases();

} // namespace platform::core
